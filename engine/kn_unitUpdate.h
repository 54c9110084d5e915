// The updater: carries out one operation of a run (TKNOp, kn_unitUpdateOp.h) on the two sides of
// a comparison, whatever their kinds and whichever planner made it, through TKNSide alone. A
// copy is one stream from the read side into the written side's transactional write; a backup
// is a copy from the written side into a local side rooted at the run's backup folder.
//
// The rules above the sides are kept here, once for every kind:
// - every name bound for a side is one plain component there (NameProblem with the written
//   side's ForbiddenInNames): a row whose name is not fails with kind BadName;
// - a row's path becomes a TKNSidePath once (FromRelative of its path below the root); no path
//   is ever joined and split again;
// - a copy takes ModeForCopy of the source's bits (set-ID kept only when the owner stays the
//   writer), a new folder the source folder's bits;
// - just before a file is overwritten or removed it must still be what the comparison recorded
//   (size, time at its precision, inode): else the row is skipped with "... changed since the
//   comparison." and counted as a failure; nothing is backed up or written for it;
// - only a temporary whose name the program can prove its own (IsOwnTempName) is removed as a
//   left-over;
// - an operation that waits for another (TKNOp::After: the backup or the version moved aside
//   that keeps what it replaces) is skipped unless that one was done; the failure of that one is
//   the run's, the skip is told by its event;
// - a row under a name beginning with "." is left alone (Skipped) once either side turns out
//   unable to list such names, as the contents of a folder that could not be listed are.
//
// Errors: each operation ends in one TKNOpEvent (Done, Failed, Skipped, or Planned in a dry
// run); failures and skips also reach OnError with a ready message and the run's outcome. A
// side that cannot be reached throws TKNConnectError before anything of the operation is done:
// the worker is of no more use (a pool goes on without it; a lone worker's run ends).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitUpdateEvent.h"
#include "engine/kn_unitUpdateOp.h"
#include "engine/kn_unitUpdatePlan.h"
#include "side/kn_unitSide.h"

namespace kn {

class TKNUpdateThread;

// The failure messages; the last argument is the side's reason.
std::string MsgCopyFailed(const std::string& source, const std::string& dest, const std::string& reason);
std::string MsgCreateFolderFailed(const std::string& path, const std::string& reason);
std::string MsgDeleteFileFailed(const std::string& path, const std::string& reason);
std::string MsgDeleteFolderFailed(const std::string& path, const std::string& reason);
std::string MsgSetAttributesFailed(const std::string& path, const std::string& reason);
std::string MsgSetTimeFailed(const std::string& path, const std::string& reason);
std::string MsgRenameFailed(const std::string& path, const std::string& to, const std::string& reason);

// A local date-time as the Unix time of its DOS form (odd seconds rounded down).
int64_t DosUnixTime(vex::TDateTime time);

// --- Rules (pure) ---------------------------------------------------------------------------

// The permission bits that carry a read-only attribute: the entry's own bits without the write
// bits, or with the owner's write bit; where its bits are unknown, the usual ones (0644/0444
// for a file, 0755/0555 for a folder). E.g. (0754, known, file, read-only) gives 0554.
uint32_t ModeForReadOnly(uint32_t mode, bool known, bool folder, bool readOnly);

// The bits a new folder takes from its source folder: ModeForCopy of them, with the owner's
// read, write and search bits, since the folder's files are copied into it afterwards.
// E.g. (0700, false) gives 0700, (02555, false) gives 0755.
uint32_t ModeForNewFolder(uint32_t sourceMode, bool sameOwner);

// A copy keeps its owner only when both sides tell owners and the source's owner is the
// writer (`writerUid`, -1 when the written side's writer is not known).
bool CopyKeepsOwner(const TKNSideCaps& read, const TKNSideCaps& written, uint32_t sourceUid, int64_t writerUid);

// The entry a scan record describes, as far as it tells it: its exact time and modes where the
// record carries them, else its time from the local date-time at two seconds.
TKNSideEntry EntryOfRecord(const TKNFileRec& rec);
// What the written side's entry must still be when it is replaced or removed.
TKNExpected ExpectedOfRecord(const TKNFileRec& rec);

// --- The worker -----------------------------------------------------------------------------

// A side a worker could not reach, with the side's kind of failure (TooManyConnections: the
// server takes no more connections) and message.
class TKNConnectError : public std::runtime_error {
public:
    TKNConnectError(TKNSideError kind, const std::string& message) : std::runtime_error(message), Kind(kind) {}
    TKNSideError Kind;
};

// What an operation that ended well leaves for a run that keeps a state (two-way): the entry
// it wrote as its side holds it now (Known false where that was not learned), and the content
// hash of the bytes a copy moved (SHA-256 hex; empty when not asked for).
struct TKNOpFacts {
    TKNSideEntry Written;
    bool Known = false;
    std::string Hash;
};

// One worker of an update run: its own pair of sides (and backup side), used by its thread
// alone. Each worker of the run's pool has one; `slot` names its byte progress.
//
// A copy goes through phases: its checks (the name, the dot-name rule, the entry it replaces
// still unchanged and backed up, the source's facts), the opening of its two streams, the
// moving of its bytes, the commit, and its conclusion (its event). A group of copies passes
// each phase for all its copies before the next, in one order, so that a side carrying several
// files at once overlaps their round trips; a lone copy is a group of one. A stop seen between
// two phases of a group of several ends it there: its open streams are destroyed (nothing
// half-written stays), and the copies not yet committed end Skipped with kind Stopped, counted
// as neither done nor failed. A lone copy goes on until its side sees the stop flag.
class TKNUpdateWorker {
public:
    explicit TKNUpdateWorker(TKNUpdateThread& run, int slot = 0);
    ~TKNUpdateWorker();
    TKNUpdateWorker(const TKNUpdateWorker&) = delete;
    TKNUpdateWorker& operator=(const TKNUpdateWorker&) = delete;

