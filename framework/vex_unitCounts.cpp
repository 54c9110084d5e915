#include "framework/vex_unitCounts.h"

#include <cstdio>
#include <iterator>

namespace vex {

std::string CountOf(int64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

std::string FormatByteSize(int64_t bytes)
{
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024) return CountOf(bytes, "byte", "bytes");
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string GroupDigits(int64_t value, std::string_view separator)
{
    const std::string digits = std::to_string(value);
    const std::size_t sign = value < 0 ? 1 : 0;
    std::string text = digits.substr(0, sign);
    for (std::size_t i = sign; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0) text += separator;
        text += digits[i];
    }
    return text;
}

std::string GroupCountsInText(std::string_view text, std::string_view separator)
{
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    auto opens = [&](std::size_t i) { return i == 0 || text[i - 1] == ' ' || text[i - 1] == '('; };
    auto closes = [&](std::size_t i) {
        return i == text.size() || std::string_view(" ),.").find(text[i]) != std::string_view::npos;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = i;
        while (end < text.size() && digit(text[end])) ++end;
        if (end - i >= 4 && end - i <= 18 && opens(i) && closes(end)) {
            out += GroupDigits(std::stoll(std::string(text.substr(i, end - i))), separator);
            i = end;
        } else {
            const std::size_t next = end > i ? end : i + 1;
            out += text.substr(i, next - i);
            i = next;
        }
    }
    return out;
}

}  // namespace vex
