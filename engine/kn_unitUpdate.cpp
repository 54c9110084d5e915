#include "engine/kn_unitUpdate.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitContentHash.h"
#include "engine/kn_unitScanProviderSide.h"
#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitUpdateSchedule.h"
#include "engine/kn_unitUpdateStep.h"
#include "side/kn_unitSideCopy.h"
#include "side/kn_unitSideRules.h"

namespace kn {

bool IsCopy(TKNOperation op)
{
    return op == TKNOperation::CopyLeftToRight || op == TKNOperation::CopyRightToLeft;
}

std::string Reason(const TKNSideResult& result, const std::string& shown, const std::string& other)
{
    for (const std::string* name : {&shown, &other}) {
        const std::string head = "\"" + *name + "\": ";
        if (!name->empty() && result.Message.compare(0, head.size(), head) == 0)
            return result.Message.substr(head.size());
    }
    return result.Message;
}

int64_t WriterUid(const TKNSide& side)
{
    return side.Caps().Remote ? -1 : static_cast<int64_t>(::geteuid());
}

namespace {

std::string Format(const char* pattern, const std::string& a, const std::string& b = {}, const std::string& c = {})
{
    int n = std::snprintf(nullptr, 0, pattern, a.c_str(), b.c_str(), c.c_str());
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, a.c_str(), b.c_str(), c.c_str());
    return HideLocationPasswords(out);  // messages are shown and printed
}

}  // namespace

std::string MsgCopyFailed(const std::string& source, const std::string& dest, const std::string& reason)
{
    return Format("Failed to copy file \"%s\" to \"%s\".\r\n%s", source, dest, reason);
}

std::string MsgCreateFolderFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to create directory \"%s\".\r\n%s", path, reason);
}

std::string MsgDeleteFileFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to delete file \"%s\".\r\n%s", path, reason);
}

std::string MsgDeleteFolderFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to delete directory \"%s\".\r\n%s", path, reason);
}

std::string MsgSetAttributesFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to set attributes of \"%s\".\r\n%s", path, reason);
}

std::string MsgSetTimeFailed(const std::string& path, const std::string& reason)
{
    return Format("Failed to set the time of \"%s\".\r\n%s", path, reason);
}

std::string MsgRenameFailed(const std::string& path, const std::string& to, const std::string& reason)
{
    return Format("Failed to rename \"%s\" to \"%s\".\r\n%s", path, to, reason);
}

int64_t DosUnixTime(vex::TDateTime time)
{
    const int64_t offset = vex::LocalOffsetNow();
    int64_t local = vex::DateTimeToUnix(time, 0);
    local -= ((local % 2) + 2) % 2;
    return local - offset;
}

// --- Rules ----------------------------------------------------------------------------------

uint32_t ModeForReadOnly(uint32_t mode, bool known, bool folder, bool readOnly)
{
    if (!known) return folder ? (readOnly ? 0555 : 0755) : (readOnly ? 0444 : 0644);
    mode &= 07777;
    return readOnly ? mode & ~0222u : mode | 0200u;
}

uint32_t ModeForNewFolder(uint32_t sourceMode, bool sameOwner)
{
    return ModeForCopy(sourceMode, sameOwner) | 0700u;
}

bool CopyKeepsOwner(const TKNSideCaps& read, const TKNSideCaps& written, uint32_t sourceUid, int64_t writerUid)
{
    return read.Owners && written.Owners && writerUid >= 0 && static_cast<int64_t>(sourceUid) == writerUid;
}

// A record carries its exact time and modes once a scan filled them (ModeKnown, or a time of
// its own); older scans give only the local date-time, known to two seconds.
TKNSideEntry EntryOfRecord(const TKNFileRec& rec)
{
    TKNSideEntry entry;
    entry.Name = rec.Name;
    entry.Kind = rec.IsFolder() ? TKNEntryKind::Folder : TKNEntryKind::File;
    entry.Link = rec.Link;
    entry.Size = rec.Size;
    const bool exact = rec.ModeKnown || rec.MTime != 0;
    entry.MTime = exact ? rec.MTime : DosUnixTime(rec.Time);
    entry.MTimeNsec = exact ? rec.MTimeNsec : 0;
    entry.TimeStep = exact ? rec.TimeStep : std::max<uint32_t>(2, rec.TimeStep);
    entry.Mode = rec.Mode;
    entry.ModeKnown = rec.ModeKnown;
    entry.Uid = rec.Uid;
    entry.OwnerKnown = rec.ModeKnown;
    entry.Inode = rec.Inode;
    return entry;
}

