#include "engine/kn_unitUpdatePlan.h"

#include <algorithm>

#include "framework/vex_unitCounts.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

bool Exists(const TKNFileRec& rec)
{
    return !rec.Name.empty() || !rec.Path.empty();
}

TKNPlannedOp Skip(TKNSkipReason reason)
{
    return {TKNOperation::Nothing, false, reason};
}

TKNPlannedOp Write(TKNOperation op, bool writesRight)
{
    return {op, writesRight, TKNSkipReason::None};
}

TKNOperation CopyOnto(bool writesRight)
{
    return writesRight ? TKNOperation::CopyLeftToRight : TKNOperation::CopyRightToLeft;
}

// Writing `source` onto the other side: a new folder, a copy, or only the time where the two
// files hold the same bytes.
TKNPlannedOp Bring(const TMyFileOpt& row, const TKNFileRec& source, bool writesRight, const TKNSideCaps& caps)
{
    if (source.Link && !caps.Links) return Skip(TKNSkipReason::NoLinks);
    if (source.IsFolder())
        return caps.EmptyFolders ? Write(TKNOperation::CreateFolder, writesRight) : Skip(TKNSkipReason::NoEmptyFolders);
    if (!row.ContentEqual) return Write(CopyOnto(writesRight), writesRight);
    return caps.SetTime ? Write(TKNOperation::SetTime, writesRight) : Skip(TKNSkipReason::SameBytes);
}

// A fixed direction forced against a row the written side has alone or newer.
TKNPlannedOp Against(const TMyFileOpt& row, bool writesRight, const TKNSideCaps& caps)
{
    const TKNFileRec& written = writesRight ? row.Right : row.Left;
    const TKNFileRec& read = writesRight ? row.Left : row.Right;
    if (written.IsFolder()) return Write(TKNOperation::RemoveFolder, writesRight);
    if (!Exists(read)) return Write(writesRight ? TKNOperation::DeleteRight : TKNOperation::DeleteLeft, writesRight);
    return Bring(row, read, writesRight, caps);
}

// A forced fixed direction on a pair that differs at the same time.
TKNPlannedOp Differing(const TMyFileOpt& row, bool writesRight, const TKNSideCaps& caps)
{
    const TKNFileRec& written = writesRight ? row.Right : row.Left;
    const TKNFileRec& read = writesRight ? row.Left : row.Right;
    if (read.Link && !caps.Links) return Skip(TKNSkipReason::NoLinks);
    if (!read.IsFolder() && (read.Size != written.Size || row.ContentDiffers || read.Link || written.Link))
        return Write(CopyOnto(writesRight), writesRight);
    return caps.SetMode ? Write(TKNOperation::SetAttributes, writesRight) : Skip(TKNSkipReason::NoModes);
}

}  // namespace

TKNPlannedOp PlanRow(const TMyFileOpt& row, TKNAction action, bool force, const TKNPairCaps& caps)
{
    if (row.Unlisted) return Skip(TKNSkipReason::Unlisted);
    // A row alone knows nothing of the last synchronisation, so TwoWay (and any unknown value)
    // plans here as Auto does and never deletes; the two-way plan (kn_unitTwoWayPlan.h) is
    // what decides deletions against the state.
    if (action != TKNAction::LeftToRight && action != TKNAction::RightToLeft) {
        action = TKNAction::Auto;
        force = false;
    }
    const bool automatic = action == TKNAction::Auto;
    if (automatic && row.Status == TKNStatus::Differ) return Skip(TKNSkipReason::AutoDiffer);
    // Auto writes each row from its status side; a fixed direction always writes one side.
    const bool writesRight = automatic ? row.Status == TKNStatus::Left : action == TKNAction::LeftToRight;
    const TKNStatus readStatus = writesRight ? TKNStatus::Left : TKNStatus::Right;
    const TKNSideCaps& written = caps.Of(writesRight);
    if (row.Status == readStatus) return Bring(row, writesRight ? row.Left : row.Right, writesRight, written);
    if (!force) return Skip(TKNSkipReason::NotForced);
    return row.Status == TKNStatus::Differ ? Differing(row, writesRight, written) : Against(row, writesRight, written);
}

