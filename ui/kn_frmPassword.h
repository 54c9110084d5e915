// The password: the dialog that sets, changes and removes it, and the prompt that guards the
// start of the program. The header keeps the password scrambled (vex::ScramblePassword).
#pragma once

#include <QDialog>
#include <string_view>

class QLineEdit;
class QPushButton;

namespace kn {

class TKNConfig;

class TKNPasswordForm : public QDialog {
    Q_OBJECT

public:
    TKNPasswordForm(TKNConfig& config, QWidget* parent = nullptr);

    QLineEdit* edOld;
    QLineEdit* edNew;
    QLineEdit* edConfirm;
    QPushButton* btnOk;
    QPushButton* btnCancel;

private:
    void btnOkClick();
    // The refusal of a new password that could never be confirmed later, or "" to accept it.
    QString CheckNewPassword(const std::string& text) const;

    TKNConfig& FConfig;
};

// Asks for the password when `storedPassword` (the header's scrambled field) is not empty.
// True when the start may go on; false after Cancel, an empty answer (both silent) or a wrong
// password (after an error box): the program must then end without showing a window.
bool AskStartupPassword(std::string_view storedPassword);

}  // namespace kn
