#include "app/cli/cli_update_report.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/cli/cli_rows.h"
#include "engine/kn_unitCompare.h"
#include "framework/vex_unitThreads.h"

namespace cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

// A failure message escaped line by line: its own "\r\n" breaks stay as they are.
std::string EscapeMessage(const std::string& message)
{
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t end = message.find("\r\n", start);
        out += EscapeText(std::string_view(message).substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return out;
        out += "\r\n";
        start = end + 2;
    }
}

void OnInterrupt(int)
{
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);  // a second Ctrl+C ends the program at once
}

}  // namespace

void PrintUpdateOperations(kn::TKNFileCompare& engine, int& failures)
{
    // Names may come from a hostile server: escaped, none reaches the terminal as a control.
    auto printLine = [](void*, const std::string& text) {
        std::fputs(EscapeText(kn::HideLocationPasswords(text)).c_str(), stdout);
        std::fputc('\n', stdout);
    };
    // Every operation's line counts, in order, but the workers need not wait for the printing.
    engine.ProgressDelivery = vex::TDelivery::Queued;
    // A dry run prints what each operation would do instead of the path it works on.
    engine.OnUpdateProgress = [&engine, printLine](void* sender, const std::string& text, int) {
        if (!engine.UpdateDryRun) printLine(sender, text);
    };
    engine.OnDryRunOperation = printLine;
    engine.OnNotice = [](void*, const std::string& text) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", kn::HideLocationPasswords(text).c_str());
    };
    engine.OnError = [&failures](void*, const std::string& message) {
        ++failures;
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", EscapeMessage(kn::HideLocationPasswords(message)).c_str());
    };
}

std::optional<int64_t> ParseCount(const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno == ERANGE || value < 0 || !std::isdigit(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    return value;
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

bool InterruptStops::Interrupted()
{
    return interrupted != 0;
}

}  // namespace cli