void TKNPlanTotals::Add(const TMyFileOpt& row, const TKNPlannedOp& op)
{
    Add(op.Op, op.WritesRight ? row.Left.Size : row.Right.Size);
}

void TKNPlanTotals::Add(TKNOperation op, int64_t bytes)
{
    switch (op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
        case TKNOperation::CopyWithin:
            ++FilesToCopy;
            BytesToCopy += bytes;
            break;
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            ++FilesToDelete;
            break;
        case TKNOperation::CreateFolder:
            ++FoldersToCreate;
            break;
        case TKNOperation::RemoveFolder:
            ++FoldersToRemove;
            break;
        case TKNOperation::SetAttributes:
            ++AttributeChanges;
            break;
        case TKNOperation::SetTime:
            ++TimesToSet;
            break;
        case TKNOperation::Rename:
        case TKNOperation::MoveAside:
            ++Renames;
            break;
        case TKNOperation::Backup:
        case TKNOperation::Record:
        case TKNOperation::Forget:
        case TKNOperation::Keep:
        case TKNOperation::Conflict:
        case TKNOperation::Nothing:
            break;
    }
}

void TKNPlanTotals::AddStaleTemp()
{
    ++FilesToDelete;
    ++TempFilesToRemove;
}

TKNPairCaps PairCapsOf(const TKNFileCompare& engine)
{
    TKNPairCaps caps;
    for (bool right : {false, true}) {
        const TKNFileBuffer& list = right ? engine.RightList : engine.LeftList;
        if (const TKNSideCaps* told = list.Provider ? list.Provider->SideCaps() : nullptr)
            (right ? caps.Right : caps.Left) = *told;
    }
    return caps;
}

bool WritesSide(TKNAction action, bool right)
{
    return action == TKNAction::Auto || action == TKNAction::TwoWay || (action == TKNAction::LeftToRight) == right;
}

std::string RelativeToRoot(std::string_view full, std::string_view root)
{
    std::string_view relative = full.substr(std::min(full.size(), root.size()));
    while (!relative.empty() && relative.front() == '/') relative.remove_prefix(1);
    return std::string(relative);
}

std::vector<std::string> OwnStaleTemps(const TKNFileBuffer& list)
{
    std::vector<std::string> own;
    for (const std::string& path : list.StaleTempFiles) {
        const std::size_t slash = path.rfind('/');
        if (IsOwnTempName(slash == std::string::npos ? path : path.substr(slash + 1)))
            own.push_back(RelativeToRoot(path, list.Folder));
    }
    return own;
}

namespace {

// The totals of the rows `rowAt` gives for `indexes` (null for a position without a row).
template <class RowAt>
TKNPlanTotals TotalsOf(const std::vector<int>& indexes, TKNAction action, bool force, const TKNPairCaps& caps,
                       RowAt rowAt)
{
    TKNPlanTotals totals;
    for (int index : indexes)
        if (const TMyFileOpt* row = rowAt(index)) totals.Add(*row, PlanRow(*row, action, force, caps));
    return totals;
}

}  // namespace

TKNPlanTotals PlanTotals(const std::vector<std::unique_ptr<TMyFileOpt>>& rows, const std::vector<int>& indexes,
                         TKNAction action, bool force, const TKNPairCaps& caps)
{
    return TotalsOf(indexes, action, force, caps, [&rows](int index) -> const TMyFileOpt* {
        return index >= 0 && static_cast<std::size_t>(index) < rows.size() ? rows[static_cast<std::size_t>(index)].get()
                                                                           : nullptr;
    });
}

