// The two-way run (kn_unitTwoWayRun.h): the plan made from a comparison's listings and the
// state, its operations handed to the one executor, and what the state records of each as it
// ends, written behind the workers in batches.
#include "engine/kn_unitTwoWayRun.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <unordered_set>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitContentHash.h"
#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitTwoWayIndex.h"
#include "engine/kn_unitUpdate.h"
#include "framework/vex_unitPathBeneath.h"

namespace kn {

// What the operations of the plan need of one side's listing: its root, and the records at
// their paths (moved along as renames are carried out).
struct TKNTwoWayRun::TSideKept {
    std::string Root;
    std::unordered_map<std::string, TKNFileRec> Records;

    const TKNFileRec* At(const std::string& path) const
    {
        const auto at = Records.find(path);
        return at == Records.end() ? nullptr : &at->second;
    }
};

namespace {

std::string RelativeOf(const TKNFileRec& rec, const std::string& root)
{
    return RelativeToRoot(rec.Name.empty() ? rec.Path.str() : PathJoin(rec.Path, rec.Name), root);
}

// The record under another path below the same root.
TKNFileRec MovedRecord(TKNFileRec rec, const std::string& root, const std::string& path)
{
    if (rec.IsFolder()) {
        rec.Path = PathJoin(root, path);
        return rec;
    }
    const std::size_t slash = path.rfind('/');
    rec.Path = slash == std::string::npos ? root : PathJoin(root, path.substr(0, slash));
    rec.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    return rec;
}

// The facts a listing gives (as TwoWaySideOf takes them from a scan record).
TKNSideFacts FactsOfRecord(const TKNFileRec& rec, bool subSecond)
{
    TKNSideFacts f;
    f.Size = rec.IsFolder() ? 0 : rec.Size;
    f.MTime = rec.MTime;
    f.MTimeNsec = subSecond ? rec.MTimeNsec : -1;
    f.TimeStep = rec.TimeStep <= 2 ? 1 : rec.TimeStep;
    f.Mode = rec.Mode;
    f.ModeKnown = rec.ModeKnown;
    f.Attr = rec.Attr;
    f.Inode = rec.Inode;
    f.CTime = rec.CTime;
    f.CTimeNsec = rec.CTimeNsec;
    return f;
}

TKNSideFacts FactsOfEntry(const TKNSideEntry& entry, uint32_t attr, bool subSecond)
{
    TKNSideFacts f;
    f.Size = entry.IsFolder() ? 0 : entry.Size;
    f.MTime = entry.MTime;
    f.MTimeNsec = subSecond ? entry.MTimeNsec : -1;
    f.TimeStep = entry.TimeStep;
    f.Mode = entry.Mode;
    f.ModeKnown = entry.ModeKnown;
    f.Attr = attr;
    f.Inode = entry.Inode;
    f.CTime = entry.CTime;
    f.CTimeNsec = entry.CTimeNsec;
    return f;
}

const char* SideWord(bool right)
{
    return right ? "right" : "left";
}

std::string ConflictText(const TKNTwoWayConflict& c)
{
    switch (c.Settled) {
        case TKNConflictPolicy::KeepBoth:
            return std::string("Conflict: keep both (the older ") + SideWord(c.LeftNewer) + " as " + c.OlderName + ")";
        case TKNConflictPolicy::Newer:
            return std::string("Conflict: the newer ") + SideWord(!c.LeftNewer) +
                   " kept, the other in the backup folder";
        case TKNConflictPolicy::Left:
        case TKNConflictPolicy::Right:
            return std::string("Conflict: the ") + SideWord(c.Settled == TKNConflictPolicy::Right) +
                   " kept, the other in the backup folder";
        case TKNConflictPolicy::Skip:
            break;
    }
    return "Conflict: skipped" + (c.Reason.empty() ? std::string() : " (" + c.Reason + ")");
}

// `path` up to its first name that begins with "." (what a side that hides such names cannot
// tell); empty when it has none.
std::string_view DotPrefix(std::string_view path)
{
    for (std::size_t at = 0; at < path.size(); at = path.find('/', at) + 1) {
        const std::size_t end = path.find('/', at);
        if (path[at] == '.') return path.substr(0, end);
        if (end == std::string_view::npos) break;
    }
    return {};
}

// The file's bytes as SHA-256, read through its side; empty when it cannot be read.
std::string HashOf(TKNSide& side, const std::string& relative)
{
    TKNSidePath path;
    std::string problem;
    std::unique_ptr<TKNReadStream> stream;
    if (!TKNSidePath::FromRelative(relative, path, problem) || !side.OpenRead(path, stream)) return {};
    TKNHasher hasher(TKNHashKind::Sha256);
    std::vector<char> buffer(1 << 16);
    TKNSideResult result;
    for (;;) {
        const int64_t n = stream->Read(buffer.data(), buffer.size(), result);
        if (n < 0) return {};
        if (n == 0) break;
        hasher.Update(buffer.data(), static_cast<std::size_t>(n));
    }
    return hasher.FinishHex();
}

}  // namespace

int TKNTwoWayOutcome::ExitStatus() const
{
    if (!Refusal.empty()) return 2;
    return Skipped > 0 || Failed > 0 || ConflictsLeftOpen || LeftAlone > 0 || !StateError.empty() ? 1 : 0;
}

TKNTwoWayRun::TKNTwoWayRun(const TKNOptionsRec& options, TKNTwoWaySettings settings)
    : options_(options), settings_(std::move(settings))
{
}

TKNTwoWayRun::~TKNTwoWayRun()
{
    if (loading_.valid()) loading_.wait();
}

std::string TKNTwoWayRun::Refusal() const
{
    if (!ready_) return problem_.empty() ? "The comparison made no two-way plan: nothing is changed." : problem_;
    return RootRefusal(state_, sides_[0], sides_[1]);
}

std::string TKNTwoWayRun::RowPath(const TKNFileCompare& engine, const TMyFileOpt& row)
{
    const bool left = !row.Left.Path.empty();
    return RelativeOf(left ? row.Left : row.Right, (left ? engine.LeftList : engine.RightList).Folder);
}

TKNTwoWayRowDecision TKNTwoWayRun::RowDecision(const TKNFileCompare& engine, int index) const
{
    const TMyFileOpt* row = engine.RowAt(index);
    if (!row) return {};
    const auto at = rows_.find(RowPath(engine, *row));
    return at == rows_.end() ? TKNTwoWayRowDecision{} : at->second;
}

bool TKNTwoWayRun::SettleConflict(const std::string& path, TKNConflictPolicy policy)
{
    bool found = false;
    for (const TKNTwoWayConflict& c : plan_.Conflicts) found = found || c.Path == path;
    if (!found) return false;
    settled_[path] = policy;
    MakePlan();
    return true;
}

// --- Planning -----------------------------------------------------------------------------

void TKNTwoWayRun::Begin(TKNFileCompare& engine)
{
    if (loading_.valid()) loading_.wait();
    ready_ = false;
    problem_.clear();
    plan_ = {};
    rows_.clear();
    settled_.clear();
    kept_[0].reset();
    kept_[1].reset();
    pairs_.clear();
    ignoreHours_ = engine.IgnoreHours;
    engine.LeftList.KeepLeftOut = engine.RightList.KeepLeftOut = true;
    const std::string file = settings_.StateFile.empty() ? DefaultStateFile() : settings_.StateFile;
    for (const TKNFileBuffer* list : {&engine.LeftList, &engine.RightList})
        if (std::string problem = StateFileProblem(file, list->Folder); !problem.empty() && problem_.empty())
            problem_ = problem;
    // The state of the roots as they are; one kept under their texts before becomes theirs.
    const TKNStateKey byText = StateKeyOf(engine.LeftList.Location(), engine.RightList.Location(), options_);
    key_ = byText;
    for (int i = 0; i < 2; ++i) {
        const TKNFileBuffer& list = i ? engine.RightList : engine.LeftList;
        if (!settings_.Roots[i].empty()) (i ? key_.Right : key_.Left) = settings_.Roots[i];
        const std::string place = list.IsRemote() ? std::string() : vex::CanonicalPath(list.Folder);
        (i ? key_.RightPlace : key_.LeftPlace) = place;
    }
    loading_ = std::async(std::launch::async, [this, file, byText] {
        state_.clear();
        if (!problem_.empty()) return false;
        if (!dbOpen_ && !db_.Open(file, loadError_)) return false;
        dbOpen_ = true;
        return db_.Load(key_, match_, state_, loadError_, &byText);
    });
}

void TKNTwoWayRun::Listed(const TKNFileCompare& engine)
{
    try {
        PlanFrom(engine);
    } catch (const std::exception& e) {
        ready_ = false;
        problem_ = e.what();
    }
}

void TKNTwoWayRun::PlanFrom(const TKNFileCompare& engine)
{
    const TKNFileBuffer* lists[2] = {&engine.LeftList, &engine.RightList};
    for (int i = 0; i < 2; ++i)
        if (const TKNSideCaps* caps = lists[i]->Provider->SideCaps()) caps_[i] = *caps;
    auto sideOf = [this, &lists](int i) {
        sides_[i] = TwoWaySideOf(*lists[i], caps_[i], caps_[0].Links && caps_[1].Links);
        for (const std::string& full : lists[i]->LeftOut)
            sides_[i].Unknown.push_back(RelativeToRoot(full, lists[i]->Folder));
        leftOut_[i].assign(sides_[i].Unknown.end() - static_cast<std::ptrdiff_t>(lists[i]->LeftOut.size()),
                           sides_[i].Unknown.end());
    };
    // Both sides at once: each is a pass over its own listing.
    std::future<void> right = std::async(std::launch::async, sideOf, 1);
    sideOf(0);
    right.get();
    const bool loaded = loading_.valid() && loading_.get();
    if (!loaded) {
        if (problem_.empty()) problem_ = loadError_.empty() ? "The state could not be read." : loadError_;
        return;
    }
    for (int i = 0; i < 2; ++i)
        if (lists[i]->Provider->DotEntriesUnknown) DotNamesUnknown(sides_[i], sides_[1 - i]);
    firstRun_ = match_ == TKNStateMatch::None || match_ == TKNStateMatch::OtherOptions;
    MakePlan();
    if ((!plan_.ContentWanted.empty() || !plan_.HashesWanted.empty()) && ReadHashes(engine)) MakePlan();
    KeepRecords(engine);
    ready_ = problem_.empty();
}

// A side that could not show names beginning with "." cannot tell whether such entries are
// there: every such path the state or the other side knows is unknown on it.
void TKNTwoWayRun::DotNamesUnknown(TKNTwoWaySide& hiding, const TKNTwoWaySide& other) const
{
    std::unordered_set<std::string_view> prefixes;
    for (const TKNStateEntry& e : state_) prefixes.insert(DotPrefix(e.Path));
    for (const TKNListedEntry& e : other.Entries) prefixes.insert(DotPrefix(e.Path));
    for (std::string_view prefix : prefixes)
        if (!prefix.empty()) hiding.Unknown.emplace_back(prefix);
}

void TKNTwoWayRun::MakePlan()
{
    TKNTwoWayOptions options;
    options.Rules.FirstRun = firstRun_;
    options.Rules.IgnoreHours = ignoreHours_;
    options.Policy = settings_.Policy;
    options.Settled = settled_;
    options.Caps[0] = caps_[0];
    options.Caps[1] = caps_[1];
    plan_ = PlanTwoWay(state_, sides_[0], sides_[1], options);
    IndexRows();
}

// The pairs whose bytes would tell them equal, and the files whose bytes would confirm a move,
// are read through their sides; true when any hash was read.
bool TKNTwoWayRun::ReadHashes(const TKNFileCompare& engine)
{
    std::atomic<bool> stop{false};
    TKNSideContext context;
    context.Stop = &stop;
    std::unique_ptr<TKNSide> sides[2];
    std::unordered_map<std::string_view, TKNListedEntry*> byPath[2];
    for (int i = 0; i < 2; ++i) {
        sides[i] = OpenSide((i ? engine.RightList : engine.LeftList).Location(), context);
        if (TKNSideResult connected = sides[i]->Connect(); !connected) {
            problem_ = connected.Message;
            return false;
        }
        for (TKNListedEntry& e : sides_[i].Entries) byPath[i].emplace(e.Path, &e);
    }
    auto read = [&](int i, const std::string& path) {
        const auto at = byPath[i].find(path);
        if (at == byPath[i].end() || at->second->Kind != TKNEntryKind::File) return false;
        if (at->second->Facts.Hash.empty()) at->second->Facts.Hash = HashOf(*sides[i], path);
        return !at->second->Facts.Hash.empty();
    };
    bool any = false;
    for (const std::string& path : plan_.ContentWanted) {
        if (engine.Stop != 0) break;
        if (!byPath[0].count(path) || !byPath[1].count(path)) continue;
        if (read(0, path) && read(1, path)) any = true;
    }
    for (const TKNHashWanted& wanted : plan_.HashesWanted) {
        if (engine.Stop != 0) break;
        if (read(wanted.Left ? 0 : 1, wanted.Path)) any = true;
    }
    return any;
}

// The records of every path an operation or a conflict touches, from both listings: the
// updater checks each entry against them before it is replaced or removed.
void TKNTwoWayRun::KeepRecords(const TKNFileCompare& engine)
{
    std::unordered_set<std::string> wanted;
    for (const TKNOp& op : plan_.Ops) wanted.insert(op.Path);
    for (const TKNTwoWayConflict& c : plan_.Conflicts) wanted.insert(c.Path);
    for (int i = 0; i < 2; ++i) {
        const TKNFileBuffer& list = i ? engine.RightList : engine.LeftList;
        kept_[i] = std::make_unique<TSideKept>();
        kept_[i]->Root = list.Folder;
        if (wanted.empty()) continue;
        for (const TKNFileRec* rec : list.Items)
            if (std::string path = RelativeOf(*rec, list.Folder); wanted.count(path) != 0)
                kept_[i]->Records.emplace(std::move(path), *rec);
    }
}

void TKNTwoWayRun::IndexRows()
{
    rows_.clear();
    auto set = [this](const std::string& path, TKNOperation op, bool right, std::string text) {
        TKNTwoWayRowDecision& d = rows_[path];
        d.Op = op;
        d.WritesRight = right;
        d.Text = std::move(text);
    };
    for (const TKNOp& op : plan_.Ops) {
        const std::string side = SideWord(op.WritesRight);
        switch (op.Op) {
            case TKNOperation::CreateFolder:
                set(op.Path, op.Op, op.WritesRight, "Create the folder on the " + side);
                break;
            case TKNOperation::CopyLeftToRight:
            case TKNOperation::CopyRightToLeft:
                set(op.Path, op.Op, op.WritesRight,
                    std::string(op.WritesRight ? "Copy left to right" : "Copy right to left") +
                        (op.KeepOld ? " (the older file kept in the backup folder)" : ""));
                break;
            case TKNOperation::DeleteLeft:
            case TKNOperation::DeleteRight:
            case TKNOperation::RemoveFolder:
                set(op.Path, op.Op, op.WritesRight, "Delete on the " + side);
                break;
            case TKNOperation::Rename:
            case TKNOperation::CopyWithin:
                for (const std::string* path : {&op.Path, &op.NewPath})
                    set(*path, op.Op, op.WritesRight, "Move on the " + side + ": " + op.Path + " -> " + op.NewPath);
                break;
            case TKNOperation::SetTime:
                set(op.Path, op.Op, op.WritesRight, "Equal bytes: set the time on the " + side);
                break;
            default:  // a conflict's version moved aside: the conflict tells it
                break;
        }
    }
    for (const TKNStateEntry& r : plan_.Records) set(r.Path, TKNOperation::Record, false, "Equal: recorded");
    for (const std::string& path : plan_.Kept) set(path, TKNOperation::Keep, false, "Kept: a side cannot tell");
    for (const TKNTwoWayConflict& c : plan_.Conflicts) {
        set(c.Path, TKNOperation::Conflict, false, ConflictText(c));
        rows_[c.Path].Policy = c.Settled;
    }
}

// --- Carrying out -------------------------------------------------------------------------

// What the state keeps of each operation that ended done, written behind the workers in
// transactions of at most 256 of them or one second: whatever a kill leaves unrecorded, the next
// run finds in line on both sides and records.
class TKNTwoWayRun::TRecorder {
public:
    TRecorder(TKNTwoWayRun& twoWay, TKNUpdateThread& run) : tw_(twoWay), run_(run) {}

