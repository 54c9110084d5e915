#include "ui/kn_unitTwoWayView.h"

#include <QCoreApplication>
#include <algorithm>
#include <string>

#include "framework/vex_unitCounts.h"
#include "ui/kn_unitShownText.h"

namespace kn {

const TKNConflictChoice kConflictChoices[5] = {
    {TKNConflictPolicy::KeepBoth, "Keep both",
     "Keep both versions on both sides: the newer under the name, the older under a conflict name."},
    {TKNConflictPolicy::Newer, "Newer", "Keep the newer version; the older goes to the backup folder."},
    {TKNConflictPolicy::Left, "Left", "Keep the left version; the right one goes to the backup folder."},
    {TKNConflictPolicy::Right, "Right", "Keep the right version; the left one goes to the backup folder."},
    {TKNConflictPolicy::Skip, "Skip", "Leave both versions as they are and report the conflict."},
};

int ConflictChoiceIndex(TKNConflictPolicy policy)
{
    for (int i = 0; i < 5; ++i)
        if (kConflictChoices[i].Policy == policy) return i;
    return 0;
}

namespace {

QString Tr(const char* text)
{
    return QCoreApplication::translate("kn::TwoWayView", text);
}

// A copy onto `right`: the entry there, if any, is replaced.
TKNTwoWayShown Copy(const TKNTwoWayRowFacts& f, bool right, const QString& text)
{
    TKNTwoWayShown shown{right ? QStringLiteral("\u2192") : QStringLiteral("\u2190"), TKNShownSide::None, text};
    if (right ? f.RightExists : f.LeftExists) {
        shown.Struck = right ? TKNShownSide::Right : TKNShownSide::Left;
        shown.Hint += right ? Tr(": the right file is replaced") : Tr(": the left file is replaced");
    }
    return shown;
}

// A conflict: the side the policy gives up is replaced by the other; keep-both and skip lose
// nothing.
TKNTwoWayShown Conflict(const TKNTwoWayRowFacts& f, const QString& text)
{
    bool right = false;
    switch (f.Decision.Policy) {
        case TKNConflictPolicy::Left:
            right = true;
            break;
        case TKNConflictPolicy::Right:
            right = false;
            break;
        case TKNConflictPolicy::Newer:
            right = f.LeftNewer;
            break;
        case TKNConflictPolicy::KeepBoth:
        case TKNConflictPolicy::Skip:
            return {QStringLiteral("!"), TKNShownSide::None, text};
    }
    TKNTwoWayShown shown = Copy(f, right, text);
    shown.Mark = right ? QStringLiteral("!\u2192") : QStringLiteral("\u2190!");
    return shown;
}

}  // namespace

TKNTwoWayShown ShowTwoWayRow(const TKNTwoWayRowFacts& f)
{
    const QString text = ShownText(f.Decision.Text);
    const bool right = f.Decision.WritesRight;
    switch (f.Decision.Op) {
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
        case TKNOperation::CreateFolder:
            return Copy(f, right, text);
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
        case TKNOperation::RemoveFolder:
            return right ? TKNTwoWayShown{QStringLiteral("\u2192\u00d7"), TKNShownSide::Right, text}
                         : TKNTwoWayShown{QStringLiteral("\u00d7\u2190"), TKNShownSide::Left, text};
        case TKNOperation::Rename:
        case TKNOperation::CopyWithin:
            return {right ? QStringLiteral("\u2192R") : QStringLiteral("R\u2190"), TKNShownSide::None, text};
        case TKNOperation::SetTime:
            return {QStringLiteral("T"), TKNShownSide::None, text};
        case TKNOperation::Record:
            return {QStringLiteral("="), TKNShownSide::None, text};
        case TKNOperation::Conflict:
            return Conflict(f, text);
        case TKNOperation::Keep:
            return {QStringLiteral("\u2013"), TKNShownSide::None, text};
        default:
            break;
    }
    return {QStringLiteral("\u00b7"), TKNShownSide::None, text.isEmpty() ? Tr("Nothing to do") : text};
}

QString TwoWayLegend()
{
    return Tr(
        "Two-way. Struck through: replaced or deleted.   Marks: \u2192 \u2190 copy, \u00d7\u2190 \u2192\u00d7 "
        "delete on that side, R rename, ! conflict (right-click or Ctrl+1..5 to settle), = record, T time, "
        "\u2013 left alone.");
}

QString TwoWayOpLine(const TKNOp& op)
{
    const QString path = ShownText(op.Path);
    const QString side = op.WritesRight ? Tr("the right") : Tr("the left");
    QString line;
    switch (op.Op) {
        case TKNOperation::CreateFolder:
            return Tr("Create folder on %1:  %2").arg(side, path);
        case TKNOperation::CopyLeftToRight:
        case TKNOperation::CopyRightToLeft:
            line = (op.WritesRight ? Tr("Copy left to right:  %1") : Tr("Copy right to left:  %1")).arg(path);
            break;
        case TKNOperation::DeleteLeft:
        case TKNOperation::DeleteRight:
            line = Tr("Delete on %1:  %2").arg(side, path);
            break;
        case TKNOperation::RemoveFolder:
            line = Tr("Remove folder on %1:  %2").arg(side, path);
            break;
        case TKNOperation::Rename:
        case TKNOperation::MoveAside:
            return Tr("Rename on %1:  %2 -> %3").arg(side, path, ShownText(op.NewPath));
        case TKNOperation::CopyWithin:
            return Tr("Copy on %1:  %2 -> %3").arg(side, path, ShownText(op.NewPath));
        case TKNOperation::SetTime:
            return Tr("Set the time on %1:  %2").arg(side, path);
        default:
            break;
    }
    if (op.KeepOld) line += Tr("  (what it replaces goes to the backup folder)");
    return line;
}

QString OpenConflictLine(const TKNTwoWayConflict& conflict)
{
    QString line = Tr("Conflict left alone:  %1").arg(ShownText(conflict.Path));
    if (!conflict.Reason.empty()) line += " (" + ShownText(conflict.Reason) + ")";
    return line;
}

QString TwoWayDoneText(const TKNUpdateOutcome& done, const TKNTwoWayOutcome& outcome)
{
    if (!outcome.Refusal.empty()) return ShownText("Refused: " + outcome.Refusal + " Nothing was changed.");
    const TKNPlanTotals& t = done.Done;
    // Skipped operations are among the engine's failures; the line names them apart.
    const int64_t listed = static_cast<int64_t>(done.Failures.size());
    const int64_t failed = std::max(outcome.Failed, listed - outcome.Skipped);
    std::string line = "Done: " + vex::CountOf(t.FilesToCopy, "file copied", "files copied") + " (" +
                       vex::CountOf(t.BytesToCopy, "byte", "bytes") + "), " + std::to_string(t.FilesToDelete) +
                       " deleted, " + vex::CountOf(t.FoldersToCreate, "folder created", "folders created") + ", " +
                       vex::CountOf(t.FoldersToRemove, "folder removed", "folders removed") + ", ";
    if (t.TimesToSet > 0) line += vex::CountOf(t.TimesToSet, "time set", "times set") + ", ";
    if (t.Renames > 0) line += std::to_string(t.Renames) + " renamed, ";
    line += std::to_string(failed) + " failed";
    if (outcome.Skipped > 0) line += ", " + std::to_string(outcome.Skipped) + " skipped (changed since the comparison)";
    if (outcome.ConflictsLeftOpen) line += ", conflicts kept both ways or left alone";
    if (outcome.LeftAlone > 0) line += ", " + std::to_string(outcome.LeftAlone) + " left alone (not known on a side)";
    line += ".";
    if (!outcome.StateError.empty()) line += " The state could not be written: " + outcome.StateError;
    if (!done.BackupFolder.empty()) line += " Backup folder: " + done.BackupFolder;
    return CountsText(line);
}

}  // namespace kn
