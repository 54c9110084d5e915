// Light scrambling of the program password. This hides the password from a casual look at the
// configuration file; it is not encryption and does not pretend to be.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vex {

// Longest password a user may enter; the scrambled form then fits a 17-byte field with its NUL.
constexpr std::size_t kMaxPasswordLength = 16;

// Pads an odd-length text with one fixed byte (texts of 8193 bytes or more are cut to 8192
// instead) and XORs every byte with a fixed key byte. "" gives "", so no password stays none.
// Example: "abc" (3 bytes) becomes 4 scrambled bytes; "abcd" 4 bytes.
std::string ScramblePassword(std::string_view text);

// True exactly when ScramblePassword(input) equals `stored` byte for byte.
bool CheckPassword(std::string_view input, std::string_view stored);

// True when `text` can be stored and confirmed later: at most kMaxPasswordLength bytes and no
// byte that scrambles to the zero that would end the stored field early. The key byte never
// occurs in valid UTF-8, so only damaged input is refused.
bool IsStorablePassword(std::string_view text);

}  // namespace vex
