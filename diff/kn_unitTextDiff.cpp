// Keys per line, line classes over the keys, TDiff over the classes; with -B or -I the same over
// the lines that are not ignorable, and each stretch between two matched lines compared again.
#include "diff/kn_unitTextDiff.h"

#include <regex.h>

#include <algorithm>
#include <memory>

#include "diff/kn_unitLineClasses.h"

namespace kn {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The line without its LF, and without the CR before it (or a lone CR break) under
// --strip-trailing-cr.
std::string_view Content(std::string_view line, bool stripCr)
{
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (stripCr && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Compiled -I expressions; freed with the object.
class TPatterns {
public:
    ~TPatterns()
    {
        for (regex_t& re : Compiled) regfree(&re);
    }
    bool Compile(const std::vector<std::string>& patterns, bool ignoreCase, std::string& errorText)
    {
        Compiled.reserve(patterns.size());
        for (const std::string& pattern : patterns) {
            regex_t re;
            const int error = regcomp(&re, pattern.c_str(), REG_NOSUB | (ignoreCase ? REG_ICASE : 0));
            if (error != 0) {
                char message[256];
                regerror(error, &re, message, sizeof message);
                errorText = "Invalid regular expression \"" + pattern + "\": " + message;
                return false;
            }
            Compiled.push_back(re);
        }
        return true;
    }
    bool Empty() const { return Compiled.empty(); }
    bool Match(std::string_view line)
    {
        Buffer.assign(line);
        for (const regex_t& re : Compiled)
            if (regexec(&re, Buffer.c_str(), 0, nullptr, 0) == 0) return true;
        return false;
    }

private:
    std::vector<regex_t> Compiled;
    std::string Buffer;
};

// The keys of all lines in one buffer, and views into it.
std::vector<std::string_view> MakeKeys(const std::vector<std::string_view>& lines, const TIgnoreOptions& options,
                                       std::string& buffer)
{
    std::vector<size_t> ends;
    ends.reserve(lines.size());
    for (std::string_view line : lines) {
        buffer += LineKey(line, options);
        ends.push_back(buffer.size());
    }
    std::vector<std::string_view> keys;
    keys.reserve(lines.size());
    size_t start = 0;
    for (size_t end : ends) {
        keys.emplace_back(buffer.data() + start, end - start);
        start = end;
    }
    return keys;
}

bool NeedsKeys(const TIgnoreOptions& o)
{
    return o.SpaceChange || o.AllSpace || o.Case || o.TrailingCR;
}

// Changes of one diff of `a` and `b` appended to `out`, shifted by the offsets; each marked
// Ignored when all its lines are ignorable.
void AppendChanges(const std::vector<TDiffChange>& changes, int32_t offset1, int32_t offset2,
                   const std::vector<bool>& ignorable1, const std::vector<bool>& ignorable2,
                   std::vector<TDiffChange>& out)
{
    for (TDiffChange c : changes) {
        c.Index1 += offset1;
        c.Index2 = c.Kind == TDiffKind::dkDelete ? 0 : c.Index2 + offset2;
        bool all = true;
        if (c.Kind != TDiffKind::dkAdd)
            for (int32_t k = 0; k < c.Count && all; ++k) all = ignorable1[static_cast<size_t>(c.Index1 + k)];
        if (c.Kind != TDiffKind::dkDelete)
            for (int32_t k = 0; k < c.Count && all; ++k) all = ignorable2[static_cast<size_t>(c.Index2 + k)];
        c.Ignored = all;
        out.push_back(c);
    }
}

// The -B / -I comparison over line classes (see the header).
class TFilteredCompare {
public:
    TFilteredCompare(const TLineClasses& classes, std::vector<bool> ignorable1, std::vector<bool> ignorable2,
                     const TDiffOptions& diffOptions, TTextDiffResult& result)
        : Classes(classes),
          Ignorable1(std::move(ignorable1)),
          Ignorable2(std::move(ignorable2)),
          DiffOptions(diffOptions),
          Result(result)
    {
    }

    bool Run()
    {
        std::vector<uint32_t> kept1, kept2;
        std::vector<int32_t> at1, at2;  // whole-text line number of each kept line
        Keep(Classes.Left, Ignorable1, kept1, at1);
        Keep(Classes.Right, Ignorable2, kept2, at2);
        TDiff diff(DiffOptions);
        if (!diff.Compare(kept1, kept2)) {
            Result.Stopped = diff.Stopped();
            return false;
        }
        Result.Approximate = diff.Approximate();
        int32_t i = 0, j = 0;
        auto matchUpTo = [&](int32_t end) {
            for (; i < end; ++i, ++j)
                if (!Stretch(at1[static_cast<size_t>(i)], at2[static_cast<size_t>(j)])) return false;
            return true;
        };
        for (const TDiffChange& c : diff.GetChanges()) {
            if (!matchUpTo(c.Index1)) return false;
            if (c.Kind != TDiffKind::dkAdd) i += c.Count;
            if (c.Kind != TDiffKind::dkDelete) j += c.Count;
        }
        return matchUpTo(static_cast<int32_t>(kept1.size())) &&
               Stretch(static_cast<int32_t>(Classes.Left.size()), static_cast<int32_t>(Classes.Right.size()));
    }

private:
    static void Keep(const std::vector<uint32_t>& classes, const std::vector<bool>& ignorable,
                     std::vector<uint32_t>& kept, std::vector<int32_t>& at)
    {
        for (size_t k = 0; k < classes.size(); ++k) {
            if (ignorable[k]) continue;
            kept.push_back(classes[k]);
            at.push_back(static_cast<int32_t>(k));
        }
    }

    // The lines before the matched pair (end1, end2) and after the previous one.
    bool Stretch(int32_t end1, int32_t end2)
    {
        const int32_t start1 = Next1, start2 = Next2;
        Next1 = end1 + 1;
        Next2 = end2 + 1;
        if (start1 == end1 && start2 == end2) return true;
        const auto* c = Classes.Left.data();
        const auto* d = Classes.Right.data();
        TDiff diff(DiffOptions);
        if (!diff.Compare(std::vector<uint32_t>(c + start1, c + end1), std::vector<uint32_t>(d + start2, d + end2))) {
            Result.Stopped = diff.Stopped();
            return false;
        }
        Result.Approximate = Result.Approximate || diff.Approximate();
        AppendChanges(diff.GetChanges(), start1, start2, Ignorable1, Ignorable2, Result.Changes);
        return true;
    }

    const TLineClasses& Classes;
    std::vector<bool> Ignorable1, Ignorable2;
    TDiffOptions DiffOptions;
    TTextDiffResult& Result;
    int32_t Next1 = 0, Next2 = 0;
};

// Empty once the blanks the options ignore are gone, as diff's -B takes it.
bool IsEmptyLine(std::string_view line, const TIgnoreOptions& options)
{
    if (options.SpaceChange || options.AllSpace) return Content(LineKey(line, options), false).empty();
    return Content(line, options.TrailingCR).empty();
}

std::vector<bool> Ignorable(const std::vector<std::string_view>& lines, const TIgnoreOptions& options,
                            TPatterns& patterns)
{
    std::vector<bool> ignorable(lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string_view content = Content(lines[k], options.TrailingCR);
        ignorable[k] =
            (options.BlankLines && IsEmptyLine(lines[k], options)) || (!patterns.Empty() && patterns.Match(content));
    }
    return ignorable;
}

}  // namespace

// In place: a text of many short lines keeps one list of views, not two.
std::vector<std::string_view> LinesWithBreaks(std::string_view text, std::vector<std::string_view> lines)
{
    for (size_t k = 0; k < lines.size(); ++k) {
        const char* end = k + 1 < lines.size() ? lines[k + 1].data() : text.data() + text.size();
        lines[k] = std::string_view(lines[k].data(), static_cast<size_t>(end - lines[k].data()));
    }
    return lines;
}

std::vector<std::string_view> SplitAtLineFeeds(std::string_view text)
{
    std::vector<std::string_view> lines;
    lines.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    for (size_t start = 0; start < text.size();) {
        const size_t lf = text.find('\n', start);
        const size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string LineKey(std::string_view line, const TIgnoreOptions& options)
{
    std::string key;
    if (options.TrailingCR) {
        const bool hadBreak = !line.empty() && (line.back() == '\n' || line.back() == '\r');
        key.assign(Content(line, true));
        if (hadBreak) key += '\n';
    } else {
        key.assign(line);
    }
    if (options.AllSpace) {
        key.erase(std::remove_if(key.begin(), key.end(), IsBlank), key.end());
    } else if (options.SpaceChange) {
        std::string collapsed;
        for (size_t k = 0; k < key.size(); ++k) {
            if (!IsBlank(key[k])) {
                collapsed += key[k];
            } else if (k == 0 || !IsBlank(key[k - 1])) {
                collapsed += ' ';
            }
        }
        while (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
        key = std::move(collapsed);
    }
    if (options.Case)
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

bool CompareTextLines(const std::vector<std::string_view>& left, const std::vector<std::string_view>& right,
                      const TIgnoreOptions& options, const TDiffOptions& diffOptions, TTextDiffResult& result,
                      std::string& errorText)
{
    result = TTextDiffResult();
    TPatterns patterns;
    if (!patterns.Compile(options.Patterns, options.Case, errorText)) return false;
    std::string buffer1, buffer2;
    const bool keyed = NeedsKeys(options);
    const TLineClasses classes =
        keyed ? ClassifyLines(MakeKeys(left, options, buffer1), MakeKeys(right, options, buffer2))
              : ClassifyLines(left, right);
    bool found = true;
    if (options.BlankLines || !patterns.Empty()) {
        TFilteredCompare filtered(classes, Ignorable(left, options, patterns), Ignorable(right, options, patterns),
                                  diffOptions, result);
        found = filtered.Run();
    } else {
        TDiff diff(diffOptions);
        found = diff.Compare(classes.Left, classes.Right);
        result.Stopped = diff.Stopped();
        result.Approximate = diff.Approximate();
        if (found) result.Changes = diff.GetChanges();
    }
    if (!found) {
        result.Changes.clear();
        errorText = result.Stopped ? "Stopped." : "The files are too large to compare.";
        return false;
    }
    for (const TDiffChange& c : result.Changes) {
        if (c.Ignored) continue;
        (c.Kind == TDiffKind::dkAdd      ? result.Summary.Added
         : c.Kind == TDiffKind::dkDelete ? result.Summary.Deleted
                                         : result.Summary.Modified) += c.Count;
    }
    return true;
}

}  // namespace kn
