// The password dialog (set, change, remove, refusals) and the prompt at start.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "config_fixture.h"
#include "framework/vex_unitSecurity.h"
#include "framework/vex_unitText.h"
#include "modal_answers.h"
#include "ui/kn_frmPassword.h"

using namespace testing_dialogs;

namespace {

struct PasswordRow {
    const char* name;
    const char* current;  // plain text of the password set before; "" = none
    QString oldText;
    QString newText;
    QString confirmText;
    bool accepted;        // the dialog closes with OK
    const char* message;  // the refusal, or the confirmation of an accepted change
    const char* after;    // plain text of the password afterwards
};

TEST(PasswordForm, SetsChangesRemovesAndRefuses)
{
    const QString sixteenWide(16, QChar(0x00E9));  // 16 characters, 32 bytes
    const PasswordRow rows[] = {
        {"set with no password before", "", "", "abc", "abc", true,
         "The password is set; it is asked for at every start.", "abc"},
        {"change", "secret", "secret", "other", "other", true,
         "The password is changed; it is asked for at every start.", "other"},
        {"remove with both new fields empty", "secret", "secret", "", "", true,
         "The password is removed: Kestrune starts without asking.", ""},
        {"wrong old password", "secret", "wrong", "x", "x", false, "The old password is incorrect!", "secret"},
        {"old password in the other case", "secret", "Secret", "x", "x", false, "The old password is incorrect!",
         "secret"},
        {"old password missing", "secret", "", "", "", false, "The old password is incorrect!", "secret"},
        {"new passwords differ", "", "", "abc", "abd", false, "The new passwords do not match! ", ""},
        {"new password too long to store", "", "", sixteenWide, sixteenWide, false,
         "The new password is too long! It may take at most 16 bytes; letters outside A-Z, digits and "
         "punctuation take two or more bytes each.",
         ""},
    };
    for (const PasswordRow& row : rows) {
        SCOPED_TRACE(row.name);
        ConfigFixture fx;
        vex::SetField(fx.Config().Header.Password, vex::ScramblePassword(row.current));
        kn::TKNPasswordForm form(fx.Config());
        EXPECT_TRUE(form.edOld->text().isEmpty() && form.edNew->text().isEmpty());
        form.edOld->setText(row.oldText);
        form.edNew->setText(row.newText);
        form.edConfirm->setText(row.confirmText);
        ModalAnswers answers({ModalAnswers::Close()});
        form.btnOk->click();
        ASSERT_EQ(answers.Seen.size(), 1);
        EXPECT_EQ(answers.Seen[0].toStdString(), row.message);
        EXPECT_EQ(form.result() == QDialog::Accepted, row.accepted);
        EXPECT_TRUE(answers.Unexpected.isEmpty()) << answers.Unexpected.join("|").toStdString();
        EXPECT_EQ(vex::GetField(fx.Config().Header.Password), vex::ScramblePassword(row.after));
    }
}

TEST(PasswordForm, StoredFormIsPaddedToAnEvenLength)
{
    ConfigFixture fx;
    kn::TKNPasswordForm form(fx.Config());
    form.edNew->setText("abc");
    form.edConfirm->setText("abc");
    Click(form.btnOk, {ModalAnswers::Close()});
    EXPECT_EQ(vex::GetField(fx.Config().Header.Password).size(), 4u);
    EXPECT_EQ(form.edNew->maxLength(), 16);
    EXPECT_EQ(form.edOld->echoMode(), QLineEdit::Password);
}

struct StartRow {
    const char* name;
    const char* stored;  // plain text; "" = no password
    std::vector<ModalAnswers::Step> steps;
    bool goesOn;
    QStringList seen;
};

TEST(StartupPassword, OnlyTheRightPasswordLetsTheProgramStart)
{
    const QString prompt = QStringLiteral("Input your password.");
    const StartRow rows[] = {
        {"no password asks nothing", "", {}, true, {}},
        {"right password", "pw12", {ModalAnswers::Type("pw12")}, true, {prompt}},
        {"wrong letter case, then cancelled",
         "pw12",
         {ModalAnswers::Type("PW12"), ModalAnswers::Close(), ModalAnswers::Cancel()},
         false,
         {prompt, "The password is incorrect! Tries left: 2.", prompt}},
        {"right at the third try",
         "pw12",
         {ModalAnswers::Type("a"), ModalAnswers::Close(), ModalAnswers::Type("b"), ModalAnswers::Close(),
          ModalAnswers::Type("pw12")},
         true,
         {prompt, "The password is incorrect! Tries left: 2.", prompt, "The password is incorrect! Tries left: 1.",
          prompt}},
        {"three wrong answers end it",
         "pw12",
         {ModalAnswers::Type("a"), ModalAnswers::Close(), ModalAnswers::Type("b"), ModalAnswers::Close(),
          ModalAnswers::Type("c"), ModalAnswers::Close()},
         false,
         {prompt, "The password is incorrect! Tries left: 2.", prompt, "The password is incorrect! Tries left: 1.",
          prompt, "The password is incorrect!"}},
        {"cancelled, silently", "pw12", {ModalAnswers::Cancel()}, false, {prompt}},
        {"OK with an empty field, silently", "pw12", {ModalAnswers::Type("")}, false, {prompt}},
    };
    for (const StartRow& row : rows) {
        SCOPED_TRACE(row.name);
        ModalAnswers answers(row.steps);
        EXPECT_EQ(kn::AskStartupPassword(vex::ScramblePassword(row.stored)), row.goesOn);
        EXPECT_EQ(answers.Seen, row.seen);
        EXPECT_TRUE(answers.Unexpected.isEmpty()) << answers.Unexpected.join("|").toStdString();
    }
}

}  // namespace
