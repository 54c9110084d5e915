// kestrune-cli compare: the comparison engine without windows. Prints one line per result row
// on standard output and the count on standard error; progress goes to standard error only
// when it is a terminal; Ctrl+C stops the comparison.
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_options.h"
#include "app/cli/cli_compare_preset.h"
#include "app/cli/cli_rows.h"
#include "engine/kn_unitCompare.h"
#include "framework/vex_unitThreads.h"

namespace {

constexpr int kExitInterrupted = 130;

const char* const kUsageHead =
    "Usage: kestrune-cli compare [OPTIONS] LEFT RIGHT\n"
    "       kestrune-cli compare --preset NAME [LEFT RIGHT]\n"
    "Compares the folder trees LEFT and RIGHT (local folders; relative paths start from the\n"
    "working folder) and prints every pair that differs, in path order, one line each:\n"
    "  STATUS<TAB>LEFT NAME<TAB>LEFT SIZE<TAB>LEFT TIME<TAB>RIGHT TIME<TAB>RIGHT SIZE<TAB>RIGHT NAME\n"
    "STATUS is left (the left entry is newer or only on the left), right (the same for the right)\n"
    "or differ (same time, different size or attributes). Names are relative to their folder, a\n"
    "folder's ending in \"/\" with size \"dir\"; control characters and \"\\\" in names are escaped\n"
    "(\\t, \\n, \\\\, \\xHH). Times are local, YYYY-MM-DD hh:mm:ss. An absent side's fields are empty.\n"
    "Then \"Found N folder(s) and file(s).\" goes to standard error.\n"
    "\nOptions:\n";

const char* const kUsageTail =
    "  --help                        show this text\n"
    "\nWhile it runs, standard error shows what is being searched when it is a terminal.\n"
    "Ctrl+C stops the comparison.\n"
    "\nExit status: 0 no differences, 1 differences found, 2 usage error, missing or unreadable\n"
    "folder, or a failed comparison, 130 stopped by Ctrl+C.\n";

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);  // a second Ctrl+C ends the program at once
}

// The progress line on a terminal: rewritten in place, at most ten times a second.
class ProgressLine {
public:
    void Show(uint8_t state, const std::string& path)
    {
        auto now = std::chrono::steady_clock::now();
        if (state == state_ && state == 1 && now - shown_ < std::chrono::milliseconds(100)) return;
        state_ = state;
        shown_ = now;
        std::string text = state == 1 ? "Searching... " + path : state == 2 ? "Sorting..." : "Comparing...";
        if (state == 0) text.clear();
        winsize ws{};
        std::size_t width = ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 ? ws.ws_col - 1 : 79;
        if (text.size() > width) text.resize(width);
        std::fprintf(stderr, "\r\033[K%s", text.c_str());
        std::fflush(stderr);
    }

private:
    uint8_t state_ = 255;
    std::chrono::steady_clock::time_point shown_;
};

int Usage(const std::string& error, const std::vector<cli::CompareOption>& extra)
{
    std::fprintf(stderr, "kestrune-cli compare: %s\n%s%s%s", error.c_str(), kUsageHead,
                 cli::CompareOptionsHelp(extra).c_str(), kUsageTail);
    return cli::ExitUsage;
}

// Checks both operands and makes them the folders the engine gets; false with a message.
bool TakeFolders(const cli::CompareArgs& args, std::string& left, std::string& right, std::string& error)
{
    if (args.Operands.size() != 2) {
        error = "give exactly two folders, LEFT and RIGHT";
        return false;
    }
    left = cli::FolderArgument(args.Operands[0]);
    right = cli::FolderArgument(args.Operands[1]);
    error = cli::CheckLocalRoot(left);
    if (error.empty()) error = cli::CheckLocalRoot(right);
    return error.empty();
}

int RunCompare(std::vector<std::string> argv)
{
    cli::CompareArgs args;
    std::string error;
    std::string presetName;
    const std::vector<cli::CompareOption> extra = {cli::PresetOption(presetName)};
    if (!cli::ParseCompareArgs(argv, args, error, extra)) return Usage(error, extra);
    if (args.Help) {
        std::printf("%s%s%s", kUsageHead, cli::CompareOptionsHelp(extra).c_str(), kUsageTail);
        return cli::ExitOk;
    }
    if (!presetName.empty() && !cli::ApplyPreset(presetName, argv, args, error)) {
        std::fprintf(stderr, "kestrune-cli compare: %s\n", error.c_str());
        return cli::ExitUsage;
    }
    std::string left, right;
    if (!TakeFolders(args, left, right, error)) {
        std::fprintf(stderr, "kestrune-cli compare: %s\n", error.c_str());
        return cli::ExitUsage;
    }

    kn::TKNFileCompare engine;
    engine.ApplyOptions(args.Options);
    engine.SetLeftFolder(left);  // the full texts: a record's folder field holds only 255 bytes
    engine.SetRightFolder(right);
    ProgressLine progress;
    if (isatty(STDERR_FILENO))
        engine.OnProgress = [&](void*, uint8_t state, const std::string& path) { progress.Show(state, path); };
    std::signal(SIGINT, OnInterrupt);
    vex::SetProcessMessages([&] {
        if (interrupted) engine.StopCompare();
    });
    engine.Compare(true);
    vex::SetProcessMessages(nullptr);
    std::signal(SIGINT, SIG_DFL);

    if (interrupted) {
        std::fprintf(stderr, "kestrune-cli compare: stopped\n");
        return kExitInterrupted;
    }
    if (!engine.ErrorText.empty()) {
        std::fprintf(stderr, "kestrune-cli compare: the comparison failed: %s\n", engine.ErrorText.c_str());
        return cli::ExitUsage;
    }
    cli::PrintRows(stdout, engine);
    std::fflush(stdout);
    cli::PrintFoundCount(stderr, engine.Items.size());
    return engine.Items.empty() ? cli::ExitOk : cli::ExitFound;
}

const cli::CliCommandRegistration compareCommand("compare", "compare two folder trees and list what differs",
                                                 RunCompare);

}  // namespace
