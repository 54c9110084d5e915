// The main window's two-way runs: every comparison starts here, with a two-way run when Two-way
// is chosen; the plan's totals above the list; conflicts settled row by row before the update;
// and the update step of a two-way plan, from its confirmation to the hand-over to the engine.
#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QTableView>
#include <memory>
#include <vector>

#include "framework/qt/vex_unitDialogs.h"
#include "ui/kn_frmConfirm.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_unitResultModel.h"
#include "ui/kn_unitShownText.h"
#include "ui/kn_unitTwoWayView.h"

namespace kn {

namespace {

bool PlanIsEmpty(const TKNTwoWayPlan& plan)
{
    return plan.Ops.empty() && plan.Records.empty() && plan.Forgets.empty() && plan.Conflicts.empty();
}

}  // namespace

bool TKNMainForm::StartCompare(bool wait)
{
    // One folder under two names, or one inside the other, is no pair to compare.
    if (const std::string problem =
            run_->CheckRoots(FileCompare->LeftList.Location(), FileCompare->RightList.Location(), false);
        !problem.empty()) {
        vex::ErrorBox(this, ShownText(problem));
        if (!HoldBusy) ClearBusy();
        return false;
    }
    // A new run for each comparison: its plan belongs to the folders and options compared now,
    // its state to what the roots are.
    if (action_ == TKNAction::TwoWay) {
        TKNTwoWaySettings settings;
        settings.Policy = StoredConflictPolicy(comparedOptions_.ConflictPolicy);
        for (bool right : {false, true}) settings.Roots[right ? 1 : 0] = run_->Identity(right).Key;
        FileCompare->TwoWay = std::make_shared<TKNTwoWayRun>(comparedOptions_, settings);
    } else {
        FileCompare->TwoWay.reset();
    }
    FileCompare->Compare(wait);
    return true;
}

void TKNMainForm::CreateTwoWayControls()
{
    lblTwoWay = new QLabel(centralWidget());
    lblTwoWay->setObjectName("lblTwoWay");
    StyleNotice(lblTwoWay);
    lblTwoWay->hide();
    static_cast<QBoxLayout*>(centralWidget()->layout())->insertWidget(1, lblTwoWay);
    // On the list itself: the keys act on its current row, the menu key opens the same choices.
    for (int i = 0; i < 5; ++i) {
        const TKNConflictChoice& choice = kConflictChoices[i];
        actSettle[i] = new QAction(tr("Settle conflict: %1").arg(tr(choice.Caption)), ListViewFiles);
        actSettle[i]->setObjectName(QStringLiteral("actSettle%1").arg(i + 1));
        actSettle[i]->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + i)));
        actSettle[i]->setShortcutContext(Qt::WidgetShortcut);
        actSettle[i]->setStatusTip(tr(choice.Hint));
        const TKNConflictPolicy policy = choice.Policy;
        connect(actSettle[i], &QAction::triggered, this, [this, policy] { SettleCurrentConflict(policy); });
        ListViewFiles->addAction(actSettle[i]);
    }
    ListViewFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListViewFiles, &QWidget::customContextMenuRequested, this, &TKNMainForm::ShowListMenu);
}

// One menu a click: a conflict row of a two-way plan offers its settlements, any other place
// the list's menu.
void TKNMainForm::ShowListMenu(const QPoint& position)
{
    const QModelIndex at = ListViewFiles->indexAt(position);
    if (at.isValid()) ListViewFiles->setCurrentIndex(at);
    const QPoint global = ListViewFiles->viewport()->mapToGlobal(position);
    const TKNTwoWayRun* run = model_->ShownTwoWay();
    const int row = ListViewFiles->currentIndex().row();
    if (Busy || !run || run->RowDecision(*FileCompare, row).Op != TKNOperation::Conflict) {
        MainPopupMenu->popup(global);
        return;
    }
    QMenu menu(this);
    for (QAction* settle : actSettle) menu.addAction(settle);
    menu.exec(global);
}

bool TKNMainForm::SettleCurrentConflict(TKNConflictPolicy policy)
{
    TKNTwoWayRun* run = model_->ShownTwoWay();
    const TMyFileOpt* row = model_->Row(ListViewFiles->currentIndex().row());
    if (Busy || !run || !row) return false;
    if (!run->SettleConflict(TKNTwoWayRun::RowPath(*FileCompare, *row), policy)) return false;
    model_->TwoWayPlanChanged();
    ShowTwoWayPlan();
    return true;
}

