// The step of an operation a worker carries out (kn_unitUpdate.h), and what the worker's files
// (kn_unitUpdate.cpp, the copies in kn_unitUpdateCopy.cpp) share of it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/kn_unitContentHash.h"
#include "engine/kn_unitUpdate.h"

namespace kn {

struct TKNUpdateWorker::TStep {
    const TKNOp* Op = nullptr;
    std::size_t Index = 0;             // the operation's position in the run's list
    const TKNFileRec* Read = nullptr;  // the pair's records (absent ones have an empty path)
    const TKNFileRec* Written = nullptr;
    TKNSidePath Path;
    std::string ShownRead, ShownWritten;
    TKNOpEvent Event;
    int64_t Total = 0;  // the bytes of the transfer in work
    int64_t Moved = 0;
    TKNOpFacts Facts;
    std::unique_ptr<TKNHasher> Hasher;  // the bytes a copy moves, for a run that keeps a state
};

bool IsCopy(TKNOperation op);
// A side's message without the name the updater's message gives already: "\"/r/a\": Is a
// directory" under "Failed to copy ... to \"/r/a\"" reads "Is a directory".
std::string Reason(const TKNSideResult& result, const std::string& shown, const std::string& other = {});
// The writer of files on a side that is not a server is this process; a server's is unknown.
int64_t WriterUid(const TKNSide& side);

}  // namespace kn
