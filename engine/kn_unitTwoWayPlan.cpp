// The two-way plan (kn_unitTwoWayPlan.h): the state and both listings merged by path, moves
// taken out, one decision per path, folders settled against what lies beneath them, conflicts
// settled by the policy, and the operations put in the order they can be carried out.
#include "engine/kn_unitTwoWayPlan.h"

#include <algorithm>
#include <unordered_set>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitContentHash.h"
#include "engine/kn_unitTwoWayIndex.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/vex_unitCounts.h"
#include "side/kn_unitSide.h"

namespace kn {

namespace {

// One path of the merge.
struct TRow {
    std::string_view Path;
    TKNTwoWayInput In;
    TKNTwoWayDecision Decision;
    bool Moved = false;  // carried by a move's rename
};

std::vector<TRow> Merge(const TKNStateIndex& state, const TKNSideIndex& left, const TKNSideIndex& right)
{
    std::vector<TRow> rows;
    const auto& s = state.Sorted();
    const auto& l = left.Sorted();
    const auto& r = right.Sorted();
    rows.reserve(std::max({s.size(), l.size(), r.size()}));
    std::size_t i = 0, j = 0, k = 0;
    while (i < s.size() || j < l.size() || k < r.size()) {
        std::string_view path;
        if (i < s.size()) path = s[i]->Path;
        if (j < l.size() && (path.empty() || std::string_view(l[j]->Path) < path)) path = l[j]->Path;
        if (k < r.size() && (path.empty() || std::string_view(r[k]->Path) < path)) path = r[k]->Path;
        TRow& row = rows.emplace_back();
        row.Path = path;
        if (i < s.size() && s[i]->Path == path) row.In.State = s[i++];
        if (j < l.size() && l[j]->Path == path) row.In.Left = l[j++];
        if (k < r.size() && r[k]->Path == path) row.In.Right = r[k++];
        row.In.LeftUnknown = !row.In.Left && left.Unknown(path);
        row.In.RightUnknown = !row.In.Right && right.Unknown(path);
    }
    return rows;
}

std::size_t FindRow(const std::vector<TRow>& rows, std::string_view path)
{
    auto at =
        std::lower_bound(rows.begin(), rows.end(), path, [](const TRow& r, std::string_view p) { return r.Path < p; });
    return static_cast<std::size_t>(at - rows.begin());
}

bool IsFolderRow(const TRow& row)
{
    const TKNListedEntry* e = row.In.Left ? row.In.Left : row.In.Right;
    return e ? e->Kind == TKNEntryKind::Folder : row.In.State && row.In.State->Kind == TKNEntryKind::Folder;
}

bool IsDeletion(const TKNTwoWayDecision& d)
{
    return d.Op == TKNOperation::DeleteLeft || d.Op == TKNOperation::DeleteRight || d.Op == TKNOperation::RemoveFolder;
}

// A copy (or a folder made) onto the side `right`.
bool IsCopyOnto(const TKNTwoWayDecision& d, bool right)
{
    return (d.Op == TKNOperation::CopyLeftToRight || d.Op == TKNOperation::CopyRightToLeft ||
            d.Op == TKNOperation::CreateFolder) &&
           d.WritesRight == right;
}

// What lies beneath a path that is a file on one side and a folder on the other stays as it is
// with the path itself: a copy beneath it would have to go through a file.
void KeepBeneathKindConflicts(std::vector<TRow>& rows)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TKNTwoWayInput& in = rows[i].In;
        if (rows[i].Decision.Op != TKNOperation::Conflict || in.Left->Kind == in.Right->Kind) continue;
        for (std::size_t j = i + 1; j < rows.size() && PathAtOrBeneath(rows[j].Path, rows[i].Path); ++j)
            if (!rows[j].Moved) rows[j].Decision = {TKNOperation::Keep};
    }
}

// A folder that one side removed is made again when something beneath it comes back to that
// side; it stays where it is when something beneath it is left alone; otherwise it goes.
void SettleFolders(std::vector<TRow>& rows)
{
    for (std::size_t i = rows.size(); i-- > 0;) {
        TRow& row = rows[i];
        const TKNTwoWayDecision d = row.Decision;
        const bool deletes = IsDeletion(d);
        if (row.Moved || !IsFolderRow(row) || (!deletes && d.Op != TKNOperation::Forget)) continue;
        // The side that lost the folder, which a copy beneath it would write to.
        const bool lost = !d.WritesRight;
        bool copiedBack = false, kept = false;
        for (std::size_t j = i + 1; j < rows.size() && PathAtOrBeneath(rows[j].Path, row.Path); ++j) {
            const TKNTwoWayDecision& beneath = rows[j].Decision;
            copiedBack = copiedBack || (deletes && IsCopyOnto(beneath, lost));
            kept = kept || beneath.Op == TKNOperation::Keep || beneath.Op == TKNOperation::Conflict;
        }
        if (copiedBack)
            row.Decision = {TKNOperation::CreateFolder, lost};
        else if (kept)
            row.Decision = {TKNOperation::Keep};
    }
}

