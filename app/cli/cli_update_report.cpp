#include "app/cli/cli_update_report.h"

#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/cli/cli_password.h"
#include "app/cli/cli_rows.h"
#include "engine/kn_unitCompare.h"
#include "framework/vex_unitRateLimit.h"
#include "framework/vex_unitThreads.h"

namespace cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

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

void OnStopSignal(int signal)
{
    interrupted = 1;
    std::signal(signal, SIG_DFL);  // a second one ends the program at once
}

bool OutputFailed()
{
    return std::ferror(stdout) != 0;
}

// Standard output is a pipe or socket that nobody reads any more: its writing end reports an
// error condition.
bool ReaderGone()
{
    pollfd out{STDOUT_FILENO, 0, 0};
    return poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP)) != 0;
}

}  // namespace

UpdateReport::UpdateReport(kn::TKNFileCompare& engine, const OutputOptions& options)
    : engine_(engine), options_(options), showProgress_(options.Progress && ProgressLine::Possible())
{
    // Every operation's record counts, in order, but the workers need not wait for the printing.
    engine.ProgressDelivery = vex::TDelivery::Queued;
    engine.OnOperation = [this](void*, const kn::TKNOpEvent& event) { Operation(event); };
    if (showProgress_)
        engine.OnFileProgress = [this](void*, const std::string& name, int64_t total, int64_t done) {
            progress_.Bytes(name, total, done);
        };
    engine.OnUpdateDone = [this](void*) {
        if (showProgress_) progress_.Clear();
    };
    engine.OnNotice = [this](void*, const std::string& text) {
        if (showProgress_) progress_.Erase();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", kn::HideLocationPasswords(text).c_str());
    };
    engine.OnError = [this](void*, const std::string& message) {
        ++failures_;
        if (showProgress_) progress_.Erase();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", EscapeMessage(kn::HideLocationPasswords(message)).c_str());
    };
}

void UpdateReport::Starting(const kn::TKNPlanTotals& plan)
{
    if (showProgress_) progress_.StartUpdate(plan);
}

void UpdateReport::Operation(const kn::TKNOpEvent& event)
{
    // A file skipped because it changed since the comparison was not brought into line: the
    // run must not end as a full success, whether or not the engine also reports it as an error.
    if (event.Result == kn::TKNOpResult::Skipped) ++failures_;
    const bool failed = event.Result == kn::TKNOpResult::Failed || event.Result == kn::TKNOpResult::Skipped;
    if (!options_.Quiet || failed) {
        // The line goes on a line of its own, under which the progress is drawn again.
        if (showProgress_) progress_.Erase();
        // Names may come from a hostile server: escaped, none reaches the terminal as a control.
        if (options_.Format == OutputFormat::Text)
            WriteLine(OperationText(event, engine_.GetLeftFolder(), engine_.GetRightFolder()));
        if (options_.Format == OutputFormat::Tsv) WriteLine(OperationTsv(event));
        if (options_.Format == OutputFormat::Jsonl) WriteLine(OperationJson(event));
        if (showProgress_) std::fflush(stdout);
    }
    if (showProgress_) progress_.Count(event);
}

RunCounts UpdateReport::Counts(bool dryRun) const
{
    const kn::TKNUpdateOutcome& outcome = engine_.LastUpdate();
    return {dryRun ? outcome.Planned : outcome.Done, static_cast<int64_t>(outcome.Failures.size()),
            outcome.BackupFolder};
}

std::string RunObserver::SupplyPassword(const std::string& location)
{
    return cli::SupplyPassword(location);
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

CompareOption TransfersOption(std::optional<int>& transfers)
{
    return {"--transfers", "N", "carry out N operations at once, each with its own connections (default 4)",
            [&transfers](const std::string& value, CompareArgs&, std::string& error) {
                const std::optional<int64_t> n = ParseCount(value);
                if (!n || *n < 1 || *n > kn::kMaxTransfers) {
                    error = "expected a count of transfers from 1 to " + std::to_string(kn::kMaxTransfers) +
                            ", not \"" + value + "\"";
                    return false;
                }
                transfers = static_cast<int>(*n);
                return true;
            }};
}

CompareOption BandwidthOption(std::optional<int64_t>& limit)
{
    return {"--bwlimit", "RATE", "move at most RATE bytes a second, all transfers together (500K, 4M; 0: no limit)",
            [&limit](const std::string& value, CompareArgs&, std::string& error) {
                limit = vex::ParseByteRate(value);
                // A slower limit would hold a connection idle long enough for servers to drop it.
                if (limit && *limit != 0 && *limit < kn::kMinBandwidthLimit) {
                    error =
                        "a limit below 16K a second would leave connections idle for minutes, not \"" + value + "\"";
                    return false;
                }
                if (!limit) error = "expected a rate such as 500K or 4M (bytes a second), not \"" + value + "\"";
                return limit.has_value();
            }};
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
    for (int signal : kStopSignals) std::signal(signal, OnStopSignal);
    vex::SetProcessMessages([&engine] {
        if (Interrupted()) engine.StopCompare();
    });
}

InterruptStops::~InterruptStops()
{
    vex::SetProcessMessages(nullptr);
    for (int signal : kStopSignals) std::signal(signal, SIG_DFL);
}

bool InterruptStops::Interrupted()
{
    return interrupted != 0 || OutputFailed();
}

void SayStopped(const std::string& command)
{
    const bool lost = OutputFailed() && interrupted == 0;
    if (lost && ReaderGone()) return;
    std::fprintf(stderr, "kestrune-cli %s: %s\n", command.c_str(),
                 lost ? "standard output could not be written; stopped" : "stopped");
}

void IgnoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace cli
