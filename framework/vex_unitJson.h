// JSON text for scripts: strings escaped so that any byte string survives, and a builder of one
// flat object a line (JSON Lines).
//
// Names on disk are byte strings, not always UTF-8. JsonString writes valid UTF-8 as it is and
// escapes every byte that is not part of a valid sequence as the lone low surrogate
// \udc80..\udcff (the byte plus 0xDC00), the escape Python reads back with
// `.encode("utf-8", "surrogateescape")`. No valid character maps to those code points, so the
// original bytes can always be recovered, also after a parser has decoded the text.
// Control characters (below 0x20, 0x7f and U+0080..U+009F) are escaped as well, so that no
// name reaches a terminal as a control sequence.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vex {

// `text` as a quoted JSON string, escaped as above. E.g. "a\tb\xff" gives "a\tb\udcff" in quotes.
std::string JsonString(std::string_view text);

// One JSON object built member by member, in the order given; keys are written as given.
class TJsonObject {
public:
    TJsonObject& String(std::string_view key, std::string_view value);
    TJsonObject& Number(std::string_view key, int64_t value);
    TJsonObject& Bool(std::string_view key, bool value);
    TJsonObject& Null(std::string_view key);
    // `json` must be a complete JSON value (an object, an array, ...).
    TJsonObject& Raw(std::string_view key, std::string_view json);
    // The object's text, "{...}", without a line end.
    std::string Text() const { return text_ + "}"; }

private:
    TJsonObject& Key(std::string_view key);
    std::string text_ = "{";
};

}  // namespace vex