TKNStateEntry RecordOf(const TRow& row, const TKNSideFacts& left, const TKNSideFacts& right)
{
    return {std::string(row.Path), (row.In.Left ? row.In.Left : row.In.Right)->Kind, left, right};
}

// The operations of the plan in phases; each phase keeps path order (folder removals reverse it).
class TPlanBuilder {
public:
    TPlanBuilder(TKNTwoWayPlan& plan, const TKNTwoWayOptions& options) : plan_(plan), options_(options) {}

    void Row(const TRow& row);
    void Move(const TKNMoveFound& move);
    void Finish();
    std::unordered_set<std::string>* Names = nullptr;  // every path in sight, for conflict names

private:
    enum TPhase { MakeFolders, Moves, Writes, DeleteFiles, RemoveFolders, Phases };
    struct TPlanned {
        TKNOp Op;
        std::vector<TKNStateEntry> Records;
        int Aside = -1;  // the position in its phase of the MoveAside it waits for
    };

    TPlanned& Add(TPhase phase, TKNOperation what, bool onRight, std::string_view path)
    {
        TPlanned& planned = phases_[phase].emplace_back();
        planned.Op.Op = what;
        planned.Op.WritesRight = onRight;
        planned.Op.Path = path;
        return planned;
    }
    void Copy(const TRow& row, bool toRight, bool keepOld);
    void Conflict(const TRow& row);
    void KeepBoth(const TRow& row, TKNTwoWayConflict& conflict);

    TKNTwoWayPlan& plan_;
    const TKNTwoWayOptions& options_;
    std::vector<TPlanned> phases_[Phases];
};

void TPlanBuilder::Copy(const TRow& row, bool toRight, bool keepOld)
{
    const TKNListedEntry& source = *(toRight ? row.In.Left : row.In.Right);
    const bool folder = source.Kind == TKNEntryKind::Folder;
    // A side that holds no folders of its own gets one from the files copied into it; an empty
    // folder stays unrecorded, so that its absence there is never taken for a deletion.
    if (folder && !options_.Caps[toRight ? 1 : 0].EmptyFolders) return;
    const TKNOperation what = folder    ? TKNOperation::CreateFolder
                              : toRight ? TKNOperation::CopyLeftToRight
                                        : TKNOperation::CopyRightToLeft;
    TKNOp& op = Add(folder ? MakeFolders : Writes, what, toRight, row.Path).Op;
    op.Folder = folder;
    op.KeepOld = keepOld;
    op.Bytes = folder ? 0 : source.Facts.Size;
}

void TPlanBuilder::Row(const TRow& row)
{
    const TKNTwoWayDecision& d = row.Decision;
    switch (d.Op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
        case TKNOperation::CreateFolder:
            Copy(row, d.WritesRight, d.KeepOlder);
            break;
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
        case TKNOperation::RemoveFolder: {
            const bool folder = IsFolderRow(row);
            Add(folder ? RemoveFolders : DeleteFiles,
                folder ? TKNOperation::RemoveFolder
                       : (d.WritesRight ? TKNOperation::DeleteRight : TKNOperation::DeleteLeft),
                d.WritesRight, row.Path)
                .Op.Folder = folder;
            break;
        }
        case TKNOperation::SetTime: {
            const bool right = d.WritesRight;
            TKNSideFacts newer = (right ? row.In.Left : row.In.Right)->Facts;
            TKNSideFacts older = (right ? row.In.Right : row.In.Left)->Facts;
            // A side that cannot set times keeps its own: the pair is recorded as it stands.
            if (!options_.Caps[right ? 1 : 0].SetTime) {
                plan_.Records.push_back(RecordOf(row, row.In.Left->Facts, row.In.Right->Facts));
                break;
            }
            older.MTime = newer.MTime;
            older.MTimeNsec = -1;  // as the side sets it: learned at the next listing
            older.CTime = 0;
            Add(Writes, TKNOperation::SetTime, right, row.Path)
                .Records.push_back(right ? RecordOf(row, newer, older) : RecordOf(row, older, newer));
            break;
        }
        case TKNOperation::Record:
            plan_.Records.push_back(RecordOf(row, row.In.Left->Facts, row.In.Right->Facts));
            break;
        case TKNOperation::Forget:
            plan_.Forgets.emplace_back(row.Path);
            break;
        case TKNOperation::Conflict:
            Conflict(row);
            break;
        case TKNOperation::Keep:
            plan_.Kept.emplace_back(row.Path);
            break;
        default:
            break;
    }
}

