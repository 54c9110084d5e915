// Counts and sizes in words, the same in both programs: "1 file" and "2 files", byte sizes in
// 1024-based units with their binary names, and digit grouping of the counts inside a line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vex {

// "1 file", "0 files", "2 files": `one` for a count of exactly 1, else `many`.
std::string CountOf(int64_t count, std::string_view one, std::string_view many);

// A byte size for people: "1 byte", "512 bytes", "1.5 KiB", "3.4 MiB", "1.2 GiB", "5.0 TiB"
// (1 KiB = 1024 bytes), one decimal.
std::string FormatByteSize(int64_t bytes);

// "1,234,567" with `separator` between groups of three digits; "-1,024" below zero.
std::string GroupDigits(int64_t value, std::string_view separator = ",");

// `text` with each count grouped: a run of 4 to 18 digits that stands as a word (at the start
// or after " " or "(", and before the end, " ", ")", "," or ".") reads "12,345"; digits inside
// a path or a name ("/240102030405", "file2024.txt") stay as they are.
std::string GroupCountsInText(std::string_view text, std::string_view separator = ",");

}  // namespace vex