TKNPlanTotals PlanTotals(const TKNFileCompare& engine, const std::vector<int>& indexes, TKNAction action, bool force)
{
    TKNPlanTotals totals =
        TotalsOf(indexes, action, force, PairCapsOf(engine), [&engine](int index) { return engine.RowAt(index); });
    for (bool right : {false, true})
        if (WritesSide(action, right))
            for (std::size_t n = OwnStaleTemps(right ? engine.RightList : engine.LeftList).size(); n > 0; --n)
                totals.AddStaleTemp();
    return totals;
}

// " (N left-over temporary files)" after the deletions that hold them; nothing when none.
static std::string TempPart(const TKNPlanTotals& t)
{
    return t.TempFilesToRemove == 0
               ? std::string()
               : " (" + vex::CountOf(t.TempFilesToRemove, "left-over temporary file", "left-over temporary files") +
                     ")";
}

std::string PlanSummary(const TKNPlanTotals& t)
{
    std::string text;
    auto part = [&text](int64_t count, const char* one, const char* many) {
        if (count == 0) return;
        if (!text.empty()) text += ", ";
        text += std::to_string(count) + (count == 1 ? one : many);
    };
    part(t.FilesToCopy, " file to copy", " files to copy");
    if (t.FilesToCopy > 0) text += " (" + vex::FormatByteSize(t.BytesToCopy) + ")";
    part(t.FilesToDelete, " to delete", " to delete");
    text += TempPart(t);
    part(t.FoldersToCreate, " folder to create", " folders to create");
    part(t.FoldersToRemove, " folder to remove", " folders to remove");
    part(t.AttributeChanges, " attribute change", " attribute changes");
    part(t.TimesToSet, " time to set", " times to set");
    part(t.Renames, " to rename", " to rename");
    return text.empty() ? "Nothing to do" : text;
}

bool TripsDeletionGuard(int64_t deletes, int64_t entries)
{
    return deletes > 10 && deletes * 2 > entries;
}

bool PlanTripsDeletionGuard(const TKNFileCompare& engine, const TKNPlanTotals& totals, TKNAction action,
                            int64_t& entries)
{
    entries = action == TKNAction::LeftToRight   ? engine.RightEntries
              : action == TKNAction::RightToLeft ? engine.LeftEntries
                                                 : 0;
    return (action == TKNAction::LeftToRight || action == TKNAction::RightToLeft) &&
           TripsDeletionGuard(totals.Deletions(), entries);
}

// ", N times to set" for the one-line forms, which name it only when a content comparison
// planned any: runs without one keep the line they always had.
static std::string TimesPart(const TKNPlanTotals& t, const char* one, const char* many)
{
    return t.TimesToSet == 0 ? std::string() : ", " + vex::CountOf(t.TimesToSet, one, many);
}

// ", N renamed" for the one-line forms, only when the plan renames anything.
static std::string RenamesPart(const TKNPlanTotals& t, const char* words)
{
    return t.Renames == 0 ? std::string() : ", " + std::to_string(t.Renames) + words;
}

std::string PlanLine(const TKNPlanTotals& t)
{
    return "Plan: " + vex::CountOf(t.FilesToCopy, "file to copy", "files to copy") + " (" +
           vex::CountOf(t.BytesToCopy, "byte", "bytes") + "), " + std::to_string(t.FilesToDelete) + " to delete" +
           TempPart(t) + ", " + vex::CountOf(t.FoldersToCreate, "folder to create", "folders to create") + ", " +
           vex::CountOf(t.FoldersToRemove, "folder to remove", "folders to remove") + ", " +
           vex::CountOf(t.AttributeChanges, "attribute change", "attribute changes") +
           TimesPart(t, "time to set", "times to set") + RenamesPart(t, " to rename") + ".";
}