TKNExpected ExpectedOfRecord(const TKNFileRec& rec)
{
    return ExpectedOf(EntryOfRecord(rec));
}

// --- The worker -----------------------------------------------------------------------------

namespace {

const TKNFileRec kAbsent;

}  // namespace

TKNUpdateWorker::TKNUpdateWorker(TKNUpdateThread& run, int slot) : run_(run), slot_(slot)
{
    context_.Stop = &stop_;
    context_.Notice = [&run](const std::string& text) { run.Notice(text); };
}

TKNUpdateWorker::~TKNUpdateWorker() = default;

// The sides the run writes are reached at once: a run that cannot write ends before anything.
// A side only read from is reached when first read: a plan of deletions alone never needs it.
void TKNUpdateWorker::Connect(bool reachRead)
{
    for (bool right : {false, true}) sides_[right ? 1 : 0] = run_.OpenWorkerSide(run_.Location(right), context_);
    if (run_.FileCompare.UpdateDryRun) return;
    for (bool right : {false, true})
        if (WritesSide(run_.Direction, right)) Reached(right);
    for (bool right : {false, true})
        if (reachRead && !WritesSide(run_.Direction, right)) Reached(right);
}

TKNSide& TKNUpdateWorker::Reached(bool right)
{
    const int i = right ? 1 : 0;
    if (!connected_[i]) {
        if (TKNSideResult connected = sides_[i]->Connect(); !connected)
            throw TKNConnectError(connected.Kind, connected.Message);
        connected_[i] = true;
    }
    return *sides_[i];
}

TKNOpResult TKNUpdateWorker::Carry(const TKNOp& op, std::size_t index)
{
    TStep step;
    if (!Begin(step, op, index)) return step.Event.Result;
    Finish(step, Run(step));
    NoteModes(op.WritesRight);
    return step.Event.Result;
}

int TKNUpdateWorker::FilesAtOnce() const
{
    if (run_.FileCompare.UpdateDryRun || !connected_[0] || !connected_[1]) return 1;
    return FilesPerGroup(sides_[0]->Caps(), sides_[1]->Caps());
}

// Both sides are reached before any copy begins, so a side that cannot be reached hands the
// whole group back untouched. Copies that end in their checks end at once; the others end
// after the group's streams are closed, in the group's order.
void TKNUpdateWorker::CarryGroup(const std::vector<std::size_t>& indexes)
{
    Reached(false);
    Reached(true);
    std::vector<TStep> steps(indexes.size());
    std::vector<TCopy> carried;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        TStep& step = steps[i];
        if (!Begin(step, run_.Ops[indexes[i]], indexes[i])) continue;
        TCopy copy;
        copy.Step = &step;
        TDone checked = DotEntryUnknown(step) ? LeftAlone(step) : CheckCopy(copy);
        if (checked.Kind != TKNSideError::None || MadeWithoutBytes(copy, checked))
            Finish(step, checked);
        else
            carried.push_back(std::move(copy));
    }
    Transfer(carried);
    for (TCopy& copy : carried) Finish(*copy.Step, Concluded(copy));
    for (bool right : {false, true}) NoteModes(right);
}