void TPlanBuilder::Conflict(const TRow& row)
{
    const TKNListedEntry& l = *row.In.Left;
    const TKNListedEntry& r = *row.In.Right;
    TKNTwoWayConflict& c = plan_.Conflicts.emplace_back();
    c.Path = row.Path;
    c.LeftNewer = l.Facts.MTime > r.Facts.MTime;
    const auto settled = options_.Settled.find(row.Path);
    c.Settled = settled == options_.Settled.end() ? options_.Policy : settled->second;
    const bool sameTime = l.Facts.MTime == r.Facts.MTime;
    if (l.Kind != r.Kind) {
        c.Settled = TKNConflictPolicy::Skip;
        c.Reason = "a file on one side, a folder on the other";
    } else if (sameTime && (c.Settled == TKNConflictPolicy::Newer || c.Settled == TKNConflictPolicy::KeepBoth)) {
        c.Settled = TKNConflictPolicy::Skip;
        c.Reason = "both have the same time";
    }
    switch (c.Settled) {
        case TKNConflictPolicy::KeepBoth:
            KeepBoth(row, c);
            break;
        case TKNConflictPolicy::Newer:
            Copy(row, c.LeftNewer, true);
            break;
        case TKNConflictPolicy::Left:
        case TKNConflictPolicy::Right:
            Copy(row, c.Settled == TKNConflictPolicy::Left, true);
            break;
        case TKNConflictPolicy::Skip:
            break;
    }
}

// The older file moves aside on its side under a conflict name; the newer one is copied over
// the name and the older one across under its new name, so both sides end with both. Both
// copies wait for the move aside: where it fails, nothing replaces the older version.
void TPlanBuilder::KeepBoth(const TRow& row, TKNTwoWayConflict& c)
{
    const TKNListedEntry& older = c.LeftNewer ? *row.In.Right : *row.In.Left;
    const TKNListedEntry& newer = c.LeftNewer ? *row.In.Left : *row.In.Right;
    const std::size_t slash = row.Path.rfind('/');
    const std::string folder(slash == std::string_view::npos ? "" : row.Path.substr(0, slash + 1));
    const std::string name(slash == std::string_view::npos ? row.Path : row.Path.substr(slash + 1));
    c.OlderName = folder + ConflictName(name, older.Facts.MTime, [&](const std::string& candidate) {
                      return Names->count(folder + candidate) != 0;
                  });
    Names->insert(c.OlderName);
    const bool olderOnRight = c.LeftNewer;
    const int aside = static_cast<int>(phases_[Writes].size());
    Add(Writes, TKNOperation::MoveAside, olderOnRight, row.Path).Op.NewPath = c.OlderName;
    TPlanned& over = Add(Writes, olderOnRight ? TKNOperation::CopyLeftToRight : TKNOperation::CopyRightToLeft,
                         olderOnRight, row.Path);
    over.Op.Bytes = newer.Facts.Size;
    over.Aside = aside;
    TPlanned& across = Add(Writes, olderOnRight ? TKNOperation::CopyRightToLeft : TKNOperation::CopyLeftToRight,
                           !olderOnRight, c.OlderName);
    across.Op.Bytes = older.Facts.Size;
    across.Aside = aside;
}

