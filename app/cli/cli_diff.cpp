// kestrune-cli diff [--records] [--minimal] [--max-size SIZE] LEFT-FILE RIGHT-FILE: the line
// differences of two text files, read and compared exactly as the differences window does.
#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <optional>

#include "app/cli/cli_command.h"
#include "app/cli/cli_diff_records.h"
#include "diff/kn_unitBinaryFile.h"
#include "diff/kn_unitDiff.h"
#include "diff/kn_unitLineClasses.h"
#include "diff/kn_unitTextFile.h"

namespace {

const char* const Usage =
    "Usage: kestrune-cli diff [--records] [--format FORMAT] [--minimal] [--max-size SIZE] LEFT-FILE\n"
    "                        RIGHT-FILE\n"
    "Compares two text files line by line and prints how many lines were added, modified and\n"
    "deleted from left to right. With --records each change record is printed first as\n"
    "KIND<TAB>INDEX1<TAB>INDEX2<TAB>COUNT (KIND is add, delete or modify; indexes are 0-based).\n"
    "Where the exact search would take long, a near-minimal one is used and the summary ends in\n"
    "\"(approximate)\"; --minimal always searches exactly, whatever it costs. Files larger than\n"
    "SIZE bytes (K, M and G suffixes count in 1024s; default 1G) are refused. Ctrl+C stops.\n"
    "A file with a zero byte in its first 8 KB is binary: two files of which one is binary are\n"
    "compared byte for byte and reported as \"Binary files A and B differ\".\n"
    "--format tsv prints the same; --format jsonl prints each record and the summary as JSON\n"
    "objects (see the README), the summary's words then going to standard error.\n"
    "Exit status: 0 without differences, 1 with differences, 2 on an error, 130 when stopped.\n";

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

bool Load(const std::string& fileName, uint64_t maxSize, std::string& content)
{
    std::string reason;
    if (kn::ReadTextFile(fileName, content, reason, maxSize)) return true;
    std::fprintf(stderr, "kestrune-cli diff: cannot read \"%s\": %s\n", fileName.c_str(), reason.c_str());
    return false;
}

struct TDiffArgs {
    bool Records = false;
    cli::OutputFormat Format = cli::OutputFormat::Text;
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
            return cli::ExitOk;
        }
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
            std::fprintf(stderr, "kestrune-cli diff: unknown option \"%s\"\n%s", arg.c_str(), Usage);
            return cli::ExitUsage;
        } else
            args.Files.push_back(arg);
    }
    if (args.Files.size() != 2) {
        std::fputs(Usage, stderr);
        return cli::ExitUsage;
    }
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
    return cli::PrintDiffSummary(nullptr, format, true, binary.Identical,
                                 "Binary files " + leftFile + " and " + rightFile + " differ");
}

int RunDiff(std::vector<std::string> argv)
{
    TDiffArgs args;
    if (std::optional<int> status = ParseArgs(argv, args)) return *status;
    std::signal(SIGINT, RequestStop);  // a stop while reading ends the search at its first step
    args.Options.Stop = &StopRequested;
    std::string left, right;
    if (!Load(args.Files[0], args.MaxSize, left) || !Load(args.Files[1], args.MaxSize, right)) return cli::ExitUsage;
    // Only once both are known to be regular files within the limit: a pipe is never opened
    // for reading, which would wait for a writer.
    if (std::optional<int> status = CompareIfBinary(args.Files[0], args.Files[1], args.Format)) return *status;

    kn::TDiff diff(args.Options);
    const kn::TLineClasses classes = kn::ClassifyLines(kn::SplitTextLineViews(left), kn::SplitTextLineViews(right));
    if (!diff.Compare(classes.Left, classes.Right)) {
        if (diff.Stopped()) {
            std::fprintf(stderr, "kestrune-cli diff: stopped\n");
            return ExitStopped;
        }
        std::fprintf(stderr, "kestrune-cli diff: the files are too large to compare\n");
        return cli::ExitUsage;
    }
    if (args.Records) cli::PrintDiffRecords(diff, args.Format);
    return cli::PrintDiffSummary(&diff, args.Format);
}

const cli::CliCommandRegistration registration("diff", "compare two text files line by line", RunDiff);

}  // namespace
