#include "framework/vex_unitSecurity.h"

namespace vex {

namespace {
// Neither byte occurs in valid UTF-8, so no typed character scrambles to a zero byte and no
// typed text ends with the padding byte.
constexpr unsigned char kKeyByte = 0xF5;
constexpr unsigned char kPadByte = 0xFF;
constexpr std::size_t kScrambleLimit = 8192;
}  // namespace

std::string ScramblePassword(std::string_view text)
{
    std::string copy(text);
    if (copy.size() > kScrambleLimit)
        copy.resize(kScrambleLimit);
    else if (copy.size() % 2 != 0)
        copy.push_back(static_cast<char>(kPadByte));
    for (char& c : copy) c = static_cast<char>(static_cast<unsigned char>(c) ^ kKeyByte);
    return copy;
}

bool CheckPassword(std::string_view input, std::string_view stored)
{
    return ScramblePassword(input) == stored;
}

bool IsStorablePassword(std::string_view text)
{
    if (text.size() > kMaxPasswordLength) return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) == kKeyByte) return false;
    return true;
}

}  // namespace vex
