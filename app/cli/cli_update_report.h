// How kestrune-cli reports an update while it runs, shared by the commands that update
// (update, batch): each operation's path on standard output as it is carried out (in a dry run,
// what the operation would do), each failure on standard error, and Ctrl+C turned into a stop
// request between operations (compare's Ctrl+C goes through the same guard).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/kn_unitCompare.h"

namespace cli {

// The exit status of a run stopped by Ctrl+C.
constexpr int ExitInterrupted = 130;

// Binds the engine's update events to the printing above; `failures` counts the failed
// operations and must outlive the engine's runs.
void PrintUpdateOperations(kn::TKNFileCompare& engine, int& failures);

// A count given on the command line (--max-delete N): a whole number of 0 or more, or nothing.
std::optional<int64_t> ParseCount(const std::string& text);

// Every row of the engine's result, in its order.
std::vector<int> AllRows(const kn::TKNFileCompare& engine);

// While it exists, Ctrl+C asks `engine` to stop whatever it runs (a second Ctrl+C ends the
// program at once); the waits of the engine test it on the main thread.
class InterruptStops {
public:
    explicit InterruptStops(kn::TKNFileCompare& engine);
    ~InterruptStops();
    InterruptStops(const InterruptStops&) = delete;
    InterruptStops& operator=(const InterruptStops&) = delete;

    // Ctrl+C was pressed since the guard was made.
    static bool Interrupted();
};

}  // namespace cli
