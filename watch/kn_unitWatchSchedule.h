// When a watch runs next and what that run compares: a pure function of the changes seen, the
// times they were seen and the watch's settings, so that the rules are tested as a table and
// the executor (kestrune-cli watch) only carries them out.
//
// The rules:
// - a change waits for `Delay` seconds of quiet (the last change of a burst), but never longer
//   than `Hold` after the first one, so that a stream of changes still runs now and then;
// - a run compares only the folders that changed (each alone) and the folders that appeared
//   (with everything beneath them); too many of them, the start, a lost event (an overflow),
//   a failed run, a server side (nothing tells what changed there) and every `FullEvery`
//   seconds make it compare the whole trees;
// - folders that cannot be watched, and server sides, are compared every `Interval` seconds;
// - a failed run is tried again after 1, 2, 4 ... seconds, never more than `Interval`.
// Times are seconds on a steady clock. Relative folders are "" (the root) or "/a/b".
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kn {

struct TKNWatchSettings {
    double Delay = 2;               // quiet time after the last change
    double Interval = 60;           // servers and unwatched folders are compared this often
    double FullEvery = 3600;        // a whole comparison at least this often
    double Hold = 20;               // a change waits at most this long for quiet
    std::size_t MaxFolders = 1000;  // more changed folders than this: compare the whole trees
    // Parts no event covers, compared every Interval: with Polled and no PolledFolders the
    // whole trees (a server side), else these folders with everything beneath (unwatched ones).
    bool Polled = false;
    std::map<std::string, bool> PolledFolders;
};

// What the watch knows between runs.
struct TKNWatchState {
    std::map<std::string, bool> Folders;       // changed folders, true: with everything beneath
    double FirstChange = -1, LastChange = -1;  // of the changes in Folders (-1: none)
    std::string FullDue = "start";             // why a whole comparison is due ("start", "overflow"); empty: none
    double LastFull = 0;                       // when the last whole comparison began
    double LastPoll = 0;                       // when the last run that covered the polled parts began
    int Failures = 0;                          // runs failed in a row
    double RetryAt = 0;                        // after a failure: not before
};

// A change seen in `folder` (its entries; `tree`: the folder appeared, with what it holds).
void NoteChange(TKNWatchState& state, const std::string& folder, bool tree, double now);
// Events were lost: only a whole comparison can tell what changed.
void NoteOverflow(TKNWatchState& state, double now);

struct TKNWatchStep {
    bool RunNow = false;
    double WakeAt = 0;   // when nothing runs now: the time to ask again (changes may come earlier)
    bool Full = false;   // compare the whole trees
    bool Polls = false;  // the run covers the polled parts
    // Otherwise these folders, the topmost of them first; true: with everything beneath.
    std::map<std::string, bool> Folders;
    const char* Why = "";  // "start", "changes", "overflow", "retry", "poll", "full-every"
};

// What to do at `now`.
TKNWatchStep NextStep(const TKNWatchState& state, const TKNWatchSettings& settings, double now);
// The run of `step` begins at `now`: what it compares is no longer pending (changes seen from
// here on are, for the next run).
void RunBegins(TKNWatchState& state, const TKNWatchStep& step, double now);
// The run ended at `now`, well or not. A failed run is tried again, whole, after a back-off.
void RunEnded(TKNWatchState& state, bool ok, const TKNWatchSettings& settings, double now);

// The back-off after `failures` failed runs in a row: 1, 2, 4 ... seconds, at most `interval`.
double BackOff(int failures, double interval);

}  // namespace kn
