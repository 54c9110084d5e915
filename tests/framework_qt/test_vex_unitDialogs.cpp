#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "framework/qt/vex_unitDialogs.h"
#include "tests/framework_qt/modal_helper.h"

namespace {

// Presses the box's button with the given role.
void Press(QWidget* modal, QDialogButtonBox::ButtonRole role)
{
    auto* buttons = modal->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    for (QAbstractButton* button : buttons->buttons())
        if (buttons->buttonRole(button) == role) return button->click();
    FAIL() << "no button with role " << role;
}

TEST(Dialogs, QuestionBoxReportsTheAnswerAndShowsTheMessage)
{
    struct Case {
        const char* name;
        QDialogButtonBox::ButtonRole role;
        bool expected;
    };
    for (const Case& c : {Case{"yes", QDialogButtonBox::YesRole, true}, Case{"no", QDialogButtonBox::NoRole, false}}) {
        QString shown;
        testutil::OnNextModal([&](QWidget* modal) {
            shown = static_cast<QMessageBox*>(modal)->text();
            Press(modal, c.role);
        });
        EXPECT_EQ(vex::QuestionBox(nullptr, "Go on?"), c.expected) << c.name;
        EXPECT_EQ(shown, "Go on?") << c.name;
    }
}

TEST(Dialogs, ErrorBoxShowsTheMessageWithOneOkButton)
{
    QString shown;
    int buttonCount = 0;
    testutil::OnNextModal([&](QWidget* modal) {
        auto* box = static_cast<QMessageBox*>(modal);
        shown = box->text();
        buttonCount = static_cast<int>(box->buttons().size());
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        Press(modal, QDialogButtonBox::AcceptRole);
    });
    vex::ErrorBox(nullptr, "Disk full");
    EXPECT_EQ(shown, "Disk full");
    EXPECT_EQ(buttonCount, 1);
}

TEST(Dialogs, InputBoxReturnsTheTypedTextOnOkAndKeepsTheValueOnCancel)
{
    QString value = "old";
    testutil::OnNextModal([](QWidget* modal) {
        modal->findChild<QLineEdit*>()->setText("new name");
        Press(modal, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(vex::InputBox(nullptr, "Rename", "Name:", value));
    EXPECT_EQ(value, "new name");

    testutil::OnNextModal([](QWidget* modal) {
        modal->findChild<QLineEdit*>()->setText("discarded");
        Press(modal, QDialogButtonBox::RejectRole);
    });
    EXPECT_FALSE(vex::InputBox(nullptr, "Rename", "Name:", value));
    EXPECT_EQ(value, "new name");
}

TEST(Dialogs, PasswordBoxHidesTheTextAndHonoursTheLengthLimit)
{
    QString value;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    testutil::OnNextModal([&](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>();
        echo = edit->echoMode();
        edit->insert("0123456789abcdefXYZ");
        Press(modal, QDialogButtonBox::AcceptRole);
    });
    EXPECT_TRUE(vex::PasswordBox(nullptr, "Password", "Password:", value, 16));
    EXPECT_EQ(echo, QLineEdit::Password);
    EXPECT_EQ(value, "0123456789abcdef");
}

}  // namespace
