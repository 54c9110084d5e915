#include "app/cli/cli_update_report.h"

#include <csignal>
#include <cstdio>

#include "framework/vex_unitThreads.h"

namespace cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);  // a second Ctrl+C ends the program at once
}

}  // namespace

void PrintUpdateOperations(kn::TKNFileCompare& engine, int& failures)
{
    auto printLine = [](void*, const std::string& text) {
        std::fputs(text.c_str(), stdout);
        std::fputc('\n', stdout);
    };
    // Every operation's line counts, in order, but the workers need not wait for the printing.
    engine.ProgressDelivery = vex::TDelivery::Queued;
    // A dry run prints what each operation would do instead of the path it works on.
    engine.OnUpdateProgress = [&engine, printLine](void* sender, const std::string& text, int) {
        if (!engine.UpdateDryRun) printLine(sender, text);
    };
    engine.OnDryRunOperation = printLine;
    engine.OnError = [&failures](void*, const std::string& message) {
        ++failures;
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", message.c_str());
    };
}

std::vector<int> AllRows(const kn::TKNFileCompare& engine)
{
    std::vector<int> rows(engine.Items.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    return rows;
}

InterruptStops::InterruptStops(kn::TKNFileCompare& engine)
{
    interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    vex::SetProcessMessages([&engine] {
        if (interrupted) engine.StopCompare();
    });
}

InterruptStops::~InterruptStops()
{
    vex::SetProcessMessages(nullptr);
    std::signal(SIGINT, SIG_DFL);
}

bool InterruptStops::Interrupted() { return interrupted != 0; }

}  // namespace cli