    // Any worker, as operation `index` of the executor's list ended done.
    void Ended(std::size_t index, const TKNOpFacts& facts);
    // The workers have ended: what is pending, then the plan's records and forgets.
    void Finish();

private:
    void Copied(const TKNOp& op, const TKNOpFacts& facts);
    // Writes what is pending (the lock held); throws when the state cannot be written.
    void Flush();

    TKNTwoWayRun& tw_;
    TKNUpdateThread& run_;
    std::mutex mutex_;
    std::vector<TKNStateEntry> records_;
    std::vector<std::string> forgets_;
    // The versions moved aside, as they stand at their new paths, for the copies across.
    std::unordered_map<std::string, TKNSideFacts> aside_;
    std::chrono::steady_clock::time_point flushed_ = std::chrono::steady_clock::now();
};

void TKNTwoWayRun::TRecorder::Ended(std::size_t index, const TKNOpFacts& facts)
{
    const TKNOp& op = run_.Ops[index];
    if (op.Key < 0) return;  // a backup, a left-over temporary: nothing of the plan
    const std::vector<TKNStateEntry>& planned = tw_.plan_.OpRecords[static_cast<std::size_t>(op.Key)];
    std::lock_guard<std::mutex> lock(mutex_);
    switch (op.Op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
        case TKNOperation::CreateFolder:
            Copied(op, facts);
            break;
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
        case TKNOperation::RemoveFolder:
            forgets_.push_back(op.Path);
            break;
        case TKNOperation::Rename:
            forgets_.push_back(op.Path);
            records_.insert(records_.end(), planned.begin(), planned.end());
            // A file's rename changed its change time on the side renamed.
            if (facts.Known && !op.Folder && !records_.empty()) {
                TKNSideFacts& renamed = op.WritesRight ? records_.back().Right : records_.back().Left;
                const std::string hash = renamed.Hash;
                renamed = FactsOfEntry(facts.Written, renamed.Attr, tw_.caps_[op.WritesRight ? 1 : 0].ChangeTimes);
                renamed.Hash = hash;
            }
            break;
        case TKNOperation::CopyWithin:  // its deletion forgets the old path
        case TKNOperation::SetTime:
            records_.insert(records_.end(), planned.begin(), planned.end());
            break;
        case TKNOperation::MoveAside:  // recorded by its copy across
            if (facts.Known)
                aside_[op.NewPath] = FactsOfEntry(facts.Written, (op.WritesRight ? op.Pair->Right : op.Pair->Left).Attr,
                                                  tw_.caps_[op.WritesRight ? 1 : 0].ChangeTimes);
            break;
        default:
            break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (records_.size() + forgets_.size() >= 256 || now - flushed_ > std::chrono::seconds(1)) Flush();
}

// A copy records the source as listed and the written entry as the worker learned it, with the
// hash of the bytes it moved; when the written entry is not known nothing is recorded, and the
// next run finds the pair and records it.
void TKNTwoWayRun::TRecorder::Copied(const TKNOp& op, const TKNOpFacts& facts)
{
    const TKNFileRec& source = op.WritesRight ? op.Pair->Left : op.Pair->Right;
    if (source.Path.empty() || (!facts.Known && !op.Folder)) return;
    const int w = op.WritesRight ? 1 : 0;
    TKNStateEntry record;
    record.Path = op.Path;
    record.Kind = op.Folder ? TKNEntryKind::Folder : TKNEntryKind::File;
    const auto aside = aside_.find(op.Path);
    TKNSideFacts read = aside != aside_.end() ? aside->second : FactsOfRecord(source, tw_.caps_[1 - w].ChangeTimes);
    TKNSideFacts written = facts.Known ? FactsOfEntry(facts.Written, source.Attr, tw_.caps_[w].ChangeTimes) : read;
    read.Hash = written.Hash = facts.Hash;
    record.Left = op.WritesRight ? read : written;
    record.Right = op.WritesRight ? written : read;
    records_.push_back(std::move(record));
}

void TKNTwoWayRun::TRecorder::Flush()
{
    flushed_ = std::chrono::steady_clock::now();
    if (records_.empty() && forgets_.empty()) return;
    std::string error;
    if (!tw_.db_.Apply(tw_.key_, records_, forgets_, error)) {
        tw_.outcome_.StateError = error;
        throw std::runtime_error(error);
    }
    records_.clear();
    forgets_.clear();
}

void TKNTwoWayRun::TRecorder::Finish()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Flush();
    // Pairs found equal and paths gone from both sides are so whatever the operations did.
    const TKNTwoWayPlan& plan = tw_.plan_;
    std::string error;
    if ((plan.Records.empty() && plan.Forgets.empty()) || tw_.db_.Apply(tw_.key_, plan.Records, plan.Forgets, error))
        return;
    tw_.outcome_.StateError = error;
    throw std::runtime_error(error);
}

// The pair an operation acts on: both sides' records at its path as listed. A copy over a
// version that was moved aside first finds nothing on that side; the copy across of that
// version reads it under its new name.
const TMyFileOpt* TKNTwoWayRun::PairOf(const TKNOp& op)
{
    const TKNOp* aside = op.After >= 0 ? &plan_.Ops[static_cast<std::size_t>(op.After)] : nullptr;
    const bool over = aside && aside->Path == op.Path;
    std::unique_ptr<TMyFileOpt>& pair = pairs_[op.Path + (over ? std::string(1, '\0') : std::string())];
    if (pair) return pair.get();
    pair = std::make_unique<TMyFileOpt>();
    for (int i = 0; i < 2; ++i)
        if (const TKNFileRec* rec = kept_[i]->At(op.Path)) (i ? pair->Right : pair->Left) = *rec;
    if (over) (aside->WritesRight ? pair->Right : pair->Left) = TKNFileRec();
    if (aside && !over) {
        const TSideKept& side = *kept_[aside->WritesRight ? 1 : 0];
        if (const TKNFileRec* older = side.At(aside->Path))
            (aside->WritesRight ? pair->Right : pair->Left) = MovedRecord(*older, side.Root, op.Path);
    }
    return pair.get();
}

// Paths left alone that the comparison shows (a side could not tell what is there: a folder it
// could not list, a link): what a filter leaves out is no row and no part of the run.
int64_t TKNTwoWayRun::Unsettled() const
{
    int64_t count = 0;
    for (const std::string& path : plan_.Kept) {
        bool filtered = false;
        for (const auto& leftOut : leftOut_)
            for (const std::string& out : leftOut) filtered = filtered || PathAtOrBeneath(path, out);
        if (!filtered) ++count;
    }
    return count;
}

void TKNTwoWayRun::Prepare(TKNUpdateThread& run)
{
    outcome_ = {};
    outcome_.Refusal = Refusal();
    if (!outcome_.Refusal.empty()) throw std::runtime_error(outcome_.Refusal);
    outcome_.ConflictsLeftOpen = plan_.ConflictsLeftOpen();
    outcome_.LeftAlone = Unsettled();
    pairs_.clear();
    run.Ops = plan_.Ops;
    for (TKNOp& op : run.Ops) op.Pair = PairOf(op);
    TKNFileCompare& engine = run.FileCompare;
    for (bool right : {false, true})
        for (std::string& relative : OwnStaleTemps(right ? engine.RightList : engine.LeftList)) {
            TKNOp& op = run.Ops.emplace_back();
            op.Op = right ? TKNOperation::DeleteRight : TKNOperation::DeleteLeft;
            op.WritesRight = right;
            op.Path = std::move(relative);
        }
    if (engine.UpdateDryRun) return;
    recorder_ = std::make_unique<TRecorder>(*this, run);
    run.OnOpEnded = [recorder = recorder_.get()](std::size_t index, const TKNOpFacts& facts) {
        recorder->Ended(index, facts);
    };
}

void TKNTwoWayRun::Carried(TKNUpdateThread& run)
{
    for (std::size_t i = 0; i < run.Ops.size(); ++i) {
        const std::optional<TKNOpResult> result = run.Result(i);
        if (result == TKNOpResult::Skipped) ++outcome_.Skipped;
        if (result == TKNOpResult::Failed) ++outcome_.Failed;
    }
    if (!recorder_) return;  // a dry run changes nothing, the plan included
    std::unique_ptr<TRecorder> recorder = std::move(recorder_);
    run.OnOpEnded = nullptr;
    recorder->Finish();
    ready_ = false;
    problem_ = "the plan was carried out; compare again for the next one.";
    rows_.clear();
}

}  // namespace kn