// The step of an operation: its pair's records, named by whichever record the comparison
// listed. One that waits for a copy that was not made ends here, skipped.
bool TKNUpdateWorker::Begin(TStep& step, const TKNOp& op, std::size_t index)
{
    step.Op = &op;
    step.Index = index;
    step.Written = op.Pair ? (op.WritesRight ? &op.Pair->Right : &op.Pair->Left) : &kAbsent;
    step.Read = op.Pair ? (op.WritesRight ? &op.Pair->Left : &op.Pair->Right) : &kAbsent;
    if (op.Pair) step.Event.Row = *op.Pair;
    step.Event.NewPath = op.NewPath;
    if (!Prepare(step, op.Path)) return false;
    if (op.Folder) step.Event.Path += '/';
    // A copy waiting for another name of its file is copied whole when that one failed.
    if (op.After < 0 || IsCopy(run_.Ops[static_cast<std::size_t>(op.After)].Op) ||
        run_.Succeeded(static_cast<std::size_t>(op.After)))
        return true;
    const TKNOperation first = run_.Ops[static_cast<std::size_t>(op.After)].Op;
    TDone left{
        TKNSideError::Other,
        Format(first == TKNOperation::Backup         ? "\"%s\" was left as it was: its backup could not be made."
               : first == TKNOperation::RemoveFolder ? "\"%s\" was not made: the folder in its place is still there."
                                                     : "\"%s\" was left as it was: its present version could not be "
                                                       "moved aside.",
               step.ShownWritten)};
    left.Skipped = true;
    left.Counted = false;
    Finish(step, left);
    return false;
}

void TKNUpdateWorker::NoteModes(bool right)
{
    if (connected_[right ? 1 : 0] && !Side(right).Caps().SetMode) run_.ModesNotKept(right);
}

// Only a group pauses between phases with copies waiting; a lone copy goes on until its side
// sees the stop flag, as it always did.
bool TKNUpdateWorker::Stopping(const std::vector<TCopy>& copies) const
{
    return copies.size() > 1 && (stop_ || run_.StopRequested());
}

TKNUpdateWorker::TDone TKNUpdateWorker::RemoveStaleTemp(TStep& step)
{
    // A user's file: never removed as a left-over.
    if (!IsOwnTempName(step.Path.Leaf())) return {TKNSideError::BadName, {}, true};
    return Delete(step, TKNExpected{});
}

// Names the step's paths and raises the row progress. A path whose names are not plain names
// on the written side fails the step at once.
bool TKNUpdateWorker::Prepare(TStep& step, const std::string& relative)
{
    stop_ = run_.StopRequested();
    const bool right = step.Op->WritesRight;
    step.Event.Op = step.Op->Op;
    step.Event.WritesRight = right;
    step.Event.Path = relative;
    std::string problem;
    bool plain = TKNSidePath::FromRelative(relative, step.Path, problem);
    for (const std::string& name : step.Path.Names()) {
        if (!plain) break;
        problem = NameProblem(name, Side(right).Caps().ForbiddenInNames);
        plain = problem.empty();
    }
    auto shown = [&](bool side) {
        return plain ? Side(side).Shown(step.Path) : Side(side).Shown(TKNSidePath()) + "/" + relative;
    };
    step.ShownRead = shown(!right);
    step.ShownWritten = shown(right);
    run_.Reports.Step(step.ShownWritten);
    if (plain) return true;
    TDone bad{TKNSideError::BadName, problem};
    if (IsCopy(step.Op->Op)) bad.Message = MsgCopyFailed(step.ShownRead, step.ShownWritten, problem);
    Finish(step, bad);
    return false;
}

// The step's event and outcome: counted as done, or a failure reported with its message. A
// step skipped because its entry changed counts as a failure too: the user's wish was not
// carried out.
void TKNUpdateWorker::Finish(TStep& step, const TDone& done)
{
    TKNOpEvent& event = step.Event;
    const bool ok = done.Kind == TKNSideError::None;
    event.ErrorKind = done.Kind;
    event.Message = done.Message;
    event.Result =
        !ok ? (done.Kind == TKNSideError::Changed || done.Skipped ? TKNOpResult::Skipped : TKNOpResult::Failed)
        : run_.FileCompare.UpdateDryRun ? TKNOpResult::Planned
                                        : TKNOpResult::Done;
    run_.Reports.EndBytes(slot_);
    const TKNOperation op = step.Op->Op;
    const bool readsSource = IsCopy(op) || op == TKNOperation::CreateFolder || op == TKNOperation::SetAttributes ||
                             op == TKNOperation::SetTime;
    run_.Record(step.Index, event,
                ok || !done.Counted ? TKNUpdateFailure{}
                                    : TKNUpdateFailure{op, readsSource ? step.ShownRead : std::string(),
                                                       step.ShownWritten, done.Message},
                step.Facts);
}

