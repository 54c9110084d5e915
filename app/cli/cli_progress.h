// The live line on standard error while a command runs, shown only when standard error is a
// terminal (never in a pipe or a log): what a comparison searches, then how far an update is
// (operations, bytes, rate, time left). The line is rewritten in place, at most ten times a
// second, and cleared at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/kn_unitProgressText.h"
#include "engine/kn_unitUpdateEvent.h"
#include "engine/kn_unitUpdatePlan.h"

namespace cli {

class ProgressLine {
public:
    // True when standard error is a terminal.
    static bool Possible();

    // A comparison's state as the engine reports it (1 searching `path`, 2 sorting, 5 a
    // content comparison's text, 0 the end).
    void ShowCompare(uint8_t state, const std::string& path);

    // An update of `plan` begins: the counts start from nothing.
    void StartUpdate(const kn::TKNPlanTotals& plan);
    // One operation has ended.
    void Count(const kn::TKNOpEvent& event);
    // The transfers in work: `total` and `done` bytes summed over the workers, named `name`.
    void Bytes(const std::string& name, int64_t total, int64_t done);
    void Clear();
    // Takes the line off the terminal for a line of output; the next report draws it again.
    void Erase();

private:
    void Write(std::string text, bool force);

    std::chrono::steady_clock::time_point shown_;
    uint8_t state_ = 255;
    bool shownText_ = false;  // the terminal shows a progress line
    bool erased_ = false;     // Erase took it off: the next report draws it at once
    kn::TKNUpdateProgress update_;
};

}  // namespace cli
