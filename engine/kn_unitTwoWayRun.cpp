// The two-way run (kn_unitTwoWayRun.h): the plan made from a comparison's listings and the
// state, and its operations carried out one at a time through the updater, each followed by
// what the state records of it.
#include "engine/kn_unitTwoWayRun.h"

#include <chrono>
#include <stdexcept>
#include <unordered_set>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitContentHash.h"
#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitUpdate.h"
#include "framework/vex_unitCounts.h"

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
TKNSideFacts FactsOfRecord(const TKNFileRec& rec)
{
    TKNSideFacts f;
    f.Size = rec.IsFolder() ? 0 : rec.Size;
    f.MTime = rec.MTime;
    f.TimeStep = rec.TimeStep <= 2 ? 1 : rec.TimeStep;
    f.Mode = rec.Mode;
    f.ModeKnown = rec.ModeKnown;
    f.Attr = rec.Attr;
    f.Inode = rec.Inode;
    return f;
}

TKNSideFacts FactsOfEntry(const TKNSideEntry& entry, uint32_t attr)
{
    TKNSideFacts f;
    f.Size = entry.IsFolder() ? 0 : entry.Size;
    f.MTime = entry.MTime;
    f.TimeStep = entry.TimeStep;
    f.Mode = entry.Mode;
    f.ModeKnown = entry.ModeKnown;
    f.Attr = attr;
    f.Inode = entry.Inode;
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
    return Skipped > 0 || Failed > 0 || ConflictsLeftOpen || !StateError.empty() ? 1 : 0;
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
    std::string refusal = RootRefusal(state_, sides_[0], sides_[1]);
    if (refusal.empty() && ExceedsMaxDelete(plan_, settings_.MaxDelete))
        refusal = "The run would delete " + vex::CountOf(plan_.Totals.Deletions(), "entry", "entries") +
                  ", more than " + std::to_string(settings_.MaxDelete) + " (--max-delete): nothing is changed.";
    return refusal;
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
    ignoreHours_ = engine.IgnoreHours;
    engine.LeftList.KeepLeftOut = engine.RightList.KeepLeftOut = true;
    const std::string file = settings_.StateFile.empty() ? DefaultStateFile() : settings_.StateFile;
    for (const TKNFileBuffer* list : {&engine.LeftList, &engine.RightList})
        if (std::string problem = StateFileProblem(file, list->Folder); !problem.empty() && problem_.empty())
            problem_ = problem;
    key_ = StateKeyOf(engine.LeftList.Location(), engine.RightList.Location(), options_);
    loading_ = std::async(std::launch::async, [this, file] {
        state_.clear();
        if (!problem_.empty()) return false;
        if (!dbOpen_ && !db_.Open(file, loadError_)) return false;
        dbOpen_ = true;
        return db_.Load(key_, match_, state_, loadError_);
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
    auto sideOf = [this, &lists](int i) {
        sides_[i] = TwoWaySideOf(*lists[i], !lists[i]->IsRemote());
        for (const std::string& full : lists[i]->LeftOut)
            sides_[i].Unknown.push_back(RelativeToRoot(full, lists[i]->Folder));
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
    if (!plan_.ContentWanted.empty() && ReadHashes(engine)) MakePlan();
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
    plan_ = PlanTwoWay(state_, sides_[0], sides_[1], options);
    IndexRows();
}

// The pairs whose bytes would tell them equal are read through their sides; true when any
// hash was read.
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
    bool any = false;
    for (const std::string& path : plan_.ContentWanted) {
        if (engine.Stop != 0) break;
        TKNListedEntry* entries[2] = {byPath[0][path], byPath[1][path]};
        if (!entries[0] || !entries[1]) continue;
        std::string hashes[2] = {HashOf(*sides[0], path), HashOf(*sides[1], path)};
        if (hashes[0].empty() || hashes[1].empty()) continue;
        entries[0]->Facts.Hash = hashes[0];
        entries[1]->Facts.Hash = hashes[1];
        any = true;
    }
    return any;
}

// The records of every path an operation or a conflict touches, from both listings: the
// updater checks each entry against them before it is replaced or removed.
void TKNTwoWayRun::KeepRecords(const TKNFileCompare& engine)
{
    std::unordered_set<std::string> wanted;
    for (const TKNTwoWayOp& op : plan_.Ops) wanted.insert(op.Path);
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
    auto set = [this](const std::string& path, TKNTwoWayRowKind kind, std::string text) {
        TKNTwoWayRowDecision& d = rows_[path];
        d.Kind = kind;
        d.Text = std::move(text);
    };
    for (const TKNTwoWayOp& op : plan_.Ops) {
        const std::string side = SideWord(op.OnRight);
        switch (op.Kind) {
            case TKNTwoWayOpKind::Copy:
                set(op.Path, op.OnRight ? TKNTwoWayRowKind::CopyToRight : TKNTwoWayRowKind::CopyToLeft,
                    op.Folder ? "Create the folder on the " + side
                              : std::string(op.OnRight ? "Copy left to right" : "Copy right to left") +
                                    (op.Backup ? " (the older file kept in the backup folder)" : ""));
                break;
            case TKNTwoWayOpKind::Delete:
                set(op.Path, op.OnRight ? TKNTwoWayRowKind::DeleteRight : TKNTwoWayRowKind::DeleteLeft,
                    "Delete on the " + side);
                break;
            case TKNTwoWayOpKind::Rename:
                if (op.Records.empty()) break;  // a conflict's older file: the conflict tells it
                for (const std::string* path : {&op.Path, &op.NewPath})
                    set(*path, TKNTwoWayRowKind::Move, "Move on the " + side + ": " + op.Path + " -> " + op.NewPath);
                break;
            case TKNTwoWayOpKind::SetTime:
                set(op.Path, TKNTwoWayRowKind::SetTime, "Equal bytes: set the time on the " + side);
                break;
        }
    }
    for (const TKNStateEntry& r : plan_.Records) set(r.Path, TKNTwoWayRowKind::Record, "Equal: recorded");
    for (const std::string& path : plan_.Kept) set(path, TKNTwoWayRowKind::Kept, "Kept: a side cannot tell");
    for (const TKNTwoWayConflict& c : plan_.Conflicts) {
        set(c.Path, TKNTwoWayRowKind::Conflict, ConflictText(c));
        rows_[c.Path].Policy = c.Settled;
    }
}

// --- Carrying out -------------------------------------------------------------------------

// One run's operations through one updater, with the state written behind them in batches:
// whatever a kill leaves unrecorded, the next run finds in line on both sides and records.
class TKNTwoWayRun::TCarrier {
public:
    TCarrier(TKNTwoWayRun& twoWay, TKNUpdateThread& run, TKNUpdateWorker& worker)
        : tw_(twoWay), run_(run), worker_(worker), dryRun_(run.FileCompare.UpdateDryRun)
    {
    }

    void Op(const TKNTwoWayOp& op);
    // Writes what is pending; throws when the state cannot be written.
    void Flush();
    // Writes the state-only updates after what is pending, as they are (no copy).
    void Records(const std::vector<TKNStateEntry>& records, const std::vector<std::string>& forgets);

private:
    TKNOpResult Carry(const TKNTwoWayOp& op);
    void Recorded(const TKNTwoWayOp& op);
    void MoveKept(const TKNTwoWayOp& op);
    void RecordCopy(const TKNTwoWayOp& op);

    TKNTwoWayRun& tw_;
    TKNUpdateThread& run_;
    TKNUpdateWorker& worker_;
    const bool dryRun_;
    std::vector<TKNStateEntry> records_;
    std::vector<std::string> forgets_;
    std::chrono::steady_clock::time_point flushed_ = std::chrono::steady_clock::now();
};

void TKNTwoWayRun::TCarrier::Op(const TKNTwoWayOp& op)
{
    const TKNOpResult result = Carry(op);
    if (result == TKNOpResult::Skipped) ++tw_.outcome_.Skipped;
    if (result == TKNOpResult::Failed) ++tw_.outcome_.Failed;
    // A dry run follows the renames too: what comes after them reads the new paths.
    if (op.Kind == TKNTwoWayOpKind::Rename && (result == TKNOpResult::Done || result == TKNOpResult::Planned))
        MoveKept(op);
    if (result != TKNOpResult::Done) return;
    Recorded(op);
    const auto now = std::chrono::steady_clock::now();
    if (records_.size() + forgets_.size() >= 256 || now - flushed_ > std::chrono::seconds(1)) Flush();
}

// The operation as a row of the comparison: the written side's record (what the entry must
// still be), the read side's (the source), and the planned operation.
TKNOpResult TKNTwoWayRun::TCarrier::Carry(const TKNTwoWayOp& op)
{
    const int w = op.OnRight ? 1 : 0;
    const TKNFileRec* current = tw_.kept_[w]->At(op.Path);
    const TKNFileRec* source = tw_.kept_[1 - w]->At(op.Path);
    TMyFileOpt row;
    TKNFileRec& written = op.OnRight ? row.Right : row.Left;
    TKNFileRec& read = op.OnRight ? row.Left : row.Right;
    TKNPlannedOp planned;
    planned.WritesRight = op.OnRight;
    TKNOpTerms terms;
    terms.Backup = op.Backup;
    if (current) written = *current;
    row.Status = op.OnRight ? TKNStatus::Left : TKNStatus::Right;
    switch (op.Kind) {
        case TKNTwoWayOpKind::Copy:
            planned.Op = op.Folder    ? TKNOperation::CreateFolder
                         : op.OnRight ? TKNOperation::CopyLeftToRight
                                      : TKNOperation::CopyRightToLeft;
            break;
        case TKNTwoWayOpKind::Delete:
            planned.Op = op.Folder ? TKNOperation::RemoveFolder
                                   : (op.OnRight ? TKNOperation::DeleteRight : TKNOperation::DeleteLeft);
            break;
        case TKNTwoWayOpKind::Rename:
            planned.Op = TKNOperation::Rename;
            terms.NewPath = op.NewPath;
            break;
        case TKNTwoWayOpKind::SetTime:
            planned.Op = TKNOperation::SetTime;
            break;
    }
    const bool reads = op.Kind == TKNTwoWayOpKind::Copy || op.Kind == TKNTwoWayOpKind::SetTime;
    // The plan names only listed entries; one missing here is a fault of the plan, never acted on.
    if ((reads && !source) || (op.Kind != TKNTwoWayOpKind::Copy && !current))
        throw std::runtime_error("The two-way plan names \"" + op.Path + "\", which was not listed.");
    if (reads) read = *source;
    return worker_.Carry(row, planned, terms);
}

// What the state keeps of a completed operation, and the records moved along with a rename.
void TKNTwoWayRun::TCarrier::Recorded(const TKNTwoWayOp& op)
{
    switch (op.Kind) {
        case TKNTwoWayOpKind::Copy:
            RecordCopy(op);
            break;
        case TKNTwoWayOpKind::Delete:
            forgets_.push_back(op.Path);
            break;
        case TKNTwoWayOpKind::Rename:
            if (op.Records.empty()) break;  // a conflict's older file: its copies record it
            forgets_.push_back(op.Path);
            records_.insert(records_.end(), op.Records.begin(), op.Records.end());
            break;
        case TKNTwoWayOpKind::SetTime:
            records_.insert(records_.end(), op.Records.begin(), op.Records.end());
            break;
    }
}

void TKNTwoWayRun::TCarrier::MoveKept(const TKNTwoWayOp& op)
{
    TSideKept& side = *tw_.kept_[op.OnRight ? 1 : 0];
    if (const TKNFileRec* rec = side.At(op.Path)) {
        TKNFileRec moved = MovedRecord(*rec, side.Root, op.NewPath);
        side.Records.erase(op.Path);
        side.Records.insert_or_assign(op.NewPath, std::move(moved));
    }
}

// A copy records the source as listed and the written entry as its side shows it now; when it
// cannot be seen, nothing is recorded and the next run finds the pair and records it.
void TKNTwoWayRun::TCarrier::RecordCopy(const TKNTwoWayOp& op)
{
    const int w = op.OnRight ? 1 : 0;
    const TKNFileRec* source = tw_.kept_[1 - w]->At(op.Path);
    TKNSideEntry now;
    if (!source || !worker_.StatAt(op.OnRight, op.Path, now)) return;
    TKNStateEntry record;
    record.Path = op.Path;
    record.Kind = op.Folder ? TKNEntryKind::Folder : TKNEntryKind::File;
    TKNSideFacts read = FactsOfRecord(*source), written = FactsOfEntry(now, source->Attr);
    record.Left = op.OnRight ? read : written;
    record.Right = op.OnRight ? written : read;
    records_.push_back(std::move(record));
}

void TKNTwoWayRun::TCarrier::Records(const std::vector<TKNStateEntry>& records, const std::vector<std::string>& forgets)
{
    Flush();
    std::string error;
    if (dryRun_ || (records.empty() && forgets.empty()) || tw_.db_.Apply(tw_.key_, records, forgets, error)) return;
    tw_.outcome_.StateError = error;
    throw std::runtime_error(error);
}

void TKNTwoWayRun::TCarrier::Flush()
{
    flushed_ = std::chrono::steady_clock::now();
    if (dryRun_ || (records_.empty() && forgets_.empty())) return;
    std::string error;
    if (!tw_.db_.Apply(tw_.key_, records_, forgets_, error)) {
        tw_.outcome_.StateError = error;
        throw std::runtime_error(error);
    }
    records_.clear();
    forgets_.clear();
}

TKNPlanTotals TwoWayPlanTotals(const TKNTwoWayPlan& plan)
{
    TKNPlanTotals t;
    for (const TKNTwoWayOp& op : plan.Ops) {
        if (op.Kind == TKNTwoWayOpKind::Copy) {
            ++(op.Folder ? t.FoldersToCreate : t.FilesToCopy);
            t.BytesToCopy += op.Size;
        } else if (op.Kind == TKNTwoWayOpKind::Delete) {
            ++(op.Folder ? t.FoldersToRemove : t.FilesToDelete);
        } else if (op.Kind == TKNTwoWayOpKind::SetTime) {
            ++t.TimesToSet;
        }
    }
    return t;
}

void TKNTwoWayRun::Carry(TKNUpdateThread& run)
{
    outcome_ = {};
    outcome_.Refusal = Refusal();
    if (!outcome_.Refusal.empty()) throw std::runtime_error(outcome_.Refusal);
    outcome_.ConflictsLeftOpen = plan_.ConflictsLeftOpen();
    TKNFileCompare& engine = run.FileCompare;
    {
        std::lock_guard<std::mutex> lock(run.OutcomeLock);
        run.Outcome.Planned = TwoWayPlanTotals(plan_);
        for (const TKNFileBuffer* list : {&engine.LeftList, &engine.RightList})
            for (std::size_t n = OwnStaleTemps(*list).size(); n > 0; --n) run.Outcome.Planned.AddStaleTemp();
    }
    TKNUpdateWorker worker(run);
    worker.Connect();
    for (bool right : {false, true})
        for (const std::string& relative : OwnStaleTemps(right ? engine.RightList : engine.LeftList)) {
            if (run.StopRequested()) return;
            worker.RemoveStaleTemp(right, relative);
        }
    TCarrier carrier(*this, run, worker);
    for (const TKNTwoWayOp& op : plan_.Ops) {
        if (run.StopRequested()) break;
        carrier.Op(op);
    }
    // Pairs found equal and paths gone from both sides are so whatever the operations did.
    carrier.Records(plan_.Records, plan_.Forgets);
}

}  // namespace kn
