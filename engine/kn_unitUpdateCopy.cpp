// The copies of an update's worker: each checked, then its streams opened, its bytes moved and
// its file committed, in phases over a group; or made without bytes (a link, another name).
#include <memory>
#include <string>
#include <vector>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitScanProviderSide.h"
#include "engine/kn_unitUpdateStep.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

// A copy's reader whose bytes are hashed on their way (no same-kind fast path then: the bytes
// must pass through here).
class THashingReader final : public TKNReadStream {
public:
    THashingReader(std::unique_ptr<TKNReadStream> inner, TKNHasher& hasher) : inner_(std::move(inner)), hasher_(hasher)
    {
    }
    int64_t Read(char* buffer, std::size_t size, TKNSideResult& result) override
    {
        const int64_t n = inner_->Read(buffer, size, result);
        if (n > 0) hasher_.Update(buffer, static_cast<std::size_t>(n));
        return n;
    }

private:
    std::unique_ptr<TKNReadStream> inner_;
    TKNHasher& hasher_;
};

}  // namespace

TKNUpdateWorker::TDone TKNUpdateWorker::Copy(TStep& step)
{
    std::vector<TCopy> copies(1);
    copies[0].Step = &step;
    if (TDone checked = CheckCopy(copies[0]); checked.Kind != TKNSideError::None) return checked;
    if (TDone made; MadeWithoutBytes(copies[0], made)) return made;
    Transfer(copies);
    return Concluded(copies[0]);
}

// The entry to be overwritten is checked first (its backup, when one is kept, was made by the
// operation this one waited for); the side checks it once more when it puts the new file in
// place. A new file may replace nothing that appeared meanwhile.
TKNUpdateWorker::TDone TKNUpdateWorker::CheckCopy(TCopy& copy)
{
    TStep& step = *copy.Step;
    const bool right = step.Op->WritesRight;
    TKNSide &read = Reached(!right), &written = Reached(right);
    TKNExpected replaces = ExpectedAbsent();
    if (!step.Written->Path.empty()) {
        TKNSideEntry current;
        if (TDone d = Unchanged(step, ExpectedOfRecord(*step.Written), current); d.Kind != TKNSideError::None) return d;
        replaces = ExpectedOf(current);
    }
    const TKNSideEntry source = Source(step);
    TKNWriteTerms& terms = copy.Terms;
    terms.Size = source.Size;
    terms.MTime = source.MTime;
    terms.MTimeNsec = source.MTimeNsec;
    const bool sameOwner = CopyKeepsOwner(read.Caps(), written.Caps(), source.Uid, WriterUid(written));
    terms.Mode = source.ModeKnown ? static_cast<int>(ModeForCopy(source.Mode, sameOwner)) : -1;
    terms.Replaces = replaces;
    return {};
}

bool TKNUpdateWorker::MadeWithoutBytes(TCopy& copy, TDone& done)
{
    return MadeLink(copy, done) || LinkedToEarlierName(copy, done);
}

// A link kept as a link is made with its text on the written side; nothing is read through it.
bool TKNUpdateWorker::MadeLink(TCopy& copy, TDone& done)
{
    TStep& step = *copy.Step;
    if (!step.Read->Link) return false;
    copy.Terms.Mode = -1;
    const TKNSideResult made = Reached(step.Op->WritesRight).MakeLink(step.Path, step.Read->LinkTarget(), copy.Terms);
    if (made) {
        LearnWritten(step, copy.Terms);
        done = {};
    } else {
        done = {made.Kind, made.Kind == TKNSideError::Changed
                               ? made.Message
                               : MsgCopyFailed(step.ShownRead, step.ShownWritten, Reason(made, step.ShownWritten))};
    }
    return true;
}

// A copy that waits for the copy of another name of its file (JoinHardLinks) makes that name on
// the written side instead, once that copy was done; false where the bytes are to be copied.
bool TKNUpdateWorker::LinkedToEarlierName(TCopy& copy, TDone& done)
{
    TStep& step = *copy.Step;
    const TKNOp& op = *step.Op;
    if (op.After < 0) return false;
    const TKNOp& first = run_.Ops[static_cast<std::size_t>(op.After)];
    TKNSide& written = Reached(op.WritesRight);
    TKNSidePath existing;
    std::string why;
    if (!IsCopy(first.Op) || !written.Caps().HardLinks || !run_.Succeeded(static_cast<std::size_t>(op.After)) ||
        !TKNSidePath::FromRelative(first.Path, existing, why))
        return false;
    const TKNSideResult linked = written.HardLink(existing, step.Path, copy.Terms);
    if (linked.Kind == TKNSideError::Unsupported) return false;
    if (linked) {
        LearnWritten(step, copy.Terms);
        done = {};
    } else {
        done = {linked.Kind, MsgCopyFailed(step.ShownRead, step.ShownWritten, Reason(linked, step.ShownWritten))};
    }
    return true;
}

