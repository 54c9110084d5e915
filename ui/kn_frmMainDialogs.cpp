// The main window's commands that open the configuration, preset, batch and password dialogs.
#include <QLineEdit>

#include "framework/vex_unitText.h"
#include "ui/kn_frmBatchMgr.h"
#include "ui/kn_frmConfig.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_frmPassword.h"
#include "ui/kn_frmPresetMgr.h"

namespace kn {

void TKNMainForm::actCompareConfigurationExecute()
{
    // The dialog edits the folders the window shows; they stay in the options even after Cancel.
    StoreFolders();
    TKNConfigForm form(Config, this);
    if (form.exec() != QDialog::Accepted)
        return;
    const TKNOptionsRec& options = Config.Header.CurrentOptions;
    edFolderLeft->setText(QString::fromStdString(vex::GetField(options.LeftFolder)));
    edFolderRight->setText(QString::fromStdString(vex::GetField(options.RightFolder)));
    SetAction(form.ActionIndex());
}

void TKNMainForm::actPresetManagerExecute()
{
    TKNPresetManagerForm form(Config, this);
    if (form.exec() == QDialog::Accepted)
        BuildPresetMenus();
}

void TKNMainForm::actBatchManagerExecute()
{
    TKNBatchManagerForm form(Config, this);
    if (form.exec() == QDialog::Accepted)
        BuildBatchMenus();
}

void TKNMainForm::actHelpPasswordExecute()
{
    TKNPasswordForm form(Config, this);
    form.exec();
}

}  // namespace kn
