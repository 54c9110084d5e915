// kestrune-cli compare: the comparison engine without windows. Prints one line per result row
// on standard output and the count on standard error; progress goes to standard error only
// when it is a terminal; Ctrl+C stops the comparison.
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_preset.h"
#include "app/cli/cli_compare_run.h"
#include "app/cli/cli_rows.h"
#include "app/cli/cli_update_report.h"
#include "engine/kn_unitCompare.h"

namespace {

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

// The progress line on a terminal: rewritten in place, at most ten times a second.
class ProgressLine {
public:
    void Show(uint8_t state, const std::string& path)
    {
        auto now = std::chrono::steady_clock::now();
        if (state == state_ && state == 1 && now - shown_ < std::chrono::milliseconds(100)) return;
        state_ = state;
        shown_ = now;
        std::string text = state == 1   ? "Searching... " + cli::EscapeText(kn::HideLocationPasswords(path))
                           : state == 2 ? "Sorting..."
                           : state == 5 ? path  // "Comparing contents... 1.2 GB of 4.8 GB", or why a pair was not
                                        : "Comparing...";
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

const cli::CompareCommandText kText = {"compare", kUsageHead, kUsageTail};

int RunCompare(std::vector<std::string> argv)
{
    std::string presetName;
    const std::vector<cli::CompareOption> extra = {cli::PresetOption(presetName)};
    cli::CompareCommandLine line;
    if (auto done = cli::ReadCompareCommandLine(kText, argv, extra, presetName, line)) return *done;

    kn::TKNFileCompare engine;
    cli::SetUpEngine(engine, line);
    ProgressLine progress;
    if (isatty(STDERR_FILENO)) {
        // The progress line shows the newest folder; the scans never wait for it.
        engine.ProgressDelivery = vex::TDelivery::Newest;
        engine.OnProgress = [&](void*, uint8_t state, const std::string& path) { progress.Show(state, path); };
    }
    {
        cli::InterruptStops stops(engine);
        engine.Compare(true);
    }
    if (auto failed = cli::ReportCompared(kText, engine)) return *failed;
    return engine.Items.empty() ? cli::ExitOk : cli::ExitFound;
}

const cli::CliCommandRegistration compareCommand("compare", "compare two folder trees and list what differs",
                                                 RunCompare);

}  // namespace
