#include "app/cli/cli_compare_options.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "app/cli/cli_usage.h"
#include "engine/kn_unitCompare.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitText.h"

namespace cli {

namespace {

// The attribute set of option letters r, h, s, a.
bool ParseAttributeLetters(const std::string& letters, uint8_t& set, std::string& error)
{
    set = 0;
    for (char c : letters) {
        switch (vex::UpCaseAscii(c)) {
            case 'R':
                set |= kn::faReadOnly;
                break;
            case 'H':
                set |= kn::faHidden;
                break;
            case 'S':
                set |= kn::faSysFile;
                break;
            case 'A':
                set |= kn::faArchive;
                break;
            default:
                error = "unknown attribute letter \"" + std::string(1, c) + "\" (use r, h, s, a)";
                return false;
        }
    }
    return true;
}

bool ParseInt64(const std::string& text, int64_t& value, std::string& error)
{
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno == ERANGE) {
        error = "\"" + text + "\" is not a whole number of bytes";
        return false;
    }
    value = v;
    return true;
}

template <std::size_t N>
bool SetTextField(char (&field)[N], const std::string& text, std::string& error)
{
    if (text.size() > N - 1) {
        error = "the text is longer than " + std::to_string(N - 1) + " bytes";
        return false;
    }
    vex::SetField(field, text);
    return true;
}

bool ParseHours(const std::string& text, uint8_t& hours, std::string& error)
{
    int64_t value = -1;
    std::string ignored;
    if (!ParseInt64(text, value, ignored) || value < 0 || value > kn::kMaxIgnoreHours) {
        error = "\"" + text + "\" is not a whole number of hours from 0 to " + std::to_string(kn::kMaxIgnoreHours);
        return false;
    }
    hours = static_cast<uint8_t>(value);
    return true;
}

bool ParseDay(const std::string& text, vex::TDateTime& day, std::string& error)
{
    if (vex::ParseDate(text, day)) return true;
    error = "\"" + text + "\" is not a date of the form YYYY-MM-DD";
    return false;
}

const std::vector<CompareOption> kCompareOptions = {
    {"--filter", "TEXT",
     "list only names (of files and folders) matching one of these ;-separated patterns (default *.*)",
     [](const std::string& v, CompareArgs& a, std::string& e) {
         // An empty filter would hide every entry and report no differences.
         if (kn::ParseFilter(v).empty()) {
             e = "give at least one pattern (* lists every name)";
             return false;
         }
         return SetTextField(a.Options.Filter, v, e);
     }},
    {"--exclude", "TEXT", "leave out names matching one of these ;-separated patterns",
     [](const std::string& v, CompareArgs& a, std::string& e) { return SetTextField(a.Options.ExcludeFilter, v, e); }},
    {"--attributes", "LETTERS", "list hidden (h) and system (s) entries only when their letter is given (default rhsa)",
     [](const std::string& v, CompareArgs& a, std::string& e) {
         uint8_t set;
         if (!ParseAttributeLetters(v, set, e)) return false;
         a.Options.Attributes = static_cast<uint8_t>(set | (a.Options.Attributes & kn::faDirectory));
         return true;
     }},
    {"--exclude-attributes", "LETTERS", "leave out entries with any of these attributes (r, h, s, a)",
     [](const std::string& v, CompareArgs& a, std::string& e) {
         uint8_t set;
         if (!ParseAttributeLetters(v, set, e)) return false;
         a.Options.ExcludeAttributes = set;
         return true;
     }},
    {"--begin", "DATE", "leave out entries last written before DATE (YYYY-MM-DD)",
     [](const std::string& v, CompareArgs& a, std::string& e) {
         vex::TDateTime day;
         if (!ParseDay(v, day, e)) return false;
         a.Options.BeginDate = day;
         return true;
     }},
    {"--end", "DATE", "leave out entries last written after the day DATE (YYYY-MM-DD)",
     [](const std::string& v, CompareArgs& a, std::string& e) {
         vex::TDateTime day;
         if (!ParseDay(v, day, e)) return false;
         a.Options.EndDate = day + (vex::kSecondsPerDay - 1) / vex::kSecondsPerDay;  // the whole day
         return true;
     }},
    {"--min-size", "N", "leave out files smaller than N bytes",
     [](const std::string& v, CompareArgs& a, std::string& e) {
         int64_t size;
         if (!ParseInt64(v, size, e)) return false;
         a.Options.MinSize = size;
         return true;
     }},
    {"--max-size", "N", "leave out files larger than N bytes (negative: no limit)",
     [](const std::string& v, CompareArgs& a, std::string& e) {
         int64_t size;
         if (!ParseInt64(v, size, e)) return false;
         a.Options.MaxSize = size;
         return true;
     }},
    {"--content", nullptr, "compare files of equal size byte by byte, whatever their times",
     [](const std::string&, CompareArgs& a, std::string&) {
         a.Options.CompareContent = 1;
         return true;
     }},
    {"--ignore-hours", "N", "times that differ by exactly 1 to N whole hours count as equal (N from 0 to 24)",
     [](const std::string& v, CompareArgs& a, std::string& e) { return ParseHours(v, a.Options.IgnoreHours, e); }},
    {"--links", "copy|skip|follow",
     "symbolic links: made as links (copy, the default), left out (skip), or taken for what they lead to "
     "inside the folder (follow)",
     [](const std::string& v, CompareArgs& a, std::string& e) {
         kn::TKNLinkPolicy policy;
         if (!kn::LinkPolicyOfWord(v, policy)) {
             e = "\"" + v + "\" is not one of copy, skip, follow";
             return false;
         }
         a.Options.Links = static_cast<uint8_t>(policy);
         return true;
     }},
    {"--no-recursive", nullptr, "compare only the entries directly in the two folders",
     [](const std::string&, CompareArgs& a, std::string&) {
         a.Options.Recursive = 0;
         a.Options.Attributes &= static_cast<uint8_t>(~kn::faDirectory);  // as the settings dialog does
         return true;
     }},
};

const CompareOption* FindOption(const std::string& name, const std::vector<CompareOption>& extra, bool compare)
{
    for (const auto* table : {&kCompareOptions, &extra})
        if (compare || table == &extra)
            for (const auto& option : *table)
                if (name == option.Name) return &option;
    return nullptr;
}

// Every option name `ParseCompareArgs` takes with these tables, for proposing one.
std::vector<std::string> OptionNames(const std::vector<CompareOption>& extra, bool compare)
{
    std::vector<std::string> names = {"--help"};
    for (const auto* table : {&kCompareOptions, &extra})
        if (compare || table == &extra)
            for (const auto& option : *table) names.emplace_back(option.Name);
    return names;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

}  // namespace

const std::vector<CompareOption>& CompareOptions()
{
    return kCompareOptions;
}

bool ParseCompareArgs(const std::vector<std::string>& args, CompareArgs& out, std::string& error,
                      const std::vector<CompareOption>& extra, bool compareOptions)
{
    out.Options = kn::DefaultOptions(HomeFolder().c_str());
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out.Operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        if (const std::string full = LongFormOf(name); !full.empty() && eq == std::string::npos) name = full;
        if (name == "--help") {
            out.Help = true;
            continue;
        }
        const CompareOption* option = FindOption(name, extra, compareOptions);
        if (!option) {
            error = WithSuggestion("unknown option \"" + name + "\"", name, OptionNames(extra, compareOptions));
            return false;
        }
        std::string value;
        if (option->Value && eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (option->Value) {
            if (++i >= args.size()) {
                error = name + " needs " + option->Value;
                return false;
            }
            value = args[i];
        } else if (eq != std::string::npos) {
            error = name + " takes no value";
            return false;
        }
        if (!option->Apply(value, out, error)) {
            error = name + ": " + error;
            return false;
        }
    }
    return true;
}

std::string CompareOptionsHelp(const std::vector<CompareOption>& extra)
{
    std::string text;
    for (const auto* table : {&kCompareOptions, &extra}) {
        for (const auto& option : *table) {
            const std::string shortForm = ShortFormOf(option.Name);
            std::string head = std::string("  ") + (shortForm.empty() ? "" : shortForm + ", ") + option.Name +
                               (option.Value ? std::string(" ") + option.Value : "");
            head.resize(std::max<std::size_t>(head.size() + 1, 32), ' ');
            text += head + option.Help + "\n";
        }
    }
    return text;
}

std::string FolderArgument(const std::string& arg)
{
    if (kn::IsRemotePath(arg) || arg.empty()) return arg;
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(arg, ec);
    if (ec) return arg;
    return absolute.lexically_normal().string();
}

std::string CheckLocalRoot(const std::string& folder)
{
    if (kn::IsRemotePath(folder)) return {};
    std::string quoted = "\"" + folder + "\"";
    if (vex::KindOf(folder) != vex::TFileKind::Folder) return "The folder " + quoted + " does not exist.";
    if (folder.find_first_not_of('/') == std::string::npos)
        return "the root folder " + quoted + " cannot be compared; name a folder below it";
    vex::TDirLister lister;
    if (!lister.Open(folder)) return "the folder " + quoted + " cannot be read: " + vex::ErrorText(errno);
    return {};
}

namespace {

constexpr std::pair<kn::TKNAction, const char*> kActionWords[] = {
    {kn::TKNAction::LeftToRight, "left-to-right"},
    {kn::TKNAction::RightToLeft, "right-to-left"},
    {kn::TKNAction::Auto, "auto"},
    {kn::TKNAction::TwoWay, "two-way"},
};

}  // namespace

const char* ActionWord(kn::TKNAction action)
{
    for (const auto& [known, word] : kActionWords)
        if (known == action) return word;
    return "unknown";
}

bool ActionOfWord(const std::string& word, kn::TKNAction& action)
{
    for (const auto& [known, text] : kActionWords)
        if (word == text) {
            action = known;
            return true;
        }
    return false;
}

}  // namespace cli
