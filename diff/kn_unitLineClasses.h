// Line classes: every distinct line of two files gets a small number, so that two lines have
// the same number exactly when their bytes are equal. The line difference then compares
// numbers, and a CRC-32 collision between two different lines can no longer hide a change.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kn {

struct TLineClasses {
    std::vector<uint32_t> Left, Right;  // one class number per line, in order
    uint32_t Count = 0;                 // classes in use: numbers run from 0 to Count - 1
};

// Classes are numbered in order of first appearance, left file first. The lines' LineHash
// values place them in a table; equal hashes are confirmed by comparing the bytes.
TLineClasses ClassifyLines(const std::vector<std::string_view>& left, const std::vector<std::string_view>& right);

}  // namespace kn
