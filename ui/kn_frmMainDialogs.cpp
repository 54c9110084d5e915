// The main window's commands that open other windows: configuration, preset and batch
// managers, password, and the differences of the selected pair.
#include <QLineEdit>
#include <QTableView>
#include <exception>
#include <stdexcept>

#include "engine/kn_unitScanProviderSide.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/vex_unitText.h"
#include "ui/kn_frmBatchMgr.h"
#include "ui/kn_frmConfig.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_frmPassword.h"
#include "ui/kn_frmPresetMgr.h"
#include "ui/kn_frmShowDifferences.h"
#include "ui/kn_unitResultModel.h"
#include "ui/kn_unitShownText.h"

namespace kn {

void TKNMainForm::actCompareConfigurationExecute()
{
    StoreFolders();
    TKNConfigForm dialog(Config, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const TKNOptionsRec& options = Config.Header.CurrentOptions;
    edFolderLeft->setText(QString::fromStdString(vex::GetField(options.LeftFolder)));
    edFolderRight->setText(QString::fromStdString(vex::GetField(options.RightFolder)));
    SetAction(ActionOf(dialog.ActionIndex()));
}

void TKNMainForm::actPresetManagerExecute()
{
    TKNPresetManagerForm dialog(Config, this);
    if (dialog.exec() == QDialog::Accepted) BuildPresetMenus();
}

void TKNMainForm::actBatchManagerExecute()
{
    TKNBatchManagerForm dialog(Config, this);
    if (dialog.exec() == QDialog::Accepted) BuildBatchMenus();
}

void TKNMainForm::actHelpPasswordExecute()
{
    TKNPasswordForm dialog(Config, this);
    dialog.exec();
}

void TKNMainForm::actCompareShowDifferencesExecute()
{
    ShowDifferencesOfRow(TopSelectedRow());
}

void TKNMainForm::ShowDifferencesOfRow(int index)
{
    if (Busy || !RowHasTwoTexts(index) || !FindAction("actCompareShowDifferences")->property("knAvailable").toBool())
        return;
    const TMyFileOpt* row = model_->Row(index);
    TKNScanProvider* left = FileCompare->LeftList.Provider.get();
    TKNScanProvider* right = FileCompare->RightList.Provider.get();
    if (!row || !left || !right) return;
    // A local side names the file itself; a file on a server is named by its side's location
    // (with the options the scan opened it with) and path, through which the window fetches it
    // and saves it back.
    auto side = [](const TKNFileBuffer& list, const TKNFileRec& rec) {
        TKNScanProvider* provider = list.Provider.get();
        TDiffSideSource source;
        if (!list.IsRemote()) {
            provider->Open(list.Folder);
            source.FileName = QString::fromStdString(provider->LocalFileName(rec));
            source.ShownName = source.FileName;
            return source;
        }
        TKNSideFile file;
        file.Location = list.Location();
        std::string reason;
        if (!SidePathOf(rec, list.Folder, file.Path, reason)) throw std::runtime_error(reason);
        std::string shown = provider->GetPath(rec).str();
        if (!shown.empty() && shown.back() != '/') shown += '/';
        source.ShownName = QString::fromStdString(HideLocationPasswords(shown + provider->GetName(rec)));
        source.Server = std::move(file);
        return source;
    };
    TDiffSideSource leftSide, rightSide;
    try {
        rightSide = side(FileCompare->RightList, row->Right);
        leftSide = side(FileCompare->LeftList, row->Left);
    } catch (const std::exception& e) {
        right->Close();
        left->Close();
        vex::ErrorBox(this, ShownText(e.what()));
        return;
    }
    right->Close();
    left->Close();
    const TKNConfigHeader& header = Config.Header;
    // The window is not modal: it hands back its size and settings when it closes.
    TKNShowDifferencesForm* form = ShowFileDifferences(
        this, leftSide, rightSide, QSize(header.DiffWindowWidth, header.DiffWindowHeight),
        ReadDiffWindowSettings(header),
        [this](QSize size, const TDiffWindowSettings& settings) { KeepDifferencesSettings(size, settings); });
    // A saved file is no longer what the row says: the list waits for a comparison.
    if (form)
        connect(form, &TKNShowDifferencesForm::Saved, this, [this] {
            savedSinceCompare_ = true;
            RefreshResultState();
        });
}

void TKNMainForm::KeepDifferencesSettings(QSize size, const TDiffWindowSettings& settings)
{
    TKNConfigHeader& header = Config.Header;
    header.DiffWindowWidth = size.width();
    header.DiffWindowHeight = size.height();
    WriteDiffWindowSettings(settings, header);
}

void TKNMainForm::SaveSettings()
{
    // The differences windows still open hand in what they would hand in when closed.
    for (const TKNShowDifferencesForm* form : findChildren<TKNShowDifferencesForm*>())
        if (form->isVisible()) KeepDifferencesSettings(form->size(), form->Settings());
    SavePlacement();
}

bool TKNMainForm::PasswordAllowsStart() const
{
    return AskStartupPassword(vex::GetField(Config.Header.Password));
}

}  // namespace kn