TKNUpdateWorker::TDone TKNUpdateWorker::Run(TStep& step)
{
    const TKNOp& op = *step.Op;
    if (run_.FileCompare.UpdateDryRun) {
        // A planned copy names the bytes it would move.
        if (IsCopy(op.Op)) step.Event.Bytes = step.Read->Size;
        if (op.Op != TKNOperation::Backup) Describe(step);
        return {};
    }
    TKNSide& written = Reached(op.WritesRight);
    if (DotEntryUnknown(step)) return LeftAlone(step);
    if (!op.Pair && op.Op != TKNOperation::Backup) return RemoveStaleTemp(step);
    auto fail = [&](const TKNSideResult& r, std::string (*message)(const std::string&, const std::string&)) {
        return r ? TDone{} : TDone{r.Kind, message(step.ShownWritten, Reason(r, step.ShownWritten))};
    };
    switch (op.Op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
            return Copy(step);
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            return Delete(step, ExpectedOfRecord(*step.Written));
        case TKNOperation::CreateFolder:
            return MakeFolder(step);
        case TKNOperation::RemoveFolder:
            return fail(written.RemoveFolder(step.Path), MsgDeleteFolderFailed);
        case TKNOperation::SetAttributes:
            return SetAttributes(step);
        case TKNOperation::SetTime: {
            const TKNSideEntry source = Source(step);
            return fail(written.SetTime(step.Path, source.MTime, source.MTimeNsec), MsgSetTimeFailed);
        }
        case TKNOperation::Rename:
        case TKNOperation::MoveAside:
            return Rename(step);
        case TKNOperation::CopyWithin:
            return CopyWithin(step);
        case TKNOperation::Backup:
            return Backup(step);
        case TKNOperation::Nothing:
        case TKNOperation::Record:
        case TKNOperation::Forget:
        case TKNOperation::Keep:
        case TKNOperation::Conflict:
            break;
    }
    return {};
}

TKNUpdateWorker::TDone TKNUpdateWorker::Delete(TStep& step, const TKNExpected& expected)
{
    TKNSideEntry current;
    if (TDone d = Unchanged(step, expected, current); d.Kind != TKNSideError::None) return d;
    const TKNSideResult removed = Reached(step.Op->WritesRight).RemoveFile(step.Path, ExpectedOf(current));
    if (removed) return {};
    if (removed.Kind == TKNSideError::Changed) return {removed.Kind, removed.Message};
    return {removed.Kind, MsgDeleteFileFailed(step.ShownWritten, Reason(removed, step.ShownWritten))};
}

// Either side may learn during the run that it hides such names (a listing, an upload): the
// comparison's view of them on that side was then incomplete, so the row is not acted on.
bool TKNUpdateWorker::DotEntryUnknown(const TStep& step)
{
    return HasDotName(step.Path) && (!Side(false).Caps().DotEntries || !Side(true).Caps().DotEntries);
}

TKNUpdateWorker::TDone TKNUpdateWorker::LeftAlone(const TStep& step) const
{
    TDone done{TKNSideError::Unsupported,
               Format("\"%s\" was left alone: a side does not list names that begin with \".\", so what is "
                      "there is unknown.",
                      step.ShownWritten)};
    done.Skipped = true;
    return done;
}

bool TKNUpdateWorker::NewPathOf(TStep& step, TKNSidePath& to, std::string& shownTo, TDone& failed,
                                std::string (*message)(const std::string&, const std::string&, const std::string&))
{
    TKNSide& written = Reached(step.Op->WritesRight);
    std::string problem;
    bool plain = TKNSidePath::FromRelative(step.Op->NewPath, to, problem);
    for (const std::string& name : to.Names()) {
        if (!plain) break;
        problem = NameProblem(name, written.Caps().ForbiddenInNames);
        plain = problem.empty();
    }
    shownTo = plain ? written.Shown(to) : step.Op->NewPath;
    if (!plain) failed = {TKNSideError::BadName, message(step.ShownWritten, shownTo, problem)};
    return plain;
}