// A move is a rename on the side that did not move the entry; where that side cannot rename
// but copies by itself, a copy there and the deletion of the old path, for a folder one per file
// beneath it (its folders made anew where the side holds folders, the old ones removed): no
// byte crosses the link.
void TPlanBuilder::Move(const TKNMoveFound& found)
{
    const bool onRight = found.Move.OnLeft;
    const TKNSideCaps& caps = options_.Caps[onRight ? 1 : 0];
    if (!caps.Rename && caps.ServerCopy) {
        for (const TKNStateEntry& record : found.Records) {
            // Records name the new paths: the root of the move, or paths beneath it.
            const std::string from = found.Move.From + record.Path.substr(found.Move.To.size());
            if (record.Kind == TKNEntryKind::Folder) {
                if (caps.EmptyFolders)
                    Add(MakeFolders, TKNOperation::CreateFolder, onRight, record.Path).Op.Folder = true;
                Add(RemoveFolders, TKNOperation::RemoveFolder, onRight, from).Op.Folder = true;
                continue;
            }
            TPlanned& copy = Add(Moves, TKNOperation::CopyWithin, onRight, from);
            copy.Op.NewPath = record.Path;
            copy.Records = {record};
            Add(DeleteFiles, onRight ? TKNOperation::DeleteRight : TKNOperation::DeleteLeft, onRight, from);
        }
        return;
    }
    TPlanned& move = Add(Moves, TKNOperation::Rename, onRight, found.Move.From);
    move.Op.Folder = found.Move.Folder;
    move.Op.NewPath = found.Move.To;
    move.Records = found.Records;
}

void TPlanBuilder::Finish()
{
    std::reverse(phases_[RemoveFolders].begin(), phases_[RemoveFolders].end());
    TKNTwoWayTotals& t = plan_.Totals;
    for (auto& phase : phases_) {
        const int first = static_cast<int>(plan_.Ops.size());
        for (TPlanned& planned : phase) {
            TKNOp& op = planned.Op;
            switch (op.Op) {
                case TKNOperation::CreateFolder:
                    ++t.FoldersToMake;
                    break;
                case TKNOperation::CopyLeftToRight:
                case TKNOperation::CopyRightToLeft:
                    ++(op.WritesRight ? t.CopiesToRight : t.CopiesToLeft);
                    (op.WritesRight ? t.BytesToRight : t.BytesToLeft) += op.Bytes;
                    break;
                case TKNOperation::DeleteLeft:
                case TKNOperation::DeleteRight:
                case TKNOperation::RemoveFolder:
                    ++(op.WritesRight ? t.DeletesRight : t.DeletesLeft);
                    break;
                case TKNOperation::Rename:
                case TKNOperation::CopyWithin:
                    ++t.Moves;
                    break;
                case TKNOperation::SetTime:
                    ++t.TimesToSet;
                    break;
                default:
                    break;
            }
            if (planned.Aside >= 0) op.After = first + planned.Aside;
            op.Key = static_cast<int>(plan_.Ops.size());
            plan_.Ops.push_back(std::move(op));
            plan_.OpRecords.push_back(std::move(planned.Records));
        }
    }
    t.StateUpdates = static_cast<int64_t>(plan_.Records.size() + plan_.Forgets.size());
    t.Conflicts = static_cast<int64_t>(plan_.Conflicts.size());
    t.Kept = static_cast<int64_t>(plan_.Kept.size());
}

// Marks the rows a move's rename carries: its old paths, and the new ones it records.
void MarkMoved(std::vector<TRow>& rows, const TKNMoveFound& found)
{
    for (std::size_t i = FindRow(rows, found.Move.From);
         i < rows.size() && PathAtOrBeneath(rows[i].Path, found.Move.From); ++i)
        rows[i].Moved = true;
    for (const TKNStateEntry& record : found.Records)
        if (std::size_t i = FindRow(rows, record.Path); i < rows.size() && rows[i].Path == record.Path)
            rows[i].Moved = true;
}

// `path` below `root` ("" for the root itself); false when it does not lie there.
bool RelativeTo(const std::string& root, const std::string& path, std::string& relative)
{
    if (path == root) {
        relative.clear();
        return true;
    }
    const std::size_t at = root.ends_with('/') ? root.size() : root.size() + 1;
    if (path.size() <= at || path.compare(0, root.size(), root) != 0 || path[at - 1] != '/') return false;
    relative.assign(path, at);
    return true;
}

// A move needs a record gone from a side and an entry new on that side: without both, the
// search over the whole state is not made.
bool MovesPossible(const std::vector<TRow>& rows)
{
    bool gone[2] = {false, false}, added[2] = {false, false};
    for (const TRow& row : rows) {
        const bool l = row.In.Left != nullptr, r = row.In.Right != nullptr;
        if (row.In.State) {
            gone[0] = gone[0] || (!l && r);
            gone[1] = gone[1] || (l && !r);
        } else {
            added[0] = added[0] || (l && !r);
            added[1] = added[1] || (r && !l);
        }
        if ((gone[0] && added[0]) || (gone[1] && added[1])) return true;
    }
    return false;
}

