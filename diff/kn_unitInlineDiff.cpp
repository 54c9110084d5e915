#include "diff/kn_unitInlineDiff.h"

#include "diff/kn_unitDiff.h"
#include "diff/kn_unitLineClasses.h"

namespace kn {

namespace {

struct TToken {
    std::string_view Text;
    int32_t First = 0;  // code point index of its first character
    int32_t Count = 0;  // its code points
};

enum class TCharKind { Word, Blank, Other };

TCharKind KindOf(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') return TCharKind::Word;
    if (c == ' ' || c == '\t') return TCharKind::Blank;
    return TCharKind::Other;
}

// Bytes of the UTF-8 character starting with `lead` (1 for a stray byte).
size_t CharBytes(unsigned char lead)
{
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

std::vector<TToken> Tokens(std::string_view line)
{
    std::vector<TToken> tokens;
    int32_t column = 0;
    for (size_t i = 0; i < line.size();) {
        const auto lead = static_cast<unsigned char>(line[i]);
        const TCharKind kind = KindOf(lead);
        size_t end = std::min(line.size(), i + CharBytes(lead));
        int32_t count = 1;
        if (kind != TCharKind::Other)
            for (; end < line.size() && KindOf(static_cast<unsigned char>(line[end])) == kind; ++end) ++count;
        tokens.push_back({line.substr(i, end - i), column, count});
        column += count;
        i = end;
    }
    return tokens;
}

void Mark(std::vector<TInlineMark>& marks, const std::vector<TToken>& tokens, int32_t first, int32_t count)
{
    if (count <= 0) return;
    const TToken& a = tokens[static_cast<size_t>(first)];
    const TToken& b = tokens[static_cast<size_t>(first + count - 1)];
    const int32_t end = b.First + b.Count;
    if (!marks.empty() && marks.back().First + marks.back().Count == a.First)
        marks.back().Count = end - marks.back().First;
    else
        marks.push_back({a.First, end - a.First});
}

std::vector<std::string_view> Texts(const std::vector<TToken>& tokens)
{
    std::vector<std::string_view> texts;
    texts.reserve(tokens.size());
    for (const TToken& t : tokens) texts.push_back(t.Text);
    return texts;
}

}  // namespace

TInlineMarks InlineChanges(std::string_view left, std::string_view right)
{
    const std::vector<TToken> a = Tokens(left), b = Tokens(right);
    const TLineClasses classes = ClassifyLines(Texts(a), Texts(b));
    TDiff diff;
    TInlineMarks marks;
    if (!diff.Compare(classes.Left, classes.Right)) return marks;
    for (const TDiffChange& c : diff.GetChanges()) {
        if (c.Kind != TDiffKind::dkAdd) Mark(marks.Left, a, c.Index1, c.Count);
        if (c.Kind != TDiffKind::dkDelete) Mark(marks.Right, b, c.Index2, c.Count);
    }
    return marks;
}

}  // namespace kn
