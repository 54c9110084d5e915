#include "app/cli/cli_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "app/cli/cli_rows.h"
#include "engine/kn_unitCompare.h"
#include "framework/vex_unitCounts.h"

namespace cli {

namespace {

// "1:05" or "1:02:05".
std::string FormatDuration(int64_t seconds)
{
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace

bool ProgressLine::Possible()
{
    return isatty(STDERR_FILENO) != 0;
}

void ProgressLine::ShowCompare(uint8_t state, const std::string& path)
{
    const bool same = state == state_;
    state_ = state;
    std::string text = state == 1   ? "Searching... " + EscapeText(kn::HideLocationPasswords(path))
                       : state == 2 ? "Sorting..."
                       : state == 5 ? path  // "Comparing contents... 1.2 GB of 4.8 GB", or why a pair was not
                                    : "Comparing...";
    if (state == 0) text.clear();
    Write(text, !(same && state == 1));
}

void ProgressLine::StartUpdate(const kn::TKNPlanTotals& plan)
{
    totalOps_ = plan.FilesToCopy + plan.FilesToDelete + plan.FoldersToCreate + plan.FoldersToRemove +
                plan.AttributeChanges + plan.TimesToSet;
    totalBytes_ = plan.BytesToCopy;
    doneOps_ = doneBytes_ = 0;
    started_ = std::chrono::steady_clock::now();
    Write("Updating... 0/" + std::to_string(totalOps_), true);
}

void ProgressLine::Count(const kn::TKNOpEvent& event)
{
    ++doneOps_;
    doneBytes_ += event.Bytes;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    std::string text = std::to_string(doneOps_) + "/" + std::to_string(totalOps_) + " operations, " +
                       vex::FormatByteSize(doneBytes_) + " of " + vex::FormatByteSize(totalBytes_);
    if (seconds >= 1 && doneBytes_ > 0) {
        const double rate = doneBytes_ / seconds;
        text += ", " + vex::FormatByteSize(static_cast<int64_t>(rate)) + "/s, " +
                FormatDuration(static_cast<int64_t>((totalBytes_ - doneBytes_) / rate)) + " left";
    }
    Write(text, doneOps_ == totalOps_);
}

void ProgressLine::Clear()
{
    Write(std::string(), true);
}

void ProgressLine::Write(std::string text, bool force)
{
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - shown_ < std::chrono::milliseconds(100)) return;
    shown_ = now;
    winsize ws{};
    const std::size_t width = ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 ? ws.ws_col - 1 : 79;
    if (text.size() > width) text.resize(width);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

}  // namespace cli