// Every stream is opened before any bytes move, and committed after all of them moved, each
// phase in the copies' order: what a side that carries several files at once expects.
void TKNUpdateWorker::Transfer(std::vector<TCopy>& copies)
{
    OpenStreams(copies);
    MoveBytes(copies);
    CommitStreams(copies);
}

// A failed open closes the copy's other stream; an open that answers late fails at the
// stream's first use instead, with the same result.
void TKNUpdateWorker::OpenStreams(std::vector<TCopy>& copies)
{
    for (TCopy& copy : copies) {
        if (Stopping(copies)) {
            copy.Stopped = true;
            continue;
        }
        const bool right = copy.Step->Op->WritesRight;
        const TKNSidePath& path = copy.Step->Path;
        // An entry reached through a followed link is read where it is.
        TKNSidePath from = path;
        if (std::string why; !ReadFromPath(*copy.Step->Read, from, why))
            copy.Result = TKNSideResult::Fail(TKNSideError::BadName, why);
        if (copy.Result) copy.Result = Side(!right).OpenRead(from, copy.Reader);
        if (copy.Result && run_.KeepsState()) {
            copy.Step->Hasher = std::make_unique<TKNHasher>(TKNHashKind::Sha256);
            copy.Reader = std::make_unique<THashingReader>(std::move(copy.Reader), *copy.Step->Hasher);
        }
        if (copy.Result) copy.Result = Side(right).OpenWrite(path, copy.Terms, copy.Writer);
        if (!copy.Result) {
            copy.Writer.reset();
            copy.Reader.reset();
        }
    }
}

// Each reader is closed once its bytes have moved; a writer that failed is aborted at once.
void TKNUpdateWorker::MoveBytes(std::vector<TCopy>& copies)
{
    for (TCopy& copy : copies) {
        if (!copy.Writer) continue;
        if (Stopping(copies)) {
            copy.Stopped = true;
        } else {
            StartTransfer(*copy.Step, copy.Terms.Size);
            copy.Result = copy.Writer->WriteFrom(*copy.Reader, Moved(*copy.Step));
            if (!copy.Result) copy.Writer->Abort();
        }
        copy.Reader.reset();
        if (copy.Stopped || !copy.Result) copy.Writer.reset();
    }
}

void TKNUpdateWorker::CommitStreams(std::vector<TCopy>& copies)
{
    for (TCopy& copy : copies) {
        if (!copy.Writer) continue;
        if (Stopping(copies))
            copy.Stopped = true;  // destroyed below: aborted
        else
            copy.Result = copy.Writer->Commit();
        copy.Writer.reset();
    }
}

// A copy's outcome as its event tells it.
TKNUpdateWorker::TDone TKNUpdateWorker::Concluded(TCopy& copy)
{
    TStep& step = *copy.Step;
    if (copy.Stopped) {
        TDone stopped{TKNSideError::Stopped, {}};
        stopped.Skipped = true;
        return stopped;
    }
    const TKNSideResult& copied = copy.Result;
    if (copied) {
        step.Event.Bytes = step.Moved;
        LearnWritten(step, copy.Terms);
        return {};
    }
    if (DotEntryUnknown(step)) return LeftAlone(step);  // learned from this very upload
    if (copied.Kind == TKNSideError::Changed && FolderInTheWay(step))
        return {TKNSideError::Exists, MsgCopyFailed(step.ShownRead, step.ShownWritten, "a folder is in the way.")};
    if (copied.Kind == TKNSideError::Changed) return {copied.Kind, copied.Message};
    return {copied.Kind,
            MsgCopyFailed(step.ShownRead, step.ShownWritten, Reason(copied, step.ShownWritten, step.ShownRead))};
}

// A new file refused because a folder holds its name: the comparison saw that folder (a row
// of its own), so it is in the way rather than changed.
bool TKNUpdateWorker::FolderInTheWay(TStep& step)
{
    TKNSideEntry entry;
    return step.Written->Path.empty() && Reached(step.Op->WritesRight).Stat(step.Path, entry) && entry.IsFolder();
}

}  // namespace kn
