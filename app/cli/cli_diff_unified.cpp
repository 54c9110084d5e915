#include "app/cli/cli_diff_unified.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "app/cli/cli_usage.h"

namespace cli {

const char* const DiffTextUsage =
    "  -u, -U N            print a unified diff with 3 (or N) lines of context, as patch reads it\n"
    "  -b                  ignore changes in the amount of white space\n"
    "  -w                  ignore all white space\n"
    "  -i                  ignore case (ASCII letters)\n"
    "  -B                  ignore changes whose lines are all empty\n"
    "  -I RE               ignore changes whose lines all match the basic regular expression RE\n"
    "  --strip-trailing-cr ignore carriage returns at line ends\n"
    "Lines are compared with their line breaks (CR LF differs from LF) after they are decoded:\n"
    "two files with the same text in different encodings have no differences.\n";

namespace {

bool TakeValue(const std::vector<std::string>& argv, size_t& i, const std::string& arg, size_t at, std::string& value)
{
    if (at + 1 < arg.size()) {
        value = arg.substr(at + 1);
        return true;
    }
    if (i + 1 >= argv.size()) return false;
    value = argv[++i];
    return true;
}

bool ParseContext(const std::string& text, int& context)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    context = std::stoi(text);
    return true;
}

// One group of short letters, such as "-bwU5".
TOptionParse ParseLetters(const std::vector<std::string>& argv, size_t& i, TDiffTextArgs& args)
{
    const std::string arg = argv[i];
    for (size_t at = 1; at < arg.size(); ++at) {
        std::string value;
        switch (arg[at]) {
            case 'b':
                args.Ignore.SpaceChange = true;
                break;
            case 'w':
                args.Ignore.AllSpace = true;
                break;
            case 'i':
                args.Ignore.Case = true;
                break;
            case 'B':
                args.Ignore.BlankLines = true;
                break;
            case 'u':
                if (args.Context < 0) args.Context = 3;
                break;
            case 'U':
                if (!TakeValue(argv, i, arg, at, value) || !ParseContext(value, args.Context)) {
                    std::fprintf(stderr, "kestrune-cli diff: -U needs a number of lines\n");
                    return TOptionParse::Bad;
                }
                return TOptionParse::Taken;
            case 'I':
                if (!TakeValue(argv, i, arg, at, value)) {
                    std::fprintf(stderr, "kestrune-cli diff: -I needs a regular expression\n");
                    return TOptionParse::Bad;
                }
                args.Ignore.Patterns.push_back(value);
                return TOptionParse::Taken;
            default:
                if (at == 1) return TOptionParse::NotMine;
                cli::UsageError("diff", "unknown option letter \"" + std::string(1, arg[at]) + "\" in \"" + arg + "\"");
                return TOptionParse::Bad;
        }
    }
    return TOptionParse::Taken;
}

std::string ModifiedTime(const std::string& fileName)
{
    struct stat st {};
    if (stat(fileName.c_str(), &st) != 0) return {};
    std::tm local{};
    localtime_r(&st.st_mtim.tv_sec, &local);
    char stamp[64], zone[8];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);
    char text[96];
    std::snprintf(text, sizeof text, "\t%s.%09ld %s", stamp, static_cast<long>(st.st_mtim.tv_nsec), zone);
    return text;
}

}  // namespace

TOptionParse ParseDiffTextOption(const std::vector<std::string>& argv, size_t& i, TDiffTextArgs& args)
{
    const std::string& arg = argv[i];
    if (arg == "--strip-trailing-cr") {
        args.Ignore.TrailingCR = true;
        return TOptionParse::Taken;
    }
    if (arg.size() < 2 || arg[0] != '-' || arg[1] == '-') return TOptionParse::NotMine;
    const TOptionParse result = ParseLetters(argv, i, args);
    if (result == TOptionParse::Bad && arg.find_first_not_of("bwiBuUI", 1) != std::string::npos)
        std::fprintf(stderr, "kestrune-cli diff: unknown option \"%s\"\n", arg.c_str());
    return result;
}

std::vector<std::string_view> UnifiedLines(const TDiffFile& file)
{
    switch (file.Format.Encoding) {
        case kn::TTextEncoding::Utf8:
        case kn::TTextEncoding::Latin1:
        case kn::TTextEncoding::Locale8Bit: {
            // One byte per line break in these, so the lines are the decoded ones. A UTF-8 file
            // without a mark keeps its bytes as its text.
            const std::string_view bytes(file.Bytes.empty() ? file.Text : file.Bytes);
            return kn::SplitAtLineFeeds(bytes.substr(0, bytes.find('\0')));
        }
        default:
            return kn::SplitAtLineFeeds(file.Text);
    }
}

std::string UnifiedHeader(const std::string& leftName, const std::string& rightName)
{
    return "--- " + leftName + ModifiedTime(leftName) + "\n+++ " + rightName + ModifiedTime(rightName) + "\n";
}

}  // namespace cli
