#include "ui/kn_frmPassword.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/kn_unitConfig.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/vex_unitSecurity.h"
#include "framework/vex_unitText.h"

namespace kn {

namespace {

QLineEdit* NewPasswordEdit(QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    vex::MaskWithAsterisks(edit);
    edit->setMaxLength(static_cast<int>(vex::kMaxPasswordLength));
    return edit;
}

std::string ToBytes(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

}  // namespace

TKNPasswordForm::TKNPasswordForm(TKNConfig& config, QWidget* parent) : QDialog(parent), FConfig(config)
{
    vex::SetDialogFrame(this);
    setWindowTitle(tr("Password"));
    edOld = NewPasswordEdit(this);
    edNew = NewPasswordEdit(this);
    edConfirm = NewPasswordEdit(this);
    auto* fields = new QFormLayout;
    fields->addRow(tr("&Old Password:"), edOld);
    fields->addRow(tr("&New Password:"), edNew);
    fields->addRow(tr("&Confirm New Password:"), edConfirm);

    auto* buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    btnCancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &TKNPasswordForm::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    edOld->setFocus();
}

QString TKNPasswordForm::CheckNewPassword(const std::string& text) const
{
    if (vex::IsStorablePassword(text)) return QString();
    // Letters outside ASCII take several bytes each, so 16 of them do not fit the field.
    if (text.size() > vex::kMaxPasswordLength)
        return tr("The new password is too long! It may take at most %1 bytes; letters outside "
                  "A-Z, digits and punctuation take two or more bytes each.")
            .arg(vex::kMaxPasswordLength);
    return tr("The new password contains a character that cannot be stored! Please choose another password.");
}

void TKNPasswordForm::btnOkClick()
{
    std::string stored = vex::GetField(FConfig.Header.Password);
    if (!vex::CheckPassword(ToBytes(edOld), stored)) {
        vex::ErrorBox(this, tr("The old password is incorrect!"));
        edOld->setFocus();
        return;
    }
    if (edNew->text() != edConfirm->text()) {
        vex::ErrorBox(this, tr("The new passwords do not match! "));
        edConfirm->setFocus();
        return;
    }
    std::string newPassword = ToBytes(edNew);
    QString refusal = CheckNewPassword(newPassword);
    if (!refusal.isEmpty()) {
        vex::ErrorBox(this, refusal);
        edNew->setFocus();
        return;
    }
    // Kept in memory; the header reaches the disk when the program ends.
    vex::SetField(FConfig.Header.Password, vex::ScramblePassword(newPassword));
    const bool had = !stored.empty();
    vex::InformationBox(
        this, newPassword.empty()
                  ? (had ? tr("The password is removed: Kestrune starts without asking.") : tr("No password is set."))
                  : (had ? tr("The password is changed; it is asked for at every start.")
                         : tr("The password is set; it is asked for at every start.")));
    accept();
}

bool AskStartupPassword(std::string_view storedPassword)
{
    if (storedPassword.empty()) return true;
    // A mistyped password is asked for again; the third wrong one ends the start.
    constexpr int kTries = 3;
    for (int tries = kTries; tries > 0; --tries) {
        QString answer;
        if (!vex::PasswordBox(nullptr, QObject::tr("Password"), QObject::tr("Input your password."), answer,
                              static_cast<int>(vex::kMaxPasswordLength)) ||
            answer.isEmpty())
            return false;
        if (vex::CheckPassword(answer.toStdString(), storedPassword)) return true;
        vex::ErrorBox(nullptr, tries > 1 ? QObject::tr("The password is incorrect! Tries left: %1.").arg(tries - 1)
                                         : QObject::tr("The password is incorrect!"));
    }
    return false;
}

}  // namespace kn
