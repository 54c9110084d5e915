#include "watch/kn_unitWatchSchedule.h"

#include <algorithm>
#include <limits>

namespace kn {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

// True when `folder` lies beneath `above` ("/a/b" beneath "/a", everything beneath "").
bool Beneath(const std::string& folder, const std::string& above)
{
    return folder.size() > above.size() && folder.compare(0, above.size(), above) == 0 && folder[above.size()] == '/';
}

// Adds `folder` to `folders`, dropping what a folder taken with everything beneath it covers.
void AddFolder(std::map<std::string, bool>& folders, const std::string& folder, bool tree)
{
    for (const auto& [known, knownTree] : folders)
        if (knownTree && (known == folder || Beneath(folder, known))) return;
    if (tree)
        for (auto it = folders.begin(); it != folders.end();)
            it = Beneath(it->first, folder) ? folders.erase(it) : std::next(it);
    folders[folder] = folders[folder] || tree;
}

TKNWatchStep Run(const char* why, bool full)
{
    TKNWatchStep step;
    step.RunNow = true;
    step.Full = full;
    step.Why = why;
    return step;
}

}  // namespace

void NoteChange(TKNWatchState& state, const std::string& folder, bool tree, double now)
{
    AddFolder(state.Folders, folder, tree);
    if (state.FirstChange < 0) state.FirstChange = now;
    state.LastChange = now;
}

void NoteOverflow(TKNWatchState& state, double now)
{
    state.FullDue = "overflow";
    if (state.FirstChange < 0) state.FirstChange = now;
    state.LastChange = now;
}

TKNWatchStep NextStep(const TKNWatchState& state, const TKNWatchSettings& settings, double now)
{
    if (state.Failures > 0) {
        if (now >= state.RetryAt) return Run("retry", true);
        TKNWatchStep wait;
        wait.WakeAt = state.RetryAt;
        return wait;
    }
    if (state.FullDue == "start") return Run("start", true);
    const double fullAt = state.LastFull + settings.FullEvery;
    const double pollAt = settings.Polled ? state.LastPoll + settings.Interval : kNever;
    const double changeAt =
        state.FirstChange < 0
            ? kNever
            : std::min(state.LastChange + settings.Delay, state.FirstChange + std::max(settings.Hold, settings.Delay));
    // An overflow waits for quiet like any change: the burst that caused it is still going on.
    if (!state.FullDue.empty() && now >= changeAt) return Run("overflow", true);
    if (now >= fullAt) return Run("full-every", true);
    const bool polls = now >= pollAt;
    if (polls || (state.FullDue.empty() && now >= changeAt)) {
        TKNWatchStep step = Run(polls ? "poll" : "changes", polls && settings.PolledFolders.empty());
        step.Polls = polls;
        if (step.Full) return step;
        step.Folders = state.Folders;
        if (polls)
            for (const auto& [folder, tree] : settings.PolledFolders) AddFolder(step.Folders, folder, tree);
        if (step.Folders.size() > settings.MaxFolders || (step.Folders.count("") != 0 && step.Folders.at(""))) {
            step.Full = true;
            step.Folders.clear();
        }
        return step;
    }
    TKNWatchStep wait;
    wait.WakeAt = std::min({fullAt, pollAt, changeAt});
    return wait;
}

void RunBegins(TKNWatchState& state, const TKNWatchStep& step, double now)
{
    state.Folders.clear();
    state.FirstChange = state.LastChange = -1;
    if (step.Full) {
        state.FullDue.clear();
        state.LastFull = now;
    }
    if (step.Full || step.Polls) state.LastPoll = now;
}

void RunEnded(TKNWatchState& state, bool ok, const TKNWatchSettings& settings, double now)
{
    state.Failures = ok ? 0 : state.Failures + 1;
    state.RetryAt = ok ? 0 : now + BackOff(state.Failures, settings.Interval);
}

double BackOff(int failures, double interval)
{
    double wait = 1;
    for (int i = 1; i < failures && wait < interval; ++i) wait *= 2;
    return std::min(wait, interval);
}

}  // namespace kn
