#include "app/cli/cli_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "app/cli/cli_rows.h"
#include "engine/kn_unitCompare.h"

namespace cli {

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
    update_.Start(plan);
    Write("Updating... 0/" + std::to_string(update_.Operations()), true);
}

void ProgressLine::Count(const kn::TKNOpEvent& event)
{
    update_.Ended(event);
    Write(update_.Text(), update_.AllEnded());
}

void ProgressLine::Bytes(const std::string& name, int64_t total, int64_t done)
{
    // Names may come from a hostile server: escaped like every path shown.
    update_.InWork(total > 0 ? EscapeText(kn::HideLocationPasswords(name)) : std::string(), total, done);
    Write(update_.Text(), false);
}

void ProgressLine::Clear()
{
    Write(std::string(), true);
}

void ProgressLine::Erase()
{
    if (!shownText_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shownText_ = false;
    erased_ = true;
}

void ProgressLine::Write(std::string text, bool force)
{
    const auto now = std::chrono::steady_clock::now();
    if (!force && !erased_ && now - shown_ < std::chrono::milliseconds(100)) return;
    shown_ = now;
    erased_ = false;
    shownText_ = !text.empty();
    winsize ws{};
    const std::size_t width = ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 ? ws.ws_col - 1 : 79;
    if (text.size() > width) text.resize(width);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

}  // namespace cli
