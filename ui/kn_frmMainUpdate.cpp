// The main window's update step: the row indexes in view order, the plan shown in the list and
// the confirmation, the guard against mass deletion, the hand over to the engine's update, how
// its failures and its end are reported; and the four update commands built on it.
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <functional>
#include <memory>

#include "framework/qt/vex_unitDialogs.h"
#include "ui/kn_frmConfirm.h"
#include "ui/kn_frmFailures.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_unitResultModel.h"
#include "ui/kn_unitShownText.h"
#include "ui/kn_unitTwoWayView.h"

namespace kn {

void TKNMainForm::CollectSelection(bool selectionOnly)
{
    model_->SetSelecting(true);
    Selection.clear();
    // The list shows the engine's rows in their own (sorted) order, so view order is row order.
    if (selectionOnly) {
        for (const QModelIndex& index : ListViewFiles->selectionModel()->selectedRows())
            Selection.push_back(index.row());
        std::sort(Selection.begin(), Selection.end());
    } else {
        Selection.resize(static_cast<std::size_t>(model_->ItemCount()));
        for (std::size_t i = 0; i < Selection.size(); ++i) Selection[i] = static_cast<int>(i);
        // The pairs whose contents are equal and whose times differ are no rows, but an update of
        // the whole result sets their times, as kestrune-cli's does.
        const int timeOnly = static_cast<int>(FileCompare->Items.size());
        for (std::size_t i = 0; i < FileCompare->TimeOnlyItems.size(); ++i)
            Selection.push_back(timeOnly + static_cast<int>(i));
    }
    model_->SetSelecting(false);
}

namespace {

// The window's answers to the run layer: a mass deletion is asked about, or refused in a batch.
class TWindowRunObserver : public TKNRunObserver {
public:
    explicit TWindowRunObserver(std::function<bool(int64_t, int64_t, const std::string&)> allow)
        : allow_(std::move(allow))
    {
    }
    bool AllowMassDeletion(int64_t deletes, int64_t entries, const std::string& folder) override
    {
        return allow_(deletes, entries, folder);
    }

private:
    std::function<bool(int64_t, int64_t, const std::string&)> allow_;
};

}  // namespace

void TKNMainForm::CreateRunLayer()
{
    runObserver_ =
        std::make_unique<TWindowRunObserver>([this](int64_t deletes, int64_t entries, const std::string& folder) {
            return MassDeletionAllowed(deletes, entries, folder, askDeletion_);
        });
    run_ = std::make_unique<TKNRun>(*FileCompare, *runObserver_);
}

// The guard asks (or, for a batch step, refuses) when the plan deletes most of a side: an empty
// mount point or a mistyped folder that happens to exist looks just like that. Then the pair's
// lock: another run of these folders (the command line's, say) keeps this one from starting.
bool TKNMainForm::UpdateAllowed(const TKNPlanTotals& plan, TKNAction direction, bool ask)
{
    askDeletion_ = ask;
    if (!run_->Guard(plan, direction, std::nullopt).empty()) {
        updateRefused_ = tr("its update would delete most of a side.");
        return false;
    }
    if (const std::string busy = run_->Lock(false); !busy.empty()) {
        updateRefused_ = ShownText(busy);
        vex::ErrorBox(this, updateRefused_);
        return false;
    }
    return true;
}

// Asked only once the guard tripped; "/d" on the command line has agreed to it beforehand.
bool TKNMainForm::MassDeletionAllowed(int64_t deletes, int64_t entries, const std::string& folder, bool ask)
{
    if (deleteAllAsked_) return true;
    const QString counts =
        tr("%1 of the %2 entries in \"%3\"").arg(QString::number(deletes), QString::number(entries), ShownText(folder));
    if (!ask) {
        vex::ErrorBox(this, tr("This step is skipped: its update deletes %1.").arg(counts));
        return false;
    }
    QMessageBox box(QMessageBox::Question, vex::ApplicationTitle(), tr("This update deletes %1. Go on?").arg(counts),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool TKNMainForm::DoUpdate(bool Force, bool SelectionOnly, bool Wait, bool CompareAfterUpdate, bool Confirm)
{
    // Expert mode and batches included: the rows must belong to the folders the fields show.
    updateRefused_ = tr("the list does not belong to the folders shown.");
    if (!ResultIsCurrent()) {
        RefreshResultState();
        return false;
    }
    updateTwoWay_ = false;
    // A two-way run carries out its whole plan: force and selection do not apply.
    if (action_ == TKNAction::TwoWay) return DoTwoWayUpdate(Wait, CompareAfterUpdate, Confirm);
    const TKNAction direction = action_;
    SetBusy();
    CollectSelection(SelectionOnly);
    const TKNPlanTotals plan = PlanTotals(*FileCompare, Selection, direction, Force);
    // While the user decides, the list shows what exactly this update does.
    model_->SetPlan(direction, Force);
    auto cancel = [this](const QString& why) {
        model_->SetPlan(action_, false);
        ClearBusy();
        updateRefused_ = why;
        return false;
    };
    bool backup = false;
    if (Confirm && !ExpertMode) {
        TKNConfirmForm form(this);
        form.SetContent(ShownText(FileCompare->LeftList.Location()), ShownText(FileCompare->RightList.Location()),
                        TKNConfirmForm::ActionText(direction, SelectionOnly, Force));
        form.SetTotals(CountsText(PlanSummary(plan)));
        ListPlannedOperations(form, direction, Force);
        if (form.exec() != QDialog::Accepted) return cancel(tr("the update was cancelled."));
        backup = form.BackupChecked();
    }
    if (!UpdateAllowed(plan, direction, Confirm)) return cancel(updateRefused_);
    updateSteps_ = static_cast<int64_t>(Selection.size());
    progress_.Start(plan);
    silenceErrors_ = false;
    FileCompare->Update(direction, Force, Selection, Wait, CompareAfterUpdate, backup);
    return true;
}

// The operations in the order the update's passes take them: new folders and attributes, then
// files, then folder removals deepest first.
void TKNMainForm::ListPlannedOperations(TKNConfirmForm& form, TKNAction direction, bool force)
{
    std::vector<int> passes[3];
    const TKNPairCaps caps = PairCapsOf(*FileCompare);
    for (int index : Selection) {
        const TMyFileOpt* row = FileCompare->RowAt(index);
        if (!row) continue;
        const TKNOperation op = PlanRow(*row, direction, force, caps).Op;
        if (op == TKNOperation::Nothing) continue;
        const int pass = op == TKNOperation::CreateFolder || op == TKNOperation::SetAttributes ? 0
                         : op == TKNOperation::RemoveFolder                                    ? 2
                                                                                               : 1;
        passes[pass].push_back(index);
    }
    std::reverse(passes[2].begin(), passes[2].end());
    auto planned = std::make_shared<std::vector<int>>(std::move(passes[0]));
    for (int pass : {1, 2}) planned->insert(planned->end(), passes[pass].begin(), passes[pass].end());
    form.SetOperations(static_cast<int>(planned->size()), [this, planned, direction, force, caps](int i) {
        const TMyFileOpt& row = *FileCompare->RowAt((*planned)[static_cast<std::size_t>(i)]);
        const TKNPlannedOp op = PlanRow(row, direction, force, caps);
        const bool writtenExists = !(op.WritesRight ? row.Right : row.Left).Path.empty();
        const bool right = writtenExists ? op.WritesRight : !op.WritesRight;
        return QString::fromStdString(PlanText(op)) + ":  " +
               RelativeName(right ? row.Right : row.Left, right ? FileCompare->RightRootLen : FileCompare->LeftRootLen);
    });
}

// The first failure of a run shows its box; the user may silence the rest of the run, whose
// failures the failures window lists at the end anyway.
void TKNMainForm::FileCompareError(const std::string& message)
{
    if (silenceErrors_ || closing_) return;
    QMessageBox box(QMessageBox::Critical, vex::ApplicationTitle(), ShownText(message), QMessageBox::Ok, this);
    auto* silence = new QCheckBox(tr("Don't show further errors of this update"), &box);
    box.setCheckBox(silence);
    box.exec();
    silenceErrors_ = silence->isChecked();
}

// The run's end, before any follow-up comparison: the Done totals for the status bar, the
// failures window, and the end of the busy state when no comparison follows.
void TKNMainForm::FileCompareUpdateDone()
{
    runInUse_ = false;
    // The pair's lock ends with the run, or with the comparison that follows it.
    const TKNUpdateOutcome& outcome = FileCompare->LastUpdate();
    // A two-way run's line also names what it skipped and the conflicts it left open.
    updateDone_ = updateTwoWay_ && FileCompare->TwoWay ? TwoWayDoneText(outcome, FileCompare->TwoWay->Outcome())
                                                       : CountsText(DoneLine(outcome));
    awaitingFollowUp_ = FileCompare->CompareAfterUpdate && !outcome.Stopped;
    model_->SetPlan(action_, false);
    if (!outcome.Failures.empty() && !closing_) {
        if (failuresForm_) failuresForm_->close();
        failuresForm_ = new TKNFailuresForm(outcome.Failures, this);
        failuresForm_->show();
    }
    if (awaitingFollowUp_) return;
    run_->Unlock();
    if (outcome.Stopped) {
        // The rows no longer tell what is on disk: a new comparison must come first.
        SetUpdateCommands(false);
        ShowStatus(tr("Stopped."), updateDone_);
    }
    if (!HoldBusy) ClearBusy();
}

TKNFailuresForm* TKNMainForm::FailuresWindow() const
{
    return failuresForm_;
}

void TKNMainForm::actCompareUpdateExecute()
{
    DoUpdate(false, false, false, true, true);
}

void TKNMainForm::actCompareUpdateSelectionExecute()
{
    DoUpdate(false, true, false, true, true);
}

void TKNMainForm::actCompareForceUpdateExecute()
{
    DoUpdate(true, false, false, true, true);
}

void TKNMainForm::actCompareForceUpdateSelectionExecute()
{
    DoUpdate(true, true, false, true, true);
}

}  // namespace kn
