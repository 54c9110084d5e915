// Running a batch from the batch menu: each entry's preset is applied with the entry's action,
// compared, and updated with the entry's force flag, without confirmation; a last comparison
// shows the state afterwards. The window stays responsive throughout and Esc ends the batch.
#include <QElapsedTimer>
#include <optional>

#include "framework/qt/vex_unitDialogs.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitText.h"
#include "framework/vex_unitThreads.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_unitShownText.h"

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
    if (!vex::QuestionBox(this, tr("Are you sure to execute the batch \"%1\"?").arg(name))) return;
    SetBusy();
    // Every step's comparison reports its end; the batch keeps the window busy until it is done.
    HoldBusy = true;
    int ran = 0;
    for (int i = 0; i < UsedEntries(batch) && !BatchStopped(); ++i)
        if (RunBatchEntry(batch.Entries[i])) ++ran;
    if (ran > 0 && !BatchStopped()) FileCompare->Compare(true);
    HoldBusy = false;
    ClearBusy();
}

bool TKNMainForm::RunBatchEntry(const TKNBatchEntry& entry)
{
    const TKNOptionsRec* preset = Config.Presets.Find(vex::GetField(entry.PresetName));
    if (!preset) return false;
    PresetName = QString::fromStdString(vex::GetField(preset->Name));
    UpdateCaption();
    ApplyOptions(*preset);
    SetAction(entry.Action);
    if (std::optional<std::string> missing = MissingLocalFolder(*preset)) {
        vex::ErrorBox(this, tr("The folder \"%1\" of the preset \"%2\" does not exist; this step is skipped.")
                                .arg(ShownText(*missing), PresetName));
        return false;
    }
    FileCompare->Compare(true);
    if (!BatchPause()) return true;
    DoUpdate(entry.Force != 0, false, true, false, false);
    BatchPause();
    return true;
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
