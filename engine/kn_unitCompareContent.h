// Content comparison of file pairs: whether two files of equal size hold the same bytes.
//
// Each side is reached through a TKNContentSide, made by the side's scan provider for one
// reader thread. Two sides that can both be read are compared block by block, both files read
// in turn in large blocks, stopping at the first difference; a side whose server hashes files
// (an FTP checksum command) is compared by hash instead, the other side hashing with the same
// function. The pairs are spread over a small pool of reader threads; every reader holds two
// blocks, so memory stays bounded whatever the file sizes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitContentHash.h"
#include "side/kn_unitSide.h"

namespace kn {

// One opened file of a side, read from its start.
class TKNContentStream {
public:
    virtual ~TKNContentStream() = default;
    // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 with `reason`.
    virtual int64_t Read(char* buffer, std::size_t size, std::string& reason) = 0;
};

// One reader thread's access to the files of one side.
class TKNContentSide {
public:
    virtual ~TKNContentSide() = default;
    // Opens the file of `Rec`; nullptr with `reason` when it cannot. A FIFO, device or socket
    // is never opened: nullptr with `special` set.
    virtual std::unique_ptr<TKNContentStream> Open(const TKNFileRec& Rec, bool& special, std::string& reason) = 0;
    // The hash functions the side computes where its files are, best first (none for a local
    // side: reading is as cheap as hashing there). The file about to be compared is given,
    // for a side that must try its server's commands on a file to learn them.
    virtual std::vector<TKNHashKind> RemoteHashes(const TKNFileRec&) { return {}; }
    // The lower-case hex digest of `Rec` by `kind`, one of RemoteHashes; false with `reason`.
    virtual bool RemoteHash(const TKNFileRec& Rec, TKNHashKind kind, std::string& hex, std::string& reason);
};

// How the contents of one pair compared.
enum class TKNContentResult : uint8_t { Equal, Differ, Failed, Special };

struct TKNContentOutcome {
    TKNContentResult Result = TKNContentResult::Failed;
    std::string Reason;  // why a Failed pair could not be compared
};

// The two blocks of one reader.
struct TKNContentBuffers {
    explicit TKNContentBuffers(std::size_t blockSize) : Left(blockSize), Right(blockSize) {}
    std::vector<char> Left, Right;
};

// Bytes compared so far (added as blocks are done) and the stop test, shared by the readers.
struct TKNContentProgress {
    std::atomic<int64_t> Done{0};
    std::function<bool()> Stopped;
};

// Compares the files `l` (of `left`) and `r` (of `right`), whose listed sizes are equal.
// Worked example: two 3 MiB files that differ in their last byte are read in three 1 MiB
// blocks each and found to Differ at the third; a file that ends after 2 MiB Failed ("changed
// size while it was read").
TKNContentOutcome CompareFileContents(TKNContentSide& left, const TKNFileRec& l, TKNContentSide& right,
                                      const TKNFileRec& r, TKNContentBuffers& buffers, TKNContentProgress& progress);

// One pair to compare and, afterwards, how it compared.
struct TKNContentJob {
    const TKNFileRec* Left = nullptr;
    const TKNFileRec* Right = nullptr;
    TKNContentOutcome Outcome;
};

// Makes one side's access for one reader thread.
using TKNContentSideFactory = std::function<std::unique_ptr<TKNContentSide>()>;

// Compares every job on `readers` threads (at least one), taking jobs in order; every thread
// makes its own two sides. `report` is called on the calling thread about five times a second
// while the readers work. Jobs left when a stop comes stay Failed with the reason "Stopped".
void CompareContentJobs(std::vector<TKNContentJob>& jobs, int readers, const TKNContentSideFactory& makeLeft,
                        const TKNContentSideFactory& makeRight, TKNContentProgress& progress,
                        const std::function<void()>& report);

// The access of the side at `location` (whose records start with `root`): its own side opened
// through the registry on first use; digests where the side computes them, else the files streamed.
std::unique_ptr<TKNContentSide> MakeSideContentSide(const std::string& location, const std::string& root,
                                                    const TKNSideContext& context);

}  // namespace kn
