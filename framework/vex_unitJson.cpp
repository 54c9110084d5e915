// JSON string escaping (RFC 8259) with the lossless byte escape described in the header; UTF-8
// validity as RFC 3629 defines it (no overlong forms, no surrogates, nothing above U+10FFFF).
#include "framework/vex_unitJson.h"

#include <cstdio>

namespace vex {

namespace {

// The length of the valid UTF-8 sequence at the start of `s` (2 to 4), or 0 when there is
// none; ASCII is handled by the caller.
std::size_t Utf8SequenceLength(std::string_view s)
{
    auto byte = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
    auto cont = [&](std::size_t i, unsigned lo = 0x80, unsigned hi = 0xBF) { return byte(i) >= lo && byte(i) <= hi; };
    const unsigned lead = byte(0);
    if (lead >= 0xC2 && lead <= 0xDF) return cont(1) ? 2 : 0;
    if (lead == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
    if (lead == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;  // not a surrogate
    if (lead >= 0xE1 && lead <= 0xEF) return cont(1) && cont(2) ? 3 : 0;
    if (lead == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
    if (lead >= 0xF1 && lead <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
    if (lead == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
    return 0;
}

void AppendUnicodeEscape(std::string& out, unsigned code)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\u%04x", code);
    out += hex;
}

}  // namespace

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                default:
                    if (c < 0x20 || c == 0x7f)
                        AppendUnicodeEscape(out, c);
                    else
                        out.push_back(static_cast<char>(c));
            }
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text.substr(i));
        if (length == 0) {
            AppendUnicodeEscape(out, 0xDC00u + c);  // a byte of no valid sequence
            ++i;
        } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            AppendUnicodeEscape(out, static_cast<unsigned char>(text[i + 1]));  // U+0080..U+009F
            i += 2;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out + "\"";
}

TJsonObject& TJsonObject::Key(std::string_view key)
{
    if (text_.size() > 1) text_.push_back(',');
    text_ += JsonString(key);
    text_.push_back(':');
    return *this;
}

TJsonObject& TJsonObject::String(std::string_view key, std::string_view value)
{
    Key(key).text_ += JsonString(value);
    return *this;
}

TJsonObject& TJsonObject::Number(std::string_view key, int64_t value)
{
    Key(key).text_ += std::to_string(value);
    return *this;
}

TJsonObject& TJsonObject::Bool(std::string_view key, bool value)
{
    Key(key).text_ += value ? "true" : "false";
    return *this;
}

TJsonObject& TJsonObject::Null(std::string_view key)
{
    Key(key).text_ += "null";
    return *this;
}

TJsonObject& TJsonObject::Raw(std::string_view key, std::string_view json)
{
    Key(key).text_ += json;
    return *this;
}

}  // namespace vex
