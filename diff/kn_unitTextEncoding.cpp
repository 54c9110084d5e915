// Encoding detection and conversion by hand for the Unicode forms and Latin-1; iconv (POSIX)
// only for a locale's other 8-bit codeset.
#include "diff/kn_unitTextEncoding.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cstring>

#include "diff/kn_unitBinaryFile.h"

namespace kn {

namespace {

constexpr char32_t Replacement = 0xFFFD;

// The locale's codeset when it is an 8-bit one that is not ASCII or Latin-1; empty otherwise.
std::string Locale8BitCodeset()
{
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr) return {};
    const std::string name = codeset;
    for (const char* same : {"UTF-8", "utf8", "ANSI_X3.4-1968", "US-ASCII", "ISO-8859-1", ""})
        if (strcasecmp(name.c_str(), same) == 0) return {};
    return name;
}

// The code point starting at text[i] and its length; a byte that starts no valid sequence
// (overlong forms and surrogates included) is U+FFFD of length 1.
std::pair<char32_t, size_t> NextUtf8(std::string_view text, size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return {lead, 1};
    const size_t need = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
    if (need == 0 || i + need > text.size()) return {Replacement, 1};
    char32_t cp = lead & (0xFF >> (need + 1));
    for (size_t k = 1; k < need; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return {Replacement, 1};
        cp = (cp << 6) | (c & 0x3F);
    }
    if ((need == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (need == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return {Replacement, 1};
    return {cp, need};
}

// Valid UTF-8 throughout; eight ASCII bytes are checked per step.
bool IsValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        if (i + 8 <= text.size()) {
            uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const auto [cp, length] = NextUtf8(text, i);
        if (cp == Replacement && length == 1 && static_cast<unsigned char>(text[i]) >= 0x80) return false;
        i += length;
    }
    return true;
}

uint32_t Unit(std::string_view bytes, size_t at, size_t width, bool bigEndian)
{
    uint32_t value = 0;
    for (size_t k = 0; k < width; ++k) {
        const auto byte = static_cast<unsigned char>(bytes[at + (bigEndian ? k : width - 1 - k)]);
        value = (value << 8) | byte;
    }
    return value;
}

// UTF-16 or UTF-32 code units to UTF-8, to the first U+0000; false when anything was replaced.
bool DecodeUnits(std::string_view bytes, size_t width, bool bigEndian, std::string& utf8)
{
    bool clean = bytes.size() % width == 0;
    const size_t end = bytes.size() - bytes.size() % width;
    for (size_t i = 0; i < end; i += width) {
        char32_t cp = Unit(bytes, i, width, bigEndian);
        if (cp == 0) break;
        if (width == 2 && cp >= 0xD800 && cp <= 0xDBFF && i + 2 < end) {
            const char32_t low = Unit(bytes, i + 2, 2, bigEndian);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            cp = Replacement;
            clean = false;
        }
        AppendUtf8(utf8, cp);
    }
    if (!clean) AppendUtf8(utf8, Replacement);
    return clean;
}

// UTF-16 without a mark: ASCII-heavy text in UTF-16 has a zero byte in nearly every other
// place and almost none in the rest. The whole text must then decode without replacements
// and hold no NUL character in its head.
std::optional<TTextFormat> DetectUtf16WithoutBom(std::string_view bytes)
{
    if (bytes.size() < 4 || bytes.size() % 2 != 0) return std::nullopt;
    const std::string_view head = bytes.substr(0, kBinaryProbeSize & ~size_t{1});
    size_t evenZeros = 0, oddZeros = 0;
    for (size_t i = 0; i < head.size(); i += 2) {
        evenZeros += head[i] == 0;
        oddZeros += head[i + 1] == 0;
    }
    const size_t units = head.size() / 2;
    const bool littleEndian = oddZeros * 2 >= units && evenZeros * 16 <= oddZeros;
    const bool bigEndian = evenZeros * 2 >= units && oddZeros * 16 <= evenZeros;
    if (!littleEndian && !bigEndian) return std::nullopt;
    for (size_t i = 0; i < head.size(); i += 2)
        if (head[i] == 0 && head[i + 1] == 0) return std::nullopt;
    // The head's last unit may be the first half of a pair cut off by the probe's end.
    std::string probe;
    if (!DecodeUnits(head.substr(0, head.size() - 2), 2, bigEndian, probe)) return std::nullopt;
    TTextFormat format;
    format.Encoding = bigEndian ? TTextEncoding::Utf16BE : TTextEncoding::Utf16LE;
    return format;
}

struct TBomKind {
    std::string_view Mark;
    TTextEncoding Encoding;
};
constexpr TBomKind Boms[] = {{std::string_view("\xFF\xFE\0\0", 4), TTextEncoding::Utf32LE},
                             {std::string_view("\0\0\xFE\xFF", 4), TTextEncoding::Utf32BE},
                             {"\xEF\xBB\xBF", TTextEncoding::Utf8},
                             {"\xFF\xFE", TTextEncoding::Utf16LE},
                             {"\xFE\xFF", TTextEncoding::Utf16BE}};

std::string_view BomOf(TTextEncoding encoding)
{
    for (const TBomKind& bom : Boms)
        if (bom.Encoding == encoding) return bom.Mark;
    return {};
}

bool ConvertWithIconv(std::string_view in, const char* to, const char* from, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size(), dstLeft = out.size();
    char* dst = out.data();
    const size_t result = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return result != static_cast<size_t>(-1);
}

bool EncodeLatin1(std::string_view utf8, std::string& bytes, std::string& errorText)
{
    bytes.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto [cp, length] = NextUtf8(utf8, i);
        if (cp > 0xFF) {
            errorText = "The text holds characters that Latin-1 does not have.";
            return false;
        }
        bytes += static_cast<char>(cp);
        i += length;
    }
    return true;
}

void EncodeUnits(std::string_view utf8, size_t width, bool bigEndian, std::string& bytes)
{
    auto put = [&](uint32_t unit) {
        for (size_t k = 0; k < width; ++k) {
            const size_t shift = 8 * (bigEndian ? width - 1 - k : k);
            bytes += static_cast<char>((unit >> shift) & 0xFF);
        }
    };
    for (size_t i = 0; i < utf8.size();) {
        const auto [cp, length] = NextUtf8(utf8, i);
        i += length;
        if (width == 2 && cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string EncodingName(TTextEncoding encoding)
{
    switch (encoding) {
        case TTextEncoding::Utf8:
            return "UTF-8";
        case TTextEncoding::Utf16LE:
            return "UTF-16 LE";
        case TTextEncoding::Utf16BE:
            return "UTF-16 BE";
        case TTextEncoding::Utf32LE:
            return "UTF-32 LE";
        case TTextEncoding::Utf32BE:
            return "UTF-32 BE";
        case TTextEncoding::Latin1:
            return "Latin-1";
        case TTextEncoding::Locale8Bit: {
            const std::string codeset = Locale8BitCodeset();
            return codeset.empty() ? "Latin-1" : codeset;
        }
    }
    return "?";
}

const char* LineEndName(TLineEnd end)
{
    switch (end) {
        case TLineEnd::None:
            return "no line end";
        case TLineEnd::LF:
            return "LF";
        case TLineEnd::CRLF:
            return "CR LF";
        case TLineEnd::CR:
            return "CR";
        case TLineEnd::Mixed:
            return "mixed line ends";
    }
    return "?";
}

std::vector<TTextEncoding> ChoosableEncodings()
{
    std::vector<TTextEncoding> list = {TTextEncoding::Utf8,    TTextEncoding::Utf16LE, TTextEncoding::Utf16BE,
                                       TTextEncoding::Utf32LE, TTextEncoding::Utf32BE, TTextEncoding::Latin1};
    if (!Locale8BitCodeset().empty()) list.push_back(TTextEncoding::Locale8Bit);
    return list;
}

std::optional<TTextFormat> DetectTextFormat(std::string_view bytes)
{
    for (const TBomKind& bom : Boms) {
        if (bytes.substr(0, bom.Mark.size()) == bom.Mark) {
            TTextFormat format;
            format.Encoding = bom.Encoding;
            format.Bom = true;
            return format;
        }
    }
    if (std::optional<TTextFormat> utf16 = DetectUtf16WithoutBom(bytes)) return utf16;
    if (LooksBinary(bytes)) return std::nullopt;
    TTextFormat format;
    if (!IsValidUtf8(bytes.substr(0, bytes.find('\0'))))
        format.Encoding = Locale8BitCodeset().empty() ? TTextEncoding::Latin1 : TTextEncoding::Locale8Bit;
    return format;
}

void ScanLineEnds(std::string_view utf8, TTextFormat& format)
{
    size_t lf = 0, crlf = 0, cr = 0;
    for (size_t i = utf8.find_first_of("\r\n"); i != std::string_view::npos; i = utf8.find_first_of("\r\n", i + 1)) {
        if (utf8[i] == '\n')
            ++lf;
        else if (i + 1 < utf8.size() && utf8[i + 1] == '\n')
            ++crlf, ++i;
        else
            ++cr;
    }
    const int kinds = (lf > 0) + (crlf > 0) + (cr > 0);
    format.LineEnd = kinds == 0  ? TLineEnd::None
                     : kinds > 1 ? TLineEnd::Mixed
                     : lf > 0    ? TLineEnd::LF
                     : crlf > 0  ? TLineEnd::CRLF
                                 : TLineEnd::CR;
    format.WriteEnd = crlf > lf && crlf >= cr ? TLineEnd::CRLF : cr > lf && cr > crlf ? TLineEnd::CR : TLineEnd::LF;
    format.FinalBreak = !utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r');
}

bool DecodeText(std::string_view bytes, TTextFormat& format, std::string& utf8)
{
    utf8.clear();
    if (format.Bom) {
        const std::string_view bom = BomOf(format.Encoding);
        if (bytes.substr(0, bom.size()) == bom) bytes.remove_prefix(bom.size());
    }
    bool clean = true;
    switch (format.Encoding) {
        case TTextEncoding::Utf8: {
            bytes = bytes.substr(0, bytes.find('\0'));
            if (IsValidUtf8(bytes)) {
                utf8.assign(bytes);
                break;
            }
            clean = false;
            utf8.reserve(bytes.size());
            for (size_t i = 0; i < bytes.size();) {
                const auto [cp, length] = NextUtf8(bytes, i);
                AppendUtf8(utf8, cp);
                i += length;
            }
            break;
        }
        case TTextEncoding::Utf16LE:
        case TTextEncoding::Utf16BE:
            clean = DecodeUnits(bytes, 2, format.Encoding == TTextEncoding::Utf16BE, utf8);
            break;
        case TTextEncoding::Utf32LE:
        case TTextEncoding::Utf32BE:
            clean = DecodeUnits(bytes, 4, format.Encoding == TTextEncoding::Utf32BE, utf8);
            break;
        case TTextEncoding::Latin1:
        case TTextEncoding::Locale8Bit: {
            bytes = bytes.substr(0, bytes.find('\0'));
            const std::string codeset = format.Encoding == TTextEncoding::Locale8Bit ? Locale8BitCodeset() : "";
            if (!codeset.empty() && ConvertWithIconv(bytes, "UTF-8", codeset.c_str(), utf8)) break;
            utf8.clear();
            utf8.reserve(bytes.size() * 2);
            for (char c : bytes) AppendUtf8(utf8, static_cast<unsigned char>(c));
            break;
        }
    }
    ScanLineEnds(utf8, format);
    return clean;
}

bool EncodeText(std::string_view utf8, const TTextFormat& format, std::string& bytes, std::string& errorText)
{
    bytes.clear();
    if (format.Bom) bytes.assign(BomOf(format.Encoding));
    switch (format.Encoding) {
        case TTextEncoding::Utf8:
            bytes.append(utf8);
            return true;
        case TTextEncoding::Utf16LE:
        case TTextEncoding::Utf16BE:
            EncodeUnits(utf8, 2, format.Encoding == TTextEncoding::Utf16BE, bytes);
            return true;
        case TTextEncoding::Utf32LE:
        case TTextEncoding::Utf32BE:
            EncodeUnits(utf8, 4, format.Encoding == TTextEncoding::Utf32BE, bytes);
            return true;
        case TTextEncoding::Latin1:
            return EncodeLatin1(utf8, bytes, errorText);
        case TTextEncoding::Locale8Bit: {
            const std::string codeset = Locale8BitCodeset();
            if (codeset.empty()) return EncodeLatin1(utf8, bytes, errorText);
            if (ConvertWithIconv(utf8, codeset.c_str(), "UTF-8", bytes)) return true;
            errorText = "The text holds characters that " + codeset + " does not have.";
            return false;
        }
    }
    return false;
}

std::string_view LineBreakText(TLineEnd end)
{
    return end == TLineEnd::CRLF ? "\r\n" : end == TLineEnd::CR ? "\r" : "\n";
}

}  // namespace kn
