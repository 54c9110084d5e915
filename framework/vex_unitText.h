// 8-bit text helpers: the ASCII-only case folding the program uses for names, and fixed-size
// text fields of persistent records.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vex {

inline char UpCaseAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string UpperCaseAscii(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);
// Bytes compared after folding ASCII a-z to upper case; the first difference decides, a prefix
// sorts first. Returns <0, 0 or >0.
int CompareTextAscii(std::string_view a, std::string_view b);

// The credentials of a location as its text carries them (RFC 3986): every byte but A-Z, a-z,
// 0-9 and "-._~" written as %XX, so that a password ends at the "@" before the host whatever
// it holds ("a@b/c" gives "a%40b%2Fc").
std::string PercentEncoded(std::string_view text);
// `text` with every "%" and two hex digits turned into that byte ("a%40b" gives "a@b"); a "%"
// without two hex digits stays as it is.
std::string PercentDecoded(std::string_view text);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end inside a UTF-8
// sequence.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// Writes `text` into a zero-filled, NUL-terminated field of N bytes: at most N-1 bytes, never
// splitting a UTF-8 sequence.
template <std::size_t N>
void SetField(char (&field)[N], std::string_view text)
{
    std::string_view cut = CutUtf8(text, N - 1);
    std::size_t i = 0;
    for (; i < cut.size(); ++i) field[i] = cut[i];
    for (; i < N; ++i) field[i] = 0;
}

// Reads a field of N bytes up to its first NUL (or all N bytes when it has none).
template <std::size_t N>
std::string GetField(const char (&field)[N])
{
    std::size_t len = 0;
    while (len < N && field[len] != 0) ++len;
    return std::string(field, len);
}

}  // namespace vex
