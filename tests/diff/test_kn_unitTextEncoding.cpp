// Encodings: what is detected from the bytes, the decoded text, and that encoding the text
// again gives the same bytes; line-end kinds.
#include <gtest/gtest.h>

#include "diff/kn_unitTextEncoding.h"

namespace {

using kn::TTextEncoding;

std::string Utf16(const std::u16string& text, bool bigEndian)
{
    std::string bytes;
    for (char16_t unit : text) {
        const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? hi : lo;
        bytes += bigEndian ? lo : hi;
    }
    return bytes;
}

std::string Utf32(const std::u32string& text, bool bigEndian)
{
    std::string bytes;
    for (char32_t cp : text)
        for (int k = 0; k < 4; ++k) bytes += static_cast<char>(cp >> (8 * (bigEndian ? 3 - k : k)));
    return bytes;
}

TEST(TextEncodingTest, DetectsDecodesAndEncodesBack)
{
    const std::string cafe = "Caf\xC3\xA9 cr\xC3\xA8me \xF0\x9F\x8D\xB0\n";  // with a character beyond 16 bits
    struct Row {
        const char* name;
        std::string bytes;
        bool binary;
        TTextEncoding encoding;
        bool bom;
        std::string text;
    } rows[] = {
        {"UTF-8", cafe, false, TTextEncoding::Utf8, false, cafe},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + cafe, false, TTextEncoding::Utf8, true, cafe},
        {"UTF-16 LE with BOM", "\xFF\xFE" + Utf16(u"Caf\u00e9 cr\u00e8me \U0001F370\n", false), false,
         TTextEncoding::Utf16LE, true, cafe},
        {"UTF-16 BE with BOM", "\xFE\xFF" + Utf16(u"Caf\u00e9 cr\u00e8me \U0001F370\n", true), false,
         TTextEncoding::Utf16BE, true, cafe},
        {"UTF-16 LE by its bytes", Utf16(u"Caf\u00e9 cr\u00e8me \U0001F370\n", false), false, TTextEncoding::Utf16LE,
         false, cafe},
        {"UTF-16 BE by its bytes", Utf16(u"Caf\u00e9 cr\u00e8me \U0001F370\n", true), false, TTextEncoding::Utf16BE,
         false, cafe},
        {"UTF-32 LE with BOM", Utf32(U"\uFEFFCaf\u00e9 cr\u00e8me \U0001F370\n", false), false, TTextEncoding::Utf32LE,
         true, cafe},
        {"UTF-32 BE with BOM", Utf32(U"\uFEFFCaf\u00e9 cr\u00e8me \U0001F370\n", true), false, TTextEncoding::Utf32BE,
         true, cafe},
        {"Latin-1 (the locale is not 8-bit)", "Caf\xE9 cr\xE8me\n", false, TTextEncoding::Latin1, false,
         "Caf\xC3\xA9 cr\xC3\xA8me\n"},
        {"CJK in UTF-8", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\n", false, TTextEncoding::Utf8, false,
         "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\n"},
        {"text in none: an image", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10", 20), true, {}, false, ""},
        {"text in none: zeros in no UTF-16 pattern", std::string("ab\0\0\0\0cd\0\0xy", 12), true, {}, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<kn::TTextFormat> format = kn::DetectTextFormat(row.bytes);
        ASSERT_EQ(!format.has_value(), row.binary);
        if (row.binary) continue;
        EXPECT_EQ(format->Encoding, row.encoding);
        EXPECT_EQ(format->Bom, row.bom);
        std::string text, again, error;
        EXPECT_TRUE(kn::DecodeText(row.bytes, *format, text));
        EXPECT_EQ(text, row.text);
        ASSERT_TRUE(kn::EncodeText(text, *format, again, error)) << error;
        EXPECT_EQ(again, row.bytes) << "saved in its own encoding, the file is unchanged";
    }
}

TEST(TextEncodingTest, ChosenEncodingsAndWhatTheyCannotHold)
{
    kn::TTextFormat latin1;
    latin1.Encoding = TTextEncoding::Latin1;
    std::string text, bytes, error;
    EXPECT_TRUE(kn::DecodeText("\xC3\xA9", latin1, text));
    EXPECT_EQ(text, "\xC3\x83\xC2\xA9") << "UTF-8 read as Latin-1 shows two characters";
    kn::TTextFormat utf8;
    EXPECT_FALSE(kn::DecodeText("a\xE9z", utf8, text)) << "a Latin-1 byte is no UTF-8";
    EXPECT_EQ(text, "a\xEF\xBF\xBDz");
    EXPECT_FALSE(kn::EncodeText("\xE6\x97\xA5", latin1, bytes, error));
    EXPECT_NE(error, "");
    kn::TTextFormat utf16;
    utf16.Encoding = TTextEncoding::Utf16LE;
    EXPECT_TRUE(kn::DecodeText(std::string("a\0b\0\0\0c\0", 8), utf16, text));
    EXPECT_EQ(text, "ab") << "the text ends at its first NUL character";
}

TEST(TextEncodingTest, LineEnds)
{
    struct Row {
        std::string text;
        kn::TLineEnd kind, write;
        bool finalBreak;
    } rows[] = {
        {"", kn::TLineEnd::None, kn::TLineEnd::LF, false},
        {"a", kn::TLineEnd::None, kn::TLineEnd::LF, false},
        {"a\nb\n", kn::TLineEnd::LF, kn::TLineEnd::LF, true},
        {"a\r\nb", kn::TLineEnd::CRLF, kn::TLineEnd::CRLF, false},
        {"a\rb\r", kn::TLineEnd::CR, kn::TLineEnd::CR, true},
        {"a\r\nb\r\nc\n", kn::TLineEnd::Mixed, kn::TLineEnd::CRLF, true},
    };
    for (const Row& row : rows) {
        kn::TTextFormat format;
        kn::ScanLineEnds(row.text, format);
        EXPECT_EQ(format.LineEnd, row.kind) << row.text;
        EXPECT_EQ(format.WriteEnd, row.write) << row.text;
        EXPECT_EQ(format.FinalBreak, row.finalBreak) << row.text;
    }
}

}  // namespace