// Two files of one size whose bytes were not both read: their hashes would tell whether they
// are equal.
bool ContentWouldTell(const TKNTwoWayInput& in)
{
    return in.Left->Kind == TKNEntryKind::File && in.Right->Kind == TKNEntryKind::File &&
           in.Left->Facts.Size == in.Right->Facts.Size && (in.Left->Facts.Hash.empty() || in.Right->Facts.Hash.empty());
}

}  // namespace

// A hash no file's content has where its size is the link's (the text's length): the text
// after a prefix.
static std::string LinkTextHash(const std::string& text)
{
    TKNHasher hasher(TKNHashKind::Sha256);
    hasher.Update("link\0", 5);
    hasher.Update(text.data(), text.size());
    return hasher.FinishHex();
}

TKNTwoWaySide TwoWaySideOf(const TKNFileBuffer& list, const TKNSideCaps& caps, bool carryLinks)
{
    TKNTwoWaySide side;
    side.Inodes = caps.Inodes;
    side.RootMissing = !list.ErrorText.empty();
    side.Entries.reserve(list.Items.size());
    std::string relative;
    for (const TKNFileRec* rec : list.Items) {
        if (!RelativeTo(list.Folder, rec->Path, relative)) continue;
        if (!rec->Name.empty()) relative = relative.empty() ? rec->Name : relative + "/" + rec->Name;
        if (relative.empty()) continue;
        if (rec->Link && !carryLinks) {
            side.Unknown.push_back(relative);
            continue;
        }
        TKNListedEntry& e = side.Entries.emplace_back();
        e.Path = relative;
        e.Kind = rec->IsFolder() ? TKNEntryKind::Folder : TKNEntryKind::File;
        e.Link = rec->Link;
        if (rec->Link) e.Facts.Hash = LinkTextHash(rec->LinkTarget());
        e.Facts.Size = rec->IsFolder() ? 0 : rec->Size;
        e.Facts.MTime = rec->MTime;
        // MTime is exact where the side knows times to two seconds or better (TimeStep 2).
        e.Facts.TimeStep = rec->TimeStep <= 2 ? 1 : rec->TimeStep;
        e.Facts.Mode = rec->Mode;
        e.Facts.ModeKnown = rec->ModeKnown;
        e.Facts.Attr = rec->Attr;
        e.Facts.Inode = caps.Inodes ? rec->Inode : 0;
        if (caps.ChangeTimes) {
            e.Facts.MTimeNsec = rec->MTimeNsec;
            e.Facts.CTime = rec->CTime;
            e.Facts.CTimeNsec = rec->CTimeNsec;
        }
    }
    for (const TKNUnlistedFolder& folder : list.UnlistedFolders)
        if (RelativeTo(list.Folder, folder.Path, relative)) side.Unknown.push_back(relative);
    return side;
}

TKNTwoWayPlan PlanTwoWay(const std::vector<TKNStateEntry>& state, const TKNTwoWaySide& left, const TKNTwoWaySide& right,
                         const TKNTwoWayOptions& options)
{
    const TKNStateIndex stateIndex(state);
    const TKNSideIndex leftIndex(left), rightIndex(right);
    std::vector<TRow> rows = Merge(stateIndex, leftIndex, rightIndex);
    std::vector<TKNMoveFound> moves;
    TKNTwoWayPlan plan;
    if (!options.Rules.FirstRun && MovesPossible(rows))
        moves = FindMoves(stateIndex, leftIndex, rightIndex, options.Rules.IgnoreHours, &plan.HashesWanted);
    // A side that neither renames nor copies by itself takes a move as a copy and a deletion.
    std::erase_if(moves, [&options](const TKNMoveFound& found) {
        const TKNSideCaps& caps = options.Caps[found.Move.OnLeft ? 1 : 0];
        return !caps.Rename && !caps.ServerCopy;
    });
    for (const TKNMoveFound& move : moves) MarkMoved(rows, move);
    bool conflicts = false;
    for (TRow& row : rows) {
        if (row.Moved) continue;
        row.Decision = TwoWayDecide(row.In, options.Rules);
        const bool conflict = row.Decision.Op == TKNOperation::Conflict;
        conflicts = conflicts || conflict;
        if ((conflict || row.Decision.KeepOlder) && ContentWouldTell(row.In)) plan.ContentWanted.emplace_back(row.Path);
    }
    KeepBeneathKindConflicts(rows);
    SettleFolders(rows);

    TPlanBuilder builder(plan, options);
    std::unordered_set<std::string> names;
    if (conflicts) {
        // A name a side could not tell (one its filters leave out, say) may be taken too.
        for (const TRow& row : rows) names.emplace(row.Path);
        for (const TKNTwoWaySide* side : {&left, &right}) names.insert(side->Unknown.begin(), side->Unknown.end());
        builder.Names = &names;
    }
    for (const TKNMoveFound& move : moves) builder.Move(move);
    for (const TRow& row : rows)
        if (!row.Moved) builder.Row(row);
    builder.Finish();
    return plan;
}

}  // namespace kn

