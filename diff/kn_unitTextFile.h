// Reading a text file into lines the way the differences window and `kestrune-cli diff`
// both read them: the bytes decoded to UTF-8 (kn_unitTextEncoding), lines ending at CR LF, CR
// or LF, no empty line after a final line break, the text ending at its first NUL character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kn {

// Files larger than this are not compared unless the caller allows more.
constexpr uint64_t DefaultMaxTextFileSize = uint64_t{1} << 30;

// Reads a whole regular file of at most maxSize bytes, cut at its first NUL byte. On failure
// returns false with the reason in errorText: the system's, or that the file is not a
// regular file (a folder, named pipe, device or socket: never waited on) or is too large.
bool ReadTextFile(const std::string& fileName, std::string& content, std::string& errorText,
                  uint64_t maxSize = DefaultMaxTextFileSize);

// What identifies a file's content as read: a save replaces the file only while it still has
// the stamp it had when it was read.
struct TFileStamp {
    uint64_t Device = 0, Inode = 0, Size = 0;
    int64_t ModifiedNs = 0;

    bool operator==(const TFileStamp&) const = default;
};

// The same as ReadTextFile without cutting at NUL (the encoding decides where the text ends),
// with the stamp of the file as it was read.
bool ReadFileBytes(const std::string& fileName, std::string& content, std::string& errorText, uint64_t maxSize,
                   TFileStamp& stamp);

// "1 GiB", "64 KiB", "1000 bytes": a size limit for messages.
std::string FormatSizeLimit(uint64_t bytes);

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
