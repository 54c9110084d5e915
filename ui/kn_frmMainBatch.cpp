// Running a batch from the batch menu: each entry's preset is applied with the entry's action,
// compared, and updated with the entry's force flag, without confirmation; a last comparison
// shows the state afterwards. The window stays responsive throughout and Esc ends the batch.
#include <QElapsedTimer>
#include <optional>

#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitStatusBar.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitText.h"
#include "framework/vex_unitThreads.h"
#include "ui/kn_frmBatchSummary.h"
#include "ui/kn_frmConfirm.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_unitShownText.h"
#include "ui/kn_unitTwoWayView.h"

namespace kn {

namespace {

constexpr int kBatchPauseMs = 200;

// The first folder of `options` that is meant to be local but is not an existing folder, if
// any. Such a side would scan empty, and a forced update would then delete the whole other
// side as missing there.
std::optional<std::string> MissingLocalFolder(const TKNOptionsRec& options)
{
    for (const std::string& folder : {vex::GetField(options.LeftFolder), vex::GetField(options.RightFolder)})
        if (!IsRemotePath(folder) && vex::KindOf(folder) != vex::TFileKind::Folder) return folder;
    return std::nullopt;
}

}  // namespace

void TKNMainForm::RunBatch(const QString& name)
{
    if (Busy) return;
    const TKNBatchRec* found = Config.Batches.Find(name.toStdString());
    if (!found) return;
    const TKNBatchRec batch = *found;
    if (!vex::QuestionBox(this, tr("Run the batch \"%1\"?").arg(name))) return;
    SetBusy();
    // Every step's comparison reports its end; the batch keeps the window busy until it is done.
    HoldBusy = true;
    std::vector<TKNBatchStep> steps;
    int ran = 0;
    for (int i = 0; i < UsedEntries(batch) && !BatchStopped(); ++i) {
        steps.push_back(RunBatchEntry(batch.Entries[i]));
        if (steps.back().Outcome.startsWith(QLatin1String("Done"))) ++ran;
    }
    const bool stopped = BatchStopped();
    if (ran > 0 && !stopped) StartCompare(true);
    HoldBusy = false;
    ClearBusy();
    ShowBatchSummary(name, steps, stopped);
}

// The steps in the order they ran, in a window of their own, and a line in the status bar: the
// last comparison's list alone would not tell what the other steps did.
void TKNMainForm::ShowBatchSummary(const QString& name, const std::vector<TKNBatchStep>& steps, bool stopped)
{
    int done = 0;
    for (const TKNBatchStep& step : steps)
        if (step.Clean) ++done;
    const QString line =
        stopped ? tr("Batch \"%1\" stopped after %2 step(s).").arg(name).arg(steps.size())
                : tr("Batch \"%1\": %2 of %3 step(s) done without failures.").arg(name).arg(done).arg(steps.size());
    StatusBar->Panel(1)->SetText(line);
    if (closing_) return;
    if (batchSummary_) batchSummary_->close();
    batchSummary_ = new TKNBatchSummaryForm(name, steps, this);
    batchSummary_->show();
}

TKNBatchStep TKNMainForm::RunBatchEntry(const TKNBatchEntry& entry)
{
    TKNBatchStep step{QString::fromStdString(vex::GetField(entry.PresetName)),
                      TKNConfirmForm::ActionText(entry.Action, false, entry.Force != 0).remove(tr(", All Files")),
                      QString(), false};
    const TKNOptionsRec* preset = Config.Presets.Find(vex::GetField(entry.PresetName));
    if (!preset) {
        step.Outcome = tr("Skipped: the preset no longer exists.");
        return step;
    }
    PresetName = QString::fromStdString(vex::GetField(preset->Name));
    UpdateCaption();
    ApplyOptions(*preset);
    SetAction(entry.Action);
    if (std::optional<std::string> missing = MissingLocalFolder(*preset)) {
        step.Outcome = tr("Skipped: the folder \"%1\" does not exist.").arg(ShownText(*missing));
        vex::ErrorBox(this, tr("The folder \"%1\" of the preset \"%2\" does not exist; this step is skipped.")
                                .arg(ShownText(*missing), PresetName));
        return step;
    }
    if (!StartCompare(true)) {
        step.Outcome = tr("Skipped: its folders are one folder, or one lies inside the other.");
        return step;
    }
    if (!FileCompare->ErrorText.empty()) {
        step.Outcome = tr("Failed: %1").arg(ShownText(FileCompare->ErrorText).replace('\n', ' '));
        return step;
    }
    if (!BatchPause()) {
        step.Outcome = tr("Stopped.");
        return step;
    }
    if (!DoUpdate(entry.Force != 0, false, true, false, false)) {
        step.Outcome = tr("Skipped: %1").arg(updateRefused_);
        return step;
    }
    const TKNUpdateOutcome& outcome = FileCompare->LastUpdate();
    const QString done =
        updateTwoWay_ ? TwoWayDoneText(outcome, FileCompare->TwoWay->Outcome()) : CountsText(DoneLine(outcome));
    step.Outcome = outcome.Stopped ? tr("Stopped. ") + done : done;
    step.Clean = !outcome.Stopped && outcome.Failures.empty() &&
                 (!updateTwoWay_ || (!FileCompare->TwoWay->Outcome().ConflictsLeftOpen &&
                                     FileCompare->TwoWay->Outcome().StateError.empty()));
    BatchPause();
    return step;
}

bool TKNMainForm::BatchPause()
{
    if (BatchStopped()) return false;
    QElapsedTimer timer;
    timer.start();
    vex::WaitDraining([&] { return timer.elapsed() >= kBatchPauseMs || BatchStopped(); });
    return !BatchStopped();
}

// Esc sets the engine's stop flag; only the next comparison or update clears it again.
bool TKNMainForm::BatchStopped() const
{
    return FileCompare->Stop != 0;
}

}  // namespace kn
