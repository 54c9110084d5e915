// Reading a text file into lines the way the differences window and `kestrune-cli diff`
// both read them: 8-bit bytes without encoding detection, lines ending at CR LF, CR or LF,
// no empty line after a final line break, the text ending at its first NUL byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kn {

// Reads a whole file, cut at its first NUL byte. On failure returns false with the system's
// reason in errorText.
bool ReadTextFile(const std::string& fileName, std::string& content, std::string& errorText);

// The lines of `text` (see above) as views into it; an empty text has no lines.
std::vector<std::string_view> SplitTextLineViews(std::string_view text);
// The same lines as strings.
std::vector<std::string> SplitTextLines(std::string_view text);

// Reads and splits a file. On failure returns false with the system's reason in errorText
// and leaves `lines` empty.
bool LoadTextLines(const std::string& fileName, std::vector<std::string>& lines, std::string& errorText);

// The LineHash of every line, in order.
std::vector<uint32_t> HashLines(const std::vector<std::string_view>& lines);

}  // namespace kn
