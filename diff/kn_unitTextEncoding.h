// Text encodings of the files the differences window and `kestrune-cli diff` compare: finding a
// file's encoding from its bytes, decoding it to UTF-8 (the form both compare and show) and
// encoding UTF-8 back for saving. Detection order: a byte-order mark (UTF-32 before UTF-16,
// whose mark is UTF-32's start), UTF-16 without a mark when its zero bytes say so, valid UTF-8,
// and otherwise the locale's 8-bit encoding (Latin-1 where the locale's is UTF-8 or ASCII). A
// file is binary when it is text in none of these: it holds a zero byte in its first
// kBinaryProbeSize bytes and is not UTF-16 or UTF-32.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kn {

// Appends the UTF-8 form of the code point `cp`.
void AppendUtf8(std::string& out, char32_t cp);

enum class TTextEncoding : uint8_t { Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE, Latin1, Locale8Bit };

// The kinds of line break of a text: none, one kind, or more than one.
enum class TLineEnd : uint8_t { None, LF, CRLF, CR, Mixed };

struct TTextFormat {
    TTextEncoding Encoding = TTextEncoding::Utf8;
    bool Bom = false;                   // the file starts with a byte-order mark
    TLineEnd LineEnd = TLineEnd::None;  // what the text holds
    TLineEnd WriteEnd = TLineEnd::LF;   // the most common kind: what an edited text is saved with
    bool FinalBreak = false;            // the text ends with a line break

    bool operator==(const TTextFormat&) const = default;
};

// "UTF-8", "UTF-16 LE", ..., "Latin-1", or the locale's codeset name ("ISO-8859-15").
std::string EncodingName(TTextEncoding encoding);
// "LF", "CR LF", "CR", "mixed line ends", "no line end".
const char* LineEndName(TLineEnd end);
// The encodings a user may choose: the fixed ones and, where the locale has an 8-bit
// codeset other than ASCII or Latin-1, Locale8Bit.
std::vector<TTextEncoding> ChoosableEncodings();

// The encoding and mark of `bytes` (see above), or nothing for a binary file. Line ends are
// left for DecodeText to fill in.
std::optional<TTextFormat> DetectTextFormat(std::string_view bytes);

// `bytes` as UTF-8 in `encoding`, a byte-order mark of that encoding skipped when `format.Bom`,
// the text cut at its first NUL character. Sequences that are not valid in the encoding become
// U+FFFD; returns false when there were any (the text is still filled). Fills the line-end
// fields of `format`.
bool DecodeText(std::string_view bytes, TTextFormat& format, std::string& utf8);

// The line breaks of a UTF-8 text (LF, CR LF, lone CR) and whether it ends with one.
void ScanLineEnds(std::string_view utf8, TTextFormat& format);

// UTF-8 text in the format's encoding, with its byte-order mark when format.Bom. False, with
// the reason in errorText, when a character has no form in an 8-bit encoding.
bool EncodeText(std::string_view utf8, const TTextFormat& format, std::string& bytes, std::string& errorText);

// The break bytes of a line-end kind (LF for None and Mixed).
std::string_view LineBreakText(TLineEnd end);

}  // namespace kn