// Also the legend under the list, which follows the action.
void TKNMainForm::ShowTwoWayPlan()
{
    const bool shown = action_ == TKNAction::TwoWay;
    lblLegend->setText(shown ? TwoWayLegend()
                             : tr("Struck through: replaced or deleted by the update.   Marks: \u2192 \u2190 copy, "
                                  "\u00d7 delete, + new folder, A attributes, T time, \u00b7 nothing."));
    const TKNTwoWayRun* run = FileCompare->TwoWay.get();
    if (!shown || !run || !compared_ || runInUse_) {
        lblTwoWay->hide();
        return;
    }
    QString text = TwoWayBlocked();
    if (text.isEmpty()) {
        text = tr("Two-way plan: %1.").arg(CountsText(run->Summary()));
        if (run->FirstRun())
            text +=
                tr("  First run for these folders: nothing is deleted, and where both sides differ the "
                   "older file is kept in the backup folder.");
    }
    lblTwoWay->setText(text);
    lblTwoWay->setToolTip(text);
    lblTwoWay->show();
}

QString TKNMainForm::TwoWayBlocked() const
{
    const TKNTwoWayRun* run = FileCompare->TwoWay.get();
    if (!run) return tr("The list was compared for another action: compare (F5) to see the two-way plan.");
    // The run belongs to the engine's threads until the engine is idle again.
    if (runInUse_) return tr("A comparison or update is running.");
    if (!run->Problem().empty()) return tr("No two-way plan: %1").arg(ShownText(run->Problem()));
    if (!run->Ready()) return tr("No two-way plan: the comparison did not end.");
    if (const std::string refusal = run->Refusal(); !refusal.empty())
        return tr("The two-way update is refused: %1").arg(ShownText(refusal));
    if (PlanIsEmpty(run->Plan())) return tr("Nothing to do: both sides are in line.");
    return {};
}

bool TKNMainForm::DoTwoWayUpdate(bool Wait, bool CompareAfterUpdate, bool Confirm)
{
    if (const QString blocked = TwoWayBlocked(); !blocked.isEmpty()) {
        updateRefused_ = blocked;
        vex::ErrorBox(this, blocked);
        return false;
    }
    TKNTwoWayRun& run = *FileCompare->TwoWay;
    SetBusy();
    bool backup = false;
    if (Confirm && !ExpertMode) {
        TKNConfirmForm form(this);
        form.SetContent(ShownText(FileCompare->LeftList.Location()), ShownText(FileCompare->RightList.Location()),
                        TKNConfirmForm::ActionText(TKNAction::TwoWay, false, false));
        form.SetTotals(CountsText(run.Summary()));
        ListTwoWayOperations(form);
        if (form.exec() != QDialog::Accepted) {
            ClearBusy();
            updateRefused_ = tr("the update was cancelled.");
            return false;
        }
        backup = form.BackupChecked();
    }
    // Both sides may lose entries: the one guard weighs each, and the pair's lock is taken.
    if (!UpdateAllowed(OpTotals(run.Plan().Ops), TKNAction::TwoWay, Confirm)) {
        ClearBusy();
        return false;
    }
    CollectSelection(false);
    updateSteps_ = static_cast<int64_t>(run.Plan().Ops.size());
    progress_.Start(OpTotals(run.Plan().Ops));
    updateTwoWay_ = true;
    runInUse_ = true;
    silenceErrors_ = false;
    FileCompare->Update(TKNAction::TwoWay, false, Selection, Wait, CompareAfterUpdate, backup);
    return true;
}

// The operations in the order the run carries them out, then the conflicts it leaves alone;
// each line made only when it comes into view.
void TKNMainForm::ListTwoWayOperations(TKNConfirmForm& form)
{
    const TKNTwoWayPlan& plan = FileCompare->TwoWay->Plan();
    auto open = std::make_shared<std::vector<const TKNTwoWayConflict*>>();
    for (const TKNTwoWayConflict& conflict : plan.Conflicts)
        if (conflict.Settled == TKNConflictPolicy::Skip) open->push_back(&conflict);
    const int ops = static_cast<int>(plan.Ops.size());
    form.SetOperations(ops + static_cast<int>(open->size()), [&plan, open, ops](int i) {
        return i < ops ? TwoWayOpLine(plan.Ops[static_cast<std::size_t>(i)])
                       : OpenConflictLine(*(*open)[static_cast<std::size_t>(i - ops)]);
    });
}

}  // namespace kn
