// The desktop program's command line: "/e" starts in expert mode, "/o FOLDER" compares FOLDER
// with a right folder the user picks, "/d FOLDER" deletes FOLDER's contents after confirmation
// and then the folder itself when it is empty.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

#include "framework/qt/vex_unitDialogs.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitText.h"
#include "ui/kn_frmMain.h"

namespace kn {

namespace {

// A right folder text that names no folder: the right side scans empty and nothing is
// written or deleted there.
const QString kNoFolder = QStringLiteral("CC:");

bool IsSwitch(const QString& param, const char* name)
{
    return vex::SameTextAscii(param.toStdString(), name);
}

// The parameter as an absolute, clean path, so that a relative folder given in a shell means
// what the user sees there.
QString AbsoluteFolder(const QString& param)
{
    return QDir::cleanPath(QFileInfo(param).absoluteFilePath());
}

bool IsExistingFolder(const QString& folder)
{
    return vex::KindOf(folder.toStdString()) == vex::TFileKind::Folder;
}

}  // namespace

bool TKNMainForm::ApplyCommandLine(const QStringList& params)
{
    SetExpertMode(!params.isEmpty() && IsSwitch(params.first(), "/e"));
    if (params.size() <= 1) return true;
    const QStringList folders = params.mid(1);
    if (IsSwitch(params.first(), "/o")) {
        CommandLineCompare(folders);
        return true;
    }
    if (IsSwitch(params.first(), "/d")) {
        CommandLineDelete(folders);
        return false;
    }
    vex::ErrorBox(this, tr("Command line error!"));
    return true;
}

void TKNMainForm::CommandLineCompare(const QStringList& folders)
{
    if (folders.size() > 1) {
        vex::ErrorBox(this, tr("Too many compare parameters!"));
        return;
    }
    const QString leftFolder = AbsoluteFolder(folders.first());
    if (!IsExistingFolder(leftFolder)) {
        vex::ErrorBox(this, tr("Compare param must be a folder!"));
        return;
    }
    QString rightFolder;
    if (!vex::BrowseForFolder(this, tr("Browse for right folder."), rightFolder)) return;
    show();
    QApplication::processEvents();
    edFolderLeft->setText(leftFolder);
    edFolderRight->setText(rightFolder);
    FindAction("actCompareCompare")->trigger();
}

void TKNMainForm::CommandLineDelete(const QStringList& folders)
{
    if (folders.size() > 1) {
        vex::ErrorBox(this, tr("Too many delete parameters!"));
        return;
    }
    const QString folder = AbsoluteFolder(folders.first());
    // A link is refused: its contents belong to the folder it points to, not to the one named.
    if (!IsExistingFolder(folder) || vex::IsSymLink(folder.toStdString())) {
        vex::ErrorBox(this, tr("Delete param must be a folder!"));
        return;
    }
    show();
    QApplication::processEvents();
    edFolderLeft->setText(folder);
    edFolderRight->setText(kNoFolder);
    FindAction("actCompareCompare")->trigger();
    FileCompare->WaitIdle();
    SetAction(TKNAction::RightToLeft);
    // Only an emptied folder goes; one that still holds entries stays, unreported. A cancelled
    // confirmation leaves even an empty folder alone.
    // The question names the deletion of everything, so the mass-deletion guard asks nothing more.
    if (vex::QuestionBox(this, tr("Are you sure to delete all files and folders?"))) {
        deleteAllAsked_ = true;
        const bool started = DoUpdate(true, false, true, false, true);
        deleteAllAsked_ = false;
        if (started) ::rmdir(folder.toStdString().c_str());
    }
    ClearBusy();
}

}  // namespace kn