// The entry must still be what the comparison saw; the new path is made of plain names and
// the side never replaces what may have appeared there.
TKNUpdateWorker::TDone TKNUpdateWorker::Rename(TStep& step)
{
    TKNSideEntry current;
    if (TDone d = Unchanged(step, ExpectedOfRecord(*step.Written), current); d.Kind != TKNSideError::None) return d;
    TKNSidePath to;
    std::string shownTo;
    TDone failed;
    if (!NewPathOf(step, to, shownTo, failed, MsgRenameFailed)) return failed;
    TKNSide& written = Reached(step.Op->WritesRight);
    const TKNSideResult renamed = written.Rename(step.Path, to);
    if (!renamed)
        return {renamed.Kind, MsgRenameFailed(step.ShownWritten, shownTo, Reason(renamed, step.ShownWritten, shownTo))};
    // A rename moves a file's change time: a state records the entry as it now stands.
    if (run_.KeepsState() && written.Caps().ChangeTimes)
        step.Facts.Known = static_cast<bool>(written.Stat(to, step.Facts.Written)) && !step.Facts.Written.Link;
    return {};
}

// The side copies the entry itself; the new path must still be free, as for a new file.
TKNUpdateWorker::TDone TKNUpdateWorker::CopyWithin(TStep& step)
{
    TKNSideEntry current;
    if (TDone d = Unchanged(step, ExpectedOfRecord(*step.Written), current); d.Kind != TKNSideError::None) return d;
    TKNSidePath to;
    std::string shownTo;
    TDone failed;
    if (!NewPathOf(step, to, shownTo, failed, MsgCopyFailed)) return failed;
    TKNWriteTerms terms;
    terms.Size = current.Size;
    terms.MTime = current.MTime;
    terms.MTimeNsec = current.MTimeNsec;
    terms.Mode = current.ModeKnown ? static_cast<int>(current.Mode) : -1;
    terms.Replaces = ExpectedAbsent();
    const TKNSideResult copied = Reached(step.Op->WritesRight).CopyWithin(step.Path, to, terms);
    if (copied) return {};
    return {copied.Kind, MsgCopyFailed(step.ShownWritten, shownTo, Reason(copied, step.ShownWritten, shownTo))};
}

// A run that keeps a state records the written file as its side holds it: a side that keeps
// the times it is given and tells no change times holds what was asked; any other is asked
// (a local stat costs nothing, and a server that sets its own times must be asked anyway).
void TKNUpdateWorker::LearnWritten(TStep& step, const TKNWriteTerms& terms)
{
    if (!run_.KeepsState()) return;
    if (step.Hasher) step.Facts.Hash = step.Hasher->FinishHex();
    TKNSide& written = Reached(step.Op->WritesRight);
    const TKNSideCaps& caps = written.Caps();
    TKNSideEntry& entry = step.Facts.Written;
    // A link takes the time it is made at wherever the side cannot set a link's own.
    if (caps.KeepsTimes && !caps.ChangeTimes && terms.MTime >= 0 && !step.Read->Link) {
        entry.Name = step.Path.Leaf();
        entry.Size = terms.Size;
        entry.MTime = terms.MTime;
        entry.MTimeNsec = terms.MTimeNsec;
        entry.TimeStep = caps.TimeStep;
        entry.ModeKnown = terms.Mode >= 0 && caps.SetMode;
        entry.Mode = entry.ModeKnown ? static_cast<uint32_t>(terms.Mode) : 0;
        step.Facts.Known = true;
        return;
    }
    step.Facts.Known = static_cast<bool>(written.Stat(step.Path, entry)) && entry.Link == step.Read->Link;
    if (entry.Link) entry = LinkItself(entry);
}

TKNUpdateWorker::TDone TKNUpdateWorker::Unchanged(TStep& step, const TKNExpected& expected, TKNSideEntry& current)
{
    const TKNSideResult stat = Reached(step.Op->WritesRight).Stat(step.Path, current);
    TKNSideResult checked = CheckExpected(expected, stat, current, step.ShownWritten);
    if (checked && !stat) checked = stat;  // nothing to back up or remove
    if (checked) return {};
    if (checked.Kind == TKNSideError::Changed) return {checked.Kind, checked.Message};
    return {checked.Kind, IsCopy(step.Op->Op)
                              ? MsgCopyFailed(step.ShownRead, step.ShownWritten, Reason(checked, step.ShownWritten))
                              : MsgDeleteFileFailed(step.ShownWritten, Reason(checked, step.ShownWritten))};
}

