// Records, paths and name filters of the comparison engine.
#include <mutex>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitText.h"

namespace kn {

const std::string& TKNSharedText::Empty()
{
    static const std::string empty;
    return empty;
}

const std::string& TKNFileRec::LinkTarget() const
{
    return Links ? Links->Target : TKNSharedText::Empty();
}

const std::string& TKNFileRec::ReadFrom() const
{
    return Links ? Links->ReadFrom : TKNSharedText::Empty();
}

std::string PathJoin(std::string_view folder, std::string_view name)
{
    if (!name.empty() && name.front() == '/') name.remove_prefix(1);
    if (!name.empty() && name.back() == '/') name.remove_suffix(1);
    std::string joined;
    joined.reserve(folder.size() + 1 + name.size());
    joined.append(folder);
    if (folder.empty() || folder.back() != '/') joined.push_back('/');
    joined.append(name);
    return joined;
}

bool IsRemotePath(std::string_view text)
{
    return IsRemoteLocation(text);
}

// True when the pattern from `at` on is exactly "*" or "*.*".
static bool MatchesAnyRest(std::string_view pattern, std::size_t at)
{
    std::string_view rest = pattern.substr(at);
    return rest == "*" || rest == "*.*";
}

// The recursive definition, evaluated bottom-up over suffixes so that patterns with many "*"
// stay O(|text| * |pattern|): ok[i][j] tells whether text[i..] matches pattern[j..]. Two rows
// suffice because row i only reads row i+1. Example: "A?C" against "abc": 'C'='c', '?' takes
// 'b', 'A'='a' after upper-casing, so true.
bool MatchWildcard(std::string_view text, std::string_view pattern)
{
    if (MatchesAnyRest(pattern, 0)) return true;
    const std::size_t n = text.size(), m = pattern.size();
    std::vector<char> below(m + 1), row(m + 1);  // below = row i+1
    for (std::size_t i = n + 1; i-- > 0;) {
        for (std::size_t j = m + 1; j-- > 0;) {
            bool ok;
            if (j < m && MatchesAnyRest(pattern, j))
                ok = true;
            else if (i == n)
                ok = j == m;
            else if (j == m)
                ok = false;
            else if (pattern[j] == '*')
                ok = row[j + 1] || below[j];
            else if (pattern[j] == '?')
                ok = below[j + 1];
            else
                ok = vex::UpCaseAscii(text[i]) == vex::UpCaseAscii(pattern[j]) && below[j + 1];
            row[j] = ok;
        }
        std::swap(row, below);
    }
    return below[0];
}

int CompareEntryText(std::string_view a, std::string_view b)
{
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::vector<std::string> ParseFilter(std::string_view text)
{
    std::vector<std::string> list;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(';', start);
        std::string_view piece = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        bool known = false;
        for (const auto& p : list) known = known || vex::SameTextAscii(p, piece);
        if (!piece.empty() && !known) list.push_back(vex::UpperCaseAscii(piece));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return list;
}

namespace {
std::mutex iconMutex;
TKNScanProvider::TIconLookup iconLookup;
}  // namespace

void TKNScanProvider::SetIconLookup(TIconLookup lookup)
{
    std::lock_guard lock(iconMutex);
    iconLookup = std::move(lookup);
}

int TKNScanProvider::LookupIcon(const std::string& text, bool isFolder)
{
    TIconLookup lookup;
    {
        std::lock_guard lock(iconMutex);
        lookup = iconLookup;
    }
    return lookup ? lookup(text, isFolder) : -1;
}

}  // namespace kn
