// Telling binary files from text files, and comparing two binary files byte for byte. A file is
// binary when it is text in no encoding kn_unitTextEncoding knows: a zero byte in its first
// 8 KB makes it binary unless it is UTF-16 or UTF-32; a text file with a zero byte further on
// still reads as text (cut there, see kn_unitTextFile).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kn {

constexpr std::size_t kBinaryProbeSize = 8192;

// True when the first kBinaryProbeSize bytes of `head` hold a zero byte (binary unless the
// bytes are UTF-16 or UTF-32, see DetectTextFormat).
bool LooksBinary(std::string_view head);

struct TBinaryComparison {
    bool Binary = false;     // either file is text in no known encoding
    bool Identical = false;  // same size and same bytes (only when Binary)
    // The offset of the first byte that differs, or the shorter file's size when one file is
    // the start of the other; -1 when Identical or not Binary.
    int64_t FirstDifference = -1;
};

// Reads the start of both files and, when either looks binary, compares them to the first
// difference. False, with the system's reason and the file's name in errorText, when a file
// cannot be read.
bool CompareBinaryFiles(const std::string& leftFileName, const std::string& rightFileName, TBinaryComparison& result,
                        std::string& errorText);
// The same for two files already read whole.
TBinaryComparison CompareBinaryBytes(std::string_view left, std::string_view right);

}  // namespace kn