namespace kn {

namespace {

const char* SideWord(bool right)
{
    return right ? "right" : "left";
}

std::string OpLine(const TKNOp& op)
{
    const std::string side = SideWord(op.WritesRight);
    switch (op.Op) {
        case TKNOperation::CreateFolder:
            return "make folder " + side + "  " + op.Path;
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
            return std::string("copy ") + SideWord(!op.WritesRight) + " -> " + side + "  " + op.Path +
                   (op.KeepOld ? "  (the " + side + " file kept in the backup folder)" : "");
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            return "delete " + side + "  " + op.Path;
        case TKNOperation::RemoveFolder:
            return "remove folder " + side + "  " + op.Path;
        case TKNOperation::MoveAside:
            return "rename " + side + "  " + op.Path + " -> " + op.NewPath;
        case TKNOperation::Rename:
            return "move " + side + "  " + op.Path + " -> " + op.NewPath;
        case TKNOperation::CopyWithin:
            return "copy " + side + "  " + op.Path + " -> " + op.NewPath;
        case TKNOperation::SetTime:
            return "set time " + side + "  " + op.Path;
        default:
            break;
    }
    return {};
}

std::string ConflictLine(const TKNTwoWayConflict& c)
{
    const char* newer = SideWord(!c.LeftNewer);
    const char* older = SideWord(c.LeftNewer);
    std::string line = "conflict  " + c.Path + ": ";
    switch (c.Settled) {
        case TKNConflictPolicy::KeepBoth:
            return line + "kept both, the older " + older + " as " + c.OlderName;
        case TKNConflictPolicy::Newer:
            return line + "the newer " + newer + " kept, the " + older + " in the backup folder";
        case TKNConflictPolicy::Left:
            return line + "the left kept, the right in the backup folder";
        case TKNConflictPolicy::Right:
            return line + "the right kept, the left in the backup folder";
        case TKNConflictPolicy::Skip:
            break;
    }
    return line + "left alone" + (c.Reason.empty() ? "" : " (" + c.Reason + ")");
}

}  // namespace

std::string TwoWaySummary(const TKNTwoWayTotals& t)
{
    std::string text;
    auto part = [&text](int64_t count, const std::string& words) {
        if (count == 0) return;
        if (!text.empty()) text += ", ";
        text += std::to_string(count) + words;
    };
    // Each direction with its own bytes: one sum would read as the bytes of the last one.
    part(t.CopiesToRight, " to copy left to right (" + vex::FormatByteSize(t.BytesToRight) + ")");
    part(t.CopiesToLeft, (t.CopiesToRight > 0 ? " right to left (" : " to copy right to left (") +
                             vex::FormatByteSize(t.BytesToLeft) + ")");
    part(t.FoldersToMake, t.FoldersToMake == 1 ? " folder to make" : " folders to make");
    part(t.DeletesLeft, " to delete on the left");
    part(t.DeletesRight, " to delete on the right");
    part(t.Moves, t.Moves == 1 ? " move" : " moves");
    part(t.TimesToSet, t.TimesToSet == 1 ? " time to set" : " times to set");
    part(t.Conflicts, t.Conflicts == 1 ? " conflict" : " conflicts");
    part(t.Kept, " left alone (not known on a side)");
    part(t.StateUpdates, t.StateUpdates == 1 ? " entry to record" : " entries to record");
    return text.empty() ? "Nothing to do" : text;
}

std::string TwoWayPlanText(const TKNTwoWayPlan& plan)
{
    std::string text;
    for (const TKNOp& op : plan.Ops)
        if (std::string line = OpLine(op); !line.empty()) text += line + '\n';
    for (const TKNTwoWayConflict& c : plan.Conflicts) text += ConflictLine(c) + '\n';
    return text + "Two-way plan: " + TwoWaySummary(plan.Totals) + ".\n";
}

}  // namespace kn