std::string DoneLine(const TKNUpdateOutcome& outcome)
{
    const TKNPlanTotals& t = outcome.Done;
    std::string line = "Done: " + vex::CountOf(t.FilesToCopy, "file copied", "files copied") + " (" +
                       vex::CountOf(t.BytesToCopy, "byte", "bytes") + "), " + std::to_string(t.FilesToDelete) +
                       " deleted" + TempPart(t) + ", " +
                       vex::CountOf(t.FoldersToCreate, "folder created", "folders created") + ", " +
                       vex::CountOf(t.FoldersToRemove, "folder removed", "folders removed") + ", " +
                       vex::CountOf(t.AttributeChanges, "attribute change", "attribute changes") +
                       TimesPart(t, "time set", "times set") + RenamesPart(t, " renamed") + ", " +
                       std::to_string(outcome.Failures.size()) + " failed.";
    if (!outcome.BackupFolder.empty()) line += " Backup folder: " + outcome.BackupFolder;
    return line;
}

std::string OperationName(TKNOperation op)
{
    switch (op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
            return "Copy";
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            return "Delete";
        case TKNOperation::CreateFolder:
            return "Create folder";
        case TKNOperation::RemoveFolder:
            return "Remove folder";
        case TKNOperation::SetAttributes:
            return "Set attributes";
        case TKNOperation::SetTime:
            return "Set time";
        case TKNOperation::Rename:
            return "Rename";
        case TKNOperation::Backup:
            return "Back up";
        case TKNOperation::MoveAside:
            return "Move aside";
        case TKNOperation::CopyWithin:
            return "Copy on the side";
        case TKNOperation::Record:
            return "Record";
        case TKNOperation::Forget:
            return "Forget";
        case TKNOperation::Keep:
            return "Keep";
        case TKNOperation::Conflict:
            return "Conflict";
        case TKNOperation::Nothing:
            break;
    }
    return "Nothing";
}

std::string PlanText(const TKNPlannedOp& op)
{
    const char* side = op.WritesRight ? "right" : "left";
    switch (op.Op) {
        case TKNOperation::CopyLeftToRight:
            return "Copy left to right";
        case TKNOperation::CopyRightToLeft:
            return "Copy right to left";
        case TKNOperation::DeleteLeft:
            return "Delete on the left";
        case TKNOperation::DeleteRight:
            return "Delete on the right";
        case TKNOperation::CreateFolder:
            return std::string("Create the folder on the ") + side;
        case TKNOperation::RemoveFolder:
            return std::string("Remove the folder on the ") + side;
        case TKNOperation::SetAttributes:
            return std::string("Set the attributes on the ") + side;
        case TKNOperation::SetTime:
            return std::string("Set the time of the file on the ") + side;
        case TKNOperation::Rename:
            return std::string("Rename on the ") + side;
        case TKNOperation::Backup:
            return std::string("Back up the entry on the ") + side;
        case TKNOperation::MoveAside:
            return std::string("Move the entry aside on the ") + side;
        case TKNOperation::CopyWithin:
            return std::string("Copy on the ") + side;
        case TKNOperation::Record:
            return "Equal: recorded";
        case TKNOperation::Forget:
            return "Gone on both sides: forgotten";
        case TKNOperation::Keep:
            return "Kept: a side cannot tell";
        case TKNOperation::Conflict:
            return "Conflict";
        case TKNOperation::Nothing:
            break;
    }
    switch (op.Reason) {
        case TKNSkipReason::NotForced:
            return "Nothing: only Force Update acts on this row";
        case TKNSkipReason::AutoDiffer:
            return "Nothing: Auto leaves rows that differ at the same time alone";
        case TKNSkipReason::Unlisted:
            return "Nothing: a folder here could not be listed";
        case TKNSkipReason::NoLinks:
            return "Nothing: the side holds no symbolic links";
        case TKNSkipReason::SameBytes:
            return "Nothing: the files hold the same bytes and the side cannot set times";
        case TKNSkipReason::NoEmptyFolders:
            return "Nothing: the side holds no folders of its own; the files copied make it";
        case TKNSkipReason::NoModes:
            return "Nothing: the side keeps no modes";
        case TKNSkipReason::None:
            break;
    }
    return "Nothing";
}

}  // namespace kn
