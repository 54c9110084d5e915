// The confirmation shown before an update that the user starts: both folders, the action about
// to be carried out, its totals, every planned operation, and the only place where a backup of
// what the update overwrites or deletes is asked for. Resizable; created, shown modally, read
// and freed by one update step.
#pragma once

#include <QDialog>
#include <functional>

#include "engine/kn_unitCompareOptions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace kn {

class TKNConfirmForm : public QDialog {
    Q_OBJECT

public:
    explicit TKNConfirmForm(QWidget* parent = nullptr);

    // The text of the action field: the direction of `action` ("Two-way" for a two-way run,
    // an unknown value "Auto"), then the scope, then ", Force Update" when forced (a two-way run never is).
    // ActionText(TKNAction::RightToLeft, true, true) == "Right to Left, Selection Only, Force Update".
    static QString ActionText(TKNAction action, bool selectionOnly, bool force);
    // Fills the three read-only fields.
    void SetContent(const QString& leftFolder, const QString& rightFolder, const QString& actionText);
    // The line under the action: what the update is about to do, e.g. "12 files to copy
    // (3.4 MB), 328 to delete, 2 folders to create"; wrapped, never cut.
    void SetTotals(const QString& totals);
    // The planned operations in the order the update takes them: `count` lines, each made by
    // `line` only when it comes into view, so a plan of a million rows costs nothing here.
    void SetOperations(int count, std::function<QString(int)> line);
    bool BackupChecked() const;

    QLabel* Image1;
    QLabel* Label4;
    QLabel* Label2;
    QLineEdit* edLeftFolder;
    QLabel* Label1;
    QLineEdit* edRightFolder;
    QLabel* Label3;
    QLineEdit* edAction;
    QLabel* lblTotals;
    QLabel* lblOperations;
    QListView* lvOperations;
    QCheckBox* cbBackup;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QPushButton* btnHelp;

private:
    QLineEdit* NewFolderEdit();
    void LayOutControls();
    void btnHelpClick();
};

}  // namespace kn
