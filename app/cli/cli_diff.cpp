// kestrune-cli diff [--records] [--minimal] [--max-size SIZE] [-u | -U N] [IGNORE...] LEFT-FILE
// RIGHT-FILE: the line differences of two text files, read and compared exactly as the
// differences window does; unified output and the ignore letters live in cli_diff_unified.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>

#include "app/cli/cli_command.h"
#include "app/cli/cli_diff_records.h"
#include "app/cli/cli_diff_unified.h"
#include "app/cli/cli_usage.h"
#include "diff/kn_unitBinaryFile.h"
#include "diff/kn_unitTextFile.h"
#include "diff/kn_unitUnifiedDiff.h"
#include "framework/vex_unitCounts.h"

namespace {

const char* const Usage =
    "Usage: kestrune-cli diff [--records] [--format FORMAT] [--minimal] [--max-size SIZE] [-u | -U N]\n"
    "                         [-b] [-w] [-i] [-B] [-I RE]... [--strip-trailing-cr] LEFT-FILE RIGHT-FILE\n"
    "Compares two text files line by line and prints how many lines were added, modified and\n"
    "deleted from left to right. With --records each change record is printed first as\n"
    "KIND<TAB>INDEX1<TAB>INDEX2<TAB>COUNT (KIND is add, delete or modify; indexes are 0-based).\n"
    "Where the exact search would take long, a near-minimal one is used and the summary ends in\n"
    "\"(approximate)\"; --minimal always searches exactly, whatever it costs. Files larger than\n"
    "SIZE bytes (K, M and G suffixes count in 1024s; default 1G) are refused. Ctrl+C stops.\n"
    "Files are read as UTF-8, UTF-16 or UTF-32 with a byte-order mark, UTF-16 without one when\n"
    "the bytes say so, UTF-8, or else the locale's 8-bit encoding (Latin-1 in a UTF-8 locale).\n"
    "A file that is text in none of these is binary: two files of which one is binary are\n"
    "compared byte for byte and reported as \"Binary files A and B differ\".\n"
    "--format tsv prints the same; --format jsonl prints each record and the summary as JSON\n"
    "objects (see the README), the summary's words then going to standard error.\n"
    "Exit status: 0 without differences, 1 with differences, 2 on an error, 130 when stopped.\n";

// The long options, for proposing one in place of a mistyped one.
const std::vector<std::string> kOptionNames = {"--records",  "--format", "--minimal",
                                               "--max-size", "--help",   "--strip-trailing-cr"};

constexpr int ExitStopped = 130;

std::atomic<bool> StopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void RequestStop(int)
{
    StopRequested.store(true);
}

// "1048576", "64K", "512M", "1G".
std::optional<uint64_t> ParseSize(const std::string& text)
{
    size_t used = 0;
    uint64_t value = 0;
    try {
        value = std::stoull(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (text.empty() || text[0] == '-') return std::nullopt;
    const std::string suffix = text.substr(used);
    int shift = 0;
    if (suffix == "K" || suffix == "k")
        shift = 10;
    else if (suffix == "M" || suffix == "m")
        shift = 20;
    else if (suffix == "G" || suffix == "g")
        shift = 30;
    else if (!suffix.empty())
        return std::nullopt;
    if (value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

// Reads and decodes a file; a binary one is left undecoded (CompareIfBinary reports it).
bool Load(const std::string& fileName, uint64_t maxSize, cli::TDiffFile& file)
{
    std::string reason;
    kn::TFileStamp stamp;
    file.Name = fileName;
    if (!kn::ReadFileBytes(fileName, file.Bytes, reason, maxSize, stamp)) {
        std::fprintf(stderr, "kestrune-cli diff: cannot read \"%s\": %s\n", fileName.c_str(), reason.c_str());
        return false;
    }
    const std::optional<kn::TTextFormat> format = kn::DetectTextFormat(file.Bytes);
    if (!format) return true;
    file.Format = *format;
    if (format->Encoding == kn::TTextEncoding::Utf8 && !format->Bom) {
        // Valid UTF-8 already: the text is the bytes themselves, not a copy of them.
        file.Text = std::move(file.Bytes);
        file.Text.resize(std::min(file.Text.size(), file.Text.find('\0')));
        file.Bytes.clear();
    } else {
        kn::DecodeText(file.Bytes, file.Format, file.Text);
    }
    return true;
}

struct TDiffArgs {
    bool Records = false;
    cli::OutputFormat Format = cli::OutputFormat::Text;
    cli::TDiffTextArgs Text;
    kn::TDiffOptions Options;
    uint64_t MaxSize = kn::DefaultMaxTextFileSize;
    std::vector<std::string> Files;
};

// Fills `args`; returns an exit status when the command ends here.
std::optional<int> ParseArgs(const std::vector<std::string>& argv, TDiffArgs& args)
{
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            std::fputs(cli::DiffTextUsage, stdout);
            return cli::ExitOk;
        }
        const cli::TOptionParse text = cli::ParseDiffTextOption(argv, i, args.Text);
        if (text == cli::TOptionParse::Bad) return cli::ExitUsage;
        if (text == cli::TOptionParse::Taken) continue;
        if (arg == "--records")
            args.Records = true;
        else if (arg == "--format" || arg.starts_with("--format=")) {
            const bool joined = arg.size() > 8;
            const std::string value = joined ? arg.substr(9) : i + 1 < argv.size() ? argv[++i] : std::string();
            std::string error;
            if (!cli::ParseOutputFormat(value, args.Format, error)) {
                std::fprintf(stderr, "kestrune-cli diff: --format: %s\n", error.c_str());
                return cli::ExitUsage;
            }
        } else if (arg == "--minimal")
            args.Options.Minimal = true;
        else if (arg == "--max-size") {
            const std::optional<uint64_t> size = i + 1 < argv.size() ? ParseSize(argv[++i]) : std::nullopt;
            if (!size) {
                std::fprintf(stderr, "kestrune-cli diff: --max-size needs a size such as 1048576, 64K, 512M or 2G\n");
                return cli::ExitUsage;
            }
            args.MaxSize = *size;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return cli::UsageError("diff", cli::WithSuggestion("unknown option \"" + arg + "\"", arg, kOptionNames));
        } else
            args.Files.push_back(arg);
    }
    if (args.Files.size() != 2) return cli::UsageError("diff", "give two files, LEFT-FILE and RIGHT-FILE");
    return std::nullopt;
}

// The outcome of a pair of which one file is binary; nothing for two text files.
std::optional<int> CompareIfBinary(const std::string& leftFile, const std::string& rightFile, cli::OutputFormat format)
{
    kn::TBinaryComparison binary;
    std::string reason;
    if (!kn::CompareBinaryFiles(leftFile, rightFile, binary, reason)) {
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        std::fprintf(stderr, "kestrune-cli diff: %s\n", reason.c_str());
        return cli::ExitUsage;
    }
    if (!binary.Binary) return std::nullopt;
    cli::TDiffOutcome outcome;
    outcome.Binary = true;
    outcome.Same = binary.Identical;
    outcome.Words = binary.Identical ? "No differences." : "Binary files " + leftFile + " and " + rightFile + " differ";
    return cli::PrintDiffSummary(outcome, format);
}

// "No differences." and, when the texts were the same in different encodings, which.
std::string NoDifferences(const cli::TDiffFile& left, const cli::TDiffFile& right)
{
    const std::string a = kn::EncodingName(left.Format.Encoding), b = kn::EncodingName(right.Format.Encoding);
    if (a == b && left.Format.Bom == right.Format.Bom) return "No differences.";
    return "No differences in the text; the encodings differ (" + a + (left.Format.Bom ? " with BOM" : "") + ", " + b +
           (right.Format.Bom ? " with BOM" : "") + ").";
}

// `leftLines` and `rightLines` are the lines compared; unified output shows them unless a file's
// own bytes differ from its text.
int PrintResult(const TDiffArgs& args, const cli::TDiffFile& left, const cli::TDiffFile& right,
                std::vector<std::string_view> leftLines, std::vector<std::string_view> rightLines,
                const kn::TTextDiffResult& result)
{
    if (args.Text.Context >= 0) {
        if (!left.Bytes.empty()) leftLines = cli::UnifiedLines(left);
        if (!right.Bytes.empty()) rightLines = cli::UnifiedLines(right);
        std::string out;
        const bool any = kn::AppendUnifiedDiff(out, cli::UnifiedHeader(left.Name, right.Name), leftLines, rightLines,
                                               result.Changes, args.Text.Context);
        std::fwrite(out.data(), 1, out.size(), stdout);
        return any ? cli::ExitFound : cli::ExitOk;
    }
    if (args.Records) cli::PrintDiffRecords(result.Changes, args.Format);
    const kn::TDiffSummary& s = result.Summary;
    cli::TDiffOutcome outcome;
    outcome.Summary = s;
    outcome.Approximate = result.Approximate;
    outcome.Same = s.Empty();
    if (outcome.Same) {
        outcome.Words = NoDifferences(left, right);
    } else {
        outcome.Words = vex::CountOf(s.Added, "line added", "lines added") + ", " +
                        vex::CountOf(s.Modified, "line modified", "lines modified") + ", " +
                        vex::CountOf(s.Deleted, "line deleted", "lines deleted") + "." +
                        (result.Approximate ? " (approximate)" : "");
    }
    return cli::PrintDiffSummary(outcome, args.Format);
}

int RunDiff(std::vector<std::string> argv)
{
    TDiffArgs args;
    if (std::optional<int> status = ParseArgs(argv, args)) return *status;
    std::signal(SIGINT, RequestStop);  // a stop while reading ends the search at its first step
    args.Options.Stop = &StopRequested;
    cli::TDiffFile left, right;
    if (!Load(args.Files[0], args.MaxSize, left) || !Load(args.Files[1], args.MaxSize, right)) return cli::ExitUsage;
    // Only once both are known to be regular files within the limit: a pipe is never opened
    // for reading, which would wait for a writer.
    if (std::optional<int> status = CompareIfBinary(args.Files[0], args.Files[1], args.Format)) return *status;

    // Unified output takes lines as patch does, at LF only; the summary as the window does.
    const bool unified = args.Text.Context >= 0;
    auto lines = [unified](const std::string& text) {
        return unified ? kn::SplitAtLineFeeds(text) : kn::LinesWithBreaks(text, kn::SplitTextLineViews(text));
    };
    kn::TTextDiffResult result;
    std::string reason;
    std::vector<std::string_view> leftLines = lines(left.Text), rightLines = lines(right.Text);
    if (!kn::CompareTextLines(leftLines, rightLines, args.Text.Ignore, args.Options, result, reason)) {
        if (result.Stopped) {
            std::fprintf(stderr, "kestrune-cli diff: stopped\n");
            return ExitStopped;
        }
        std::fprintf(stderr, "kestrune-cli diff: %s\n", reason.c_str());
        return cli::ExitUsage;
    }
    return PrintResult(args, left, right, std::move(leftLines), std::move(rightLines), result);
}

const cli::CliCommandRegistration registration("diff", "compare two text files line by line", RunDiff);

}  // namespace