// The entry about to be replaced or deleted, as the comparison saw it, into the backup folder:
// the operation that replaces it waits for this one.
TKNUpdateWorker::TDone TKNUpdateWorker::Backup(TStep& step)
{
    // A left-over temporary file has no record: it is kept as it is.
    const TKNExpected expected = step.Op->Pair ? ExpectedOfRecord(*step.Written) : TKNExpected{};
    TKNSideEntry current;
    if (TDone d = Unchanged(step, expected, current); d.Kind != TKNSideError::None) return d;
    return BackUp(step, current);
}

// <backup folder>/Right|Left/<the entry's path below the written root>, through a local side
// like any other file. Its folders are made on the way with the modes of the folders they
// stand for, so a private folder's names stay private there.
TKNUpdateWorker::TDone TKNUpdateWorker::BackUp(TStep& step, const TKNSideEntry& entry)
{
    if (run_.BackupFolder.empty())
        return {TKNSideError::Other,
                MsgCopyFailed(step.ShownWritten, "the backup folder", "no backup folder was made.")};
    const bool right = step.Op->WritesRight;
    TKNSidePath target = TKNSidePath().Child(right ? "Right" : "Left");
    for (const std::string& name : step.Path.Names()) target = target.Child(name);
    auto fail = [&](const TKNSideResult& r) {
        const std::string shown = backup_ ? backup_->Shown(target) : run_.BackupFolder;
        return TDone{r.Kind, MsgCopyFailed(step.ShownWritten, shown, Reason(r, shown, step.ShownWritten))};
    };
    if (!backup_) {
        backup_ = OpenSide(run_.BackupFolder, context_);  // a local folder: the registry's own side
        if (TKNSideResult connected = backup_->Connect(); !connected) {
            TDone failed = fail(connected);
            backup_.reset();
            return failed;
        }
    }
    TKNSide& written = Reached(right);
    TKNSidePath folder, mirrored;
    for (std::size_t i = 0; i + 1 < target.Names().size(); ++i) {
        folder = folder.Child(target.Names()[i]);
        if (i > 0) mirrored = mirrored.Child(target.Names()[i]);
        TKNSideEntry original;
        const bool known = written.Stat(mirrored, original) && original.ModeKnown && original.IsFolder();
        const int mode = known ? static_cast<int>((original.Mode & 0777) | 0700) : 0700;
        if (TKNSideResult made = backup_->MakeFolder(folder, mode); !made) return fail(made);
    }
    TKNWriteTerms terms;
    terms.Size = entry.Size;
    terms.MTime = entry.MTime;
    terms.MTimeNsec = entry.MTimeNsec;
    const bool sameOwner = CopyKeepsOwner(written.Caps(), backup_->Caps(), entry.Uid, WriterUid(*backup_));
    terms.Mode = entry.ModeKnown ? static_cast<int>(ModeForCopy(entry.Mode, sameOwner)) : -1;
    terms.Replaces = ExpectedAbsent();
    if (entry.Link) {
        // A link is kept as a link: nothing is read through it.
        const TKNSideResult made = backup_->MakeLink(target, entry.LinkTarget, terms);
        return made ? TDone{} : fail(made);
    }
    StartTransfer(step, entry.Size);
    const TKNSideResult copied = CopyBetweenSides(written, step.Path, *backup_, target, terms, Moved(step));
    return copied ? TDone{} : fail(copied);
}

TKNUpdateWorker::TDone TKNUpdateWorker::MakeFolder(TStep& step)
{
    const bool right = step.Op->WritesRight;
    const TKNSideEntry source = Source(step);
    const bool sameOwner = CopyKeepsOwner(Side(!right).Caps(), Side(right).Caps(), source.Uid, WriterUid(Side(right)));
    const int mode = source.ModeKnown ? static_cast<int>(ModeForNewFolder(source.Mode, sameOwner)) : -1;
    const TKNSideResult made = Reached(right).MakeFolder(step.Path, mode);
    return made ? TDone{} : TDone{made.Kind, MsgCreateFolderFailed(step.ShownWritten, Reason(made, step.ShownWritten))};
}