    // Opens both sides and, unless the run is a dry run, connects those the run writes, and the
    // side it reads when `reachRead` (else that one is reached when first read). Throws
    // TKNConnectError when one cannot be reached.
    void Connect(bool reachRead = false);
    // Makes the operation in work end early (any thread): the sides see their stop flag.
    void RequestStop() { stop_ = true; }
    // Carries out the operation at position `index` of the run's list (never Nothing); its
    // result as its event reported it. An operation without a Pair removes a left-over temporary
    // file, and only one whose name IsOwnTempName accepts.
    TKNOpResult Carry(const TKNOp& op, std::size_t index);
    // How many copies this worker carries as one group (FilesPerGroup of its sides once both
    // are reached; 1 before, and in a dry run).
    int FilesAtOnce() const;
    // Carries out a group of copies of files (at most FilesAtOnce; positions in the run's list),
    // each ending in its own event as Carry would end it. Throws TKNConnectError before anything
    // is done when a side cannot be reached.
    void CarryGroup(const std::vector<std::size_t>& indexes);

private:
    // One operation in work: its event, its paths, its shown names and what it leaves.
    struct TStep;
    // The result of one operation: Ok, or a side's failure with the message to report;
    // Skipped when nothing was attempted.
    struct TDone {
        TKNSideError Kind = TKNSideError::None;
        std::string Message;
        bool Skipped = false;
        // False for a skip whose cause was reported already (the copy it waited for failed):
        // its event tells it, the run's failures do not count it twice.
        bool Counted = true;
    };
    // A copy in work: its step, what it writes with, its streams (null once closed) and the
    // first failure of its open, move or commit.
    struct TCopy {
        TStep* Step = nullptr;
        TKNWriteTerms Terms;
        std::unique_ptr<TKNReadStream> Reader;
        std::unique_ptr<TKNWriteStream> Writer;
        TKNSideResult Result;
        bool Stopped = false;  // ended by a stop before its commit
    };

    // The side as opened (its caps and shown names); Reached connects it first, once, and
    // throws with its message when it cannot be reached.
    TKNSide& Side(bool right) { return *sides_[right ? 1 : 0]; }
    TKNSide& Reached(bool right);
    // Names the operation's step (Carry's first part); false when it ended already (a bad name,
    // or what it waits for was not done).
    bool Begin(TStep& step, const TKNOp& op, std::size_t index);
    bool Prepare(TStep& step, const std::string& relative);
    void Finish(TStep& step, const TDone& done);
    TDone Run(TStep& step);
    TDone Copy(TStep& step);
    // The phases of copies (see the class comment).
    TDone CheckCopy(TCopy& copy);
    bool LinkedToEarlierName(TCopy& copy, TDone& done);
    // A copy that moves no bytes (a symbolic link made, another name of a file given): true
    // with `done` where it was one.
    bool MadeWithoutBytes(TCopy& copy, TDone& done);
    bool MadeLink(TCopy& copy, TDone& done);
    void Transfer(std::vector<TCopy>& copies);
    void OpenStreams(std::vector<TCopy>& copies);
    void MoveBytes(std::vector<TCopy>& copies);
    void CommitStreams(std::vector<TCopy>& copies);
    TDone Concluded(TCopy& copy);
    // A stop request (the pool's flag or the run's own) ends `copies` between two phases.
    bool Stopping(const std::vector<TCopy>& copies) const;
    void NoteModes(bool right);
    TDone Delete(TStep& step, const TKNExpected& expected);
    TDone MakeFolder(TStep& step);
    TDone SetAttributes(TStep& step);
    TDone SetTime(TStep& step);
    // A row under a name beginning with "." while a side cannot list such names: Skipped.
    bool DotEntryUnknown(const TStep& step);
    TDone LeftAlone(const TStep& step) const;
    TDone Rename(TStep& step);
    TDone CopyWithin(TStep& step);
    TDone RemoveStaleTemp(TStep& step);
    // The new path of a rename or a copy on the side, made of plain names there; false with
    // the failure (`message` makes it) when it is not.
    bool NewPathOf(TStep& step, TKNSidePath& to, std::string& shownTo, TDone& failed,
                   std::string (*message)(const std::string&, const std::string&, const std::string&));
    // What a run that keeps a state learns of a copy just written.
    void LearnWritten(TStep& step, const TKNWriteTerms& terms);
    // The written entry, checked against `expected`; Changed gives a Skipped step.
    TDone Unchanged(TStep& step, const TKNExpected& expected, TKNSideEntry& current);
    TDone Backup(TStep& step);
    TDone BackUp(TStep& step, const TKNSideEntry& entry);
    bool FolderInTheWay(TStep& step);
    // The source entry: the record's, or what the read side tells where the record holds no
    // exact time and modes.
    TKNSideEntry Source(TStep& step);
    void StartTransfer(TStep& step, int64_t total);
    std::function<void(int64_t)> Moved(TStep& step);
    std::string DryRunText(const TStep& step) const;
    void Describe(const TStep& step);

    TKNUpdateThread& run_;
    const int slot_;
    std::atomic<bool> stop_{false};
    TKNSideContext context_;
    std::unique_ptr<TKNSide> sides_[2];
    bool connected_[2] = {false, false};
    std::unique_ptr<TKNSide> backup_;  // opened with the first backup
};

}  // namespace kn
