#include "app/cli/cli_usage.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/cli/cli_command.h"
#include "engine/kn_unitCompare.h"

namespace cli {

namespace {

// Edits from `a` to `b`: insertions, deletions, substitutions and swaps of two neighbours
// (the optimal string alignment distance).
std::size_t EditDistance(std::string_view a, std::string_view b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

std::size_t Dashes(std::string_view text)
{
    return std::min(text.find_first_not_of('-'), text.size());
}

}  // namespace

std::string ClosestName(std::string_view given, const std::vector<std::string>& names)
{
    const std::size_t letters = given.size() - Dashes(given);
    if (letters < 2) return {};
    std::vector<const std::string*> begun;
    for (const std::string& name : names)
        if (name.size() > given.size() && name.compare(0, given.size(), given) == 0) begun.push_back(&name);
    if (begun.size() == 1) return *begun.front();
    if (letters < 3) return {};
    std::string best;
    std::size_t bestDistance = std::max<std::size_t>(1, letters / 4) + 1;
    for (const std::string& name : names)
        if (const std::size_t distance = EditDistance(given, name); distance < bestDistance) {
            bestDistance = distance;
            best = name;
        }
    return best;
}

std::string WithSuggestion(const std::string& problem, std::string_view given, const std::vector<std::string>& names)
{
    const std::string closest = ClosestName(given, names);
    return closest.empty() ? problem : problem + " (did you mean " + closest + "?)";
}

int UsageError(const std::string& command, const std::string& problem)
{
    const std::string program = command.empty() ? "kestrune-cli" : "kestrune-cli " + command;
    std::fprintf(stderr, "%s: %s\nSee '%s --help'.\n", program.c_str(), kn::HideLocationPasswords(problem).c_str(),
                 program.c_str());
    return ExitUsage;
}

namespace {

const std::pair<std::string_view, std::string_view> kShortForms[] = {
    {"-n", "--dry-run"}, {"-q", "--quiet"}, {"-h", "--help"}, {"-V", "--version"}};

}  // namespace

std::string LongFormOf(std::string_view arg)
{
    for (const auto& [form, name] : kShortForms)
        if (arg == form) return std::string(name);
    return {};
}

std::string ShortFormOf(std::string_view name)
{
    for (const auto& [form, full] : kShortForms)
        if (name == full) return std::string(form);
    return {};
}

}  // namespace cli