// The read-only attribute of the source, as the written entry's own bits without (or with)
// the write bits. The first row to find that the side does not keep them fails (one per worker
// at most, for rows already in work when it is found); the rest are skipped.
TKNUpdateWorker::TDone TKNUpdateWorker::SetAttributes(TStep& step)
{
    TKNSide& written = Reached(step.Op->WritesRight);
    if (!written.Caps().SetMode || !run_.KeepsModes(step.Op->WritesRight)) {
        // Found not to keep permission bits: no permission difference for the rest of the run,
        // and no failure per row; the side said so once.
        TDone quiet{TKNSideError::Unsupported, {}};
        quiet.Skipped = true;
        return quiet;
    }
    TKNSideEntry current;
    TKNSideResult result = written.Stat(step.Path, current);
    if (result) {
        const bool readOnly = (step.Read->Attr & faReadOnly) != 0;
        result =
            written.SetMode(step.Path, ModeForReadOnly(current.Mode, current.ModeKnown, current.IsFolder(), readOnly));
    }
    if (!result && result.Kind == TKNSideError::Unsupported && !written.Caps().SetMode) {
        // This change found it out: the side said so once, and the bits were never a
        // difference it could settle.
        TDone quiet{TKNSideError::Unsupported, {}};
        quiet.Skipped = true;
        return quiet;
    }
    return result ? TDone{}
                  : TDone{result.Kind, MsgSetAttributesFailed(step.ShownWritten, Reason(result, step.ShownWritten))};
}

TKNSideEntry TKNUpdateWorker::Source(TStep& step)
{
    const TKNFileRec& rec = *step.Read;
    if (rec.ModeKnown || rec.MTime != 0) return EntryOfRecord(rec);
    TKNSideEntry entry;
    if (Reached(!step.Op->WritesRight).Stat(step.Path, entry) && !entry.Link) return entry;
    return EntryOfRecord(rec);
}

void TKNUpdateWorker::StartTransfer(TStep& step, int64_t total)
{
    step.Total = total;
    step.Moved = 0;
    run_.Reports.StartBytes(slot_, step.ShownWritten, total);
}

// Each block moved: the byte progress, and the run's stop request handed to the sides.
std::function<void(int64_t)> TKNUpdateWorker::Moved(TStep& step)
{
    return [this, &step](int64_t bytes) {
        step.Moved += bytes;
        if (run_.StopRequested()) stop_ = true;
        run_.Reports.MoreBytes(slot_, step.Moved);
        // The limit holds the worker after its block; a stop ends the wait, and the copy.
        if (run_.Bandwidth && !run_.Bandwidth->Pass(bytes, [this] { return run_.StopRequested(); })) stop_ = true;
    };
}

std::string TKNUpdateWorker::DryRunText(const TStep& step) const
{
    const std::string& target = step.ShownWritten;
    switch (step.Op->Op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
            return "copy " + step.ShownRead + " -> " + target;
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            return "delete " + target;
        case TKNOperation::CreateFolder:
            return "create folder " + target;
        case TKNOperation::RemoveFolder:
            return "remove folder " + target;
        case TKNOperation::SetAttributes:
            return ((step.Read->Attr & faReadOnly) ? "make read-only " : "make writable ") + target;
        case TKNOperation::SetTime:
            return "set time of " + target;
        case TKNOperation::Rename:
        case TKNOperation::MoveAside:
            return "rename " + target + " -> " + step.Op->NewPath;
        case TKNOperation::CopyWithin:
            return "copy " + target + " -> " + step.Op->NewPath;
        case TKNOperation::Backup:
        case TKNOperation::Nothing:
        case TKNOperation::Record:
        case TKNOperation::Forget:
        case TKNOperation::Keep:
        case TKNOperation::Conflict:
            break;
    }
    return {};
}

void TKNUpdateWorker::Describe(const TStep& step)
{
    run_.Reports.DryRun(DryRunText(step));
}

}  // namespace kn
