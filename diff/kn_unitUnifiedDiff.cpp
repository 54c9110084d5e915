#include "diff/kn_unitUnifiedDiff.h"

#include <algorithm>

namespace kn {

namespace {

// Where a change starts and ends in the left text.
int32_t LeftEnd(const TDiffChange& c)
{
    return c.Index1 + (c.Kind == TDiffKind::dkAdd ? 0 : c.Count);
}

class TUnifiedWriter {
public:
    TUnifiedWriter(std::string& out, const std::vector<std::string_view>& left,
                   const std::vector<std::string_view>& right, const std::vector<TDiffChange>& changes, int context)
        : Out(out), Left(left), Right(right), Changes(changes), Context(std::max(0, context))
    {
    }

    // Hunk by hunk: the real changes [first, last] whose left gaps are at most twice the context.
    bool Run(std::string_view header)
    {
        bool any = false;
        size_t k = 0;
        while ((k = NextReal(k)) < Changes.size()) {
            size_t last = k;
            for (size_t next = NextReal(k + 1); next < Changes.size(); next = NextReal(next + 1)) {
                if (Changes[next].Index1 - LeftEnd(Changes[last]) > 2 * Context) break;
                last = next;
            }
            if (!any) Out += header;
            any = true;
            Hunk(k, last);
            k = last + 1;
        }
        return any;
    }

private:
    size_t NextReal(size_t k) const
    {
        while (k < Changes.size() && Changes[k].Ignored) ++k;
        return k;
    }

    // The right line that stands opposite left line i before change c; hunks ask in order,
    // so the shift is carried forward.
    int32_t RightAt(size_t c, int32_t i)
    {
        for (; Shifted < c; ++Shifted) {
            const TDiffChange& ch = Changes[Shifted];
            if (ch.Kind == TDiffKind::dkAdd) Shift += ch.Count;
            if (ch.Kind == TDiffKind::dkDelete) Shift -= ch.Count;
        }
        return i + Shift;
    }

    void Line(char mark, std::string_view text)
    {
        Body += mark;
        Body += text;
        if (text.empty() || text.back() != '\n') Body += "\n\\ No newline at end of file\n";
    }

    void ContextLines(int32_t from, int32_t to)
    {
        for (int32_t i = from; i < to; ++i) Line(' ', Left[static_cast<size_t>(i)]);
        OldCount += to - from;
        NewCount += to - from;
    }

    void Hunk(size_t first, size_t last)
    {
        const int32_t start = std::max(0, Changes[first].Index1 - Context);
        const int32_t end = std::min(static_cast<int32_t>(Left.size()), LeftEnd(Changes[last]) + Context);
        size_t c = first;
        while (c > 0 && LeftEnd(Changes[c - 1]) > start) --c;  // ignored changes inside the leading context
        const int32_t newStart = RightAt(c, start);
        Body.clear();
        OldCount = NewCount = 0;
        int32_t i = start;
        // Every change up to the last real one (an addition at the very end included), then
        // ignored ones inside the trailing context.
        for (; c < Changes.size() && (c <= last || (Changes[c].Ignored && Changes[c].Index1 < end)); ++c) {
            const TDiffChange& ch = Changes[c];
            ContextLines(i, std::max(i, ch.Index1));
            i = std::max(i, ch.Index1);
            if (ch.Ignored) {
                ContextLines(i, std::min(end, LeftEnd(ch)));
            } else {
                if (ch.Kind != TDiffKind::dkAdd)
                    for (int32_t k = 0; k < ch.Count; ++k) Line('-', Left[static_cast<size_t>(ch.Index1 + k)]);
                if (ch.Kind != TDiffKind::dkDelete)
                    for (int32_t k = 0; k < ch.Count; ++k) Line('+', Right[static_cast<size_t>(ch.Index2 + k)]);
                OldCount += ch.Kind == TDiffKind::dkAdd ? 0 : ch.Count;
                NewCount += ch.Kind == TDiffKind::dkDelete ? 0 : ch.Count;
            }
            i = std::max(i, std::min(end, LeftEnd(ch)));
        }
        ContextLines(i, end);
        Out += "@@ -" + Range(start, OldCount) + " +" + Range(newStart, NewCount) + " @@\n";
        Out += Body;
    }

    static std::string Range(int32_t start, int32_t count)
    {
        // An empty range names the line before it.
        const int32_t shown = count == 0 ? start : start + 1;
        return count == 1 ? std::to_string(shown) : std::to_string(shown) + "," + std::to_string(count);
    }

    std::string& Out;
    const std::vector<std::string_view>& Left;
    const std::vector<std::string_view>& Right;
    const std::vector<TDiffChange>& Changes;
    const int Context;
    std::string Body;
    int32_t OldCount = 0, NewCount = 0;
    size_t Shifted = 0;  // changes counted into Shift
    int32_t Shift = 0;
};

}  // namespace

bool AppendUnifiedDiff(std::string& out, std::string_view header, const std::vector<std::string_view>& left,
                       const std::vector<std::string_view>& right, const std::vector<TDiffChange>& changes, int context)
{
    return TUnifiedWriter(out, left, right, changes, context).Run(header);
}

}  // namespace kn
