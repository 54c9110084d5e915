// The confirmation shown before an update that the user starts: both folders, the action about
// to be carried out, and the only place where a backup of what the update overwrites or
// deletes is asked for. Created, shown modally, read and freed by one update step.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kn {

class TKNConfirmForm : public QDialog {
    Q_OBJECT

public:
    explicit TKNConfirmForm(QWidget* parent = nullptr);

    // The text of the action field: the direction of `action` (caLeftToRight, caRightToLeft,
    // anything else reads "Auto"), then the scope, then ", Force Update" when forced.
    // ActionText(caRightToLeft, true, true) == "Right to Left, Selection Only, Force Update".
    static QString ActionText(int action, bool selectionOnly, bool force);
    // Fills the three read-only fields.
    void SetContent(const QString& leftFolder, const QString& rightFolder, const QString& actionText);
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
