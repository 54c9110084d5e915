// The confirmation shown before an update that the user starts: both folders, the action about
// to be carried out, and the only place where a backup of what the update overwrites or
// deletes is asked for. Created, shown modally, read and freed by one update step.
#pragma once

#include <QDialog>

#include "engine/kn_unitCompareOptions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kn {

class TKNConfirmForm : public QDialog {
    Q_OBJECT

public:
    explicit TKNConfirmForm(QWidget* parent = nullptr);

    // The text of the action field: the direction of `action` (anything but the two fixed
    // directions reads "Auto"), then the scope, then ", Force Update" when forced.
    // ActionText(TKNAction::RightToLeft, true, true) == "Right to Left, Selection Only, Force Update".
    static QString ActionText(TKNAction action, bool selectionOnly, bool force);
    // Fills the three read-only fields.
    void SetContent(const QString& leftFolder, const QString& rightFolder, const QString& actionText);
    // The line under the action: what the update is about to do, e.g. "12 files to copy
    // (3.4 MB), 328 to delete, 2 folders to create".
    void SetTotals(const QString& totals);
    bool BackupChecked() const;

    // A length laid out for 96 dots per inch, in pixels at `dpi`.
    static int ScaleToDpi(int pixels, double dpi);

    QLabel* Image1;
    QLabel* Label4;
    QLabel* Label2;
    QLineEdit* edLeftFolder;
    QLabel* Label1;
    QLineEdit* edRightFolder;
    QLabel* Label3;
    QLineEdit* edAction;
    QLabel* lblTotals;
    QCheckBox* cbBackup;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QPushButton* btnHelp;

private:
    QLineEdit* NewFolderEdit();
    void PlaceControls(double dpi);
    void btnHelpClick();
};

}  // namespace kn
