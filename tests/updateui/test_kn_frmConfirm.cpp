#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "engine/kn_unitCompareOptions.h"
#include "framework/qt/vex_frmHelp.h"
#include "ui/kn_frmConfirm.h"

static void InitHelpResources()
{
    Q_INIT_RESOURCE(kestrune);
}

namespace kn {
namespace {

struct ActionTextCase {
    const char* name;
    TKNAction action;
    bool selectionOnly;
    bool force;
    const char* expected;
};

const ActionTextCase kActionTexts[] = {
    {"LeftAll", TKNAction::LeftToRight, false, false, "Left to Right, All Files"},
    {"LeftSelection", TKNAction::LeftToRight, true, false, "Left to Right, Selection Only"},
    {"LeftAllForce", TKNAction::LeftToRight, false, true, "Left to Right, All Files, Force Update"},
    {"LeftSelectionForce", TKNAction::LeftToRight, true, true, "Left to Right, Selection Only, Force Update"},
    {"RightAll", TKNAction::RightToLeft, false, false, "Right to Left, All Files"},
    {"RightSelection", TKNAction::RightToLeft, true, false, "Right to Left, Selection Only"},
    {"RightAllForce", TKNAction::RightToLeft, false, true, "Right to Left, All Files, Force Update"},
    {"RightSelectionForce", TKNAction::RightToLeft, true, true, "Right to Left, Selection Only, Force Update"},
    {"AutoAll", TKNAction::Auto, false, false, "Auto, All Files"},
    {"AutoSelection", TKNAction::Auto, true, false, "Auto, Selection Only"},
    {"AutoAllForce", TKNAction::Auto, false, true, "Auto, All Files, Force Update"},
    {"AutoSelectionForce", TKNAction::Auto, true, true, "Auto, Selection Only, Force Update"},
    // Any value that is not one of the two directions reads as Auto.
    {"UnknownIsAuto", static_cast<TKNAction>(7), false, false, "Auto, All Files"},
};

void PrintTo(const ActionTextCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConfirmActionText : public ::testing::TestWithParam<ActionTextCase> {};

TEST_P(ConfirmActionText, ReadsDirectionScopeAndForce)
{
    const ActionTextCase& c = GetParam();
    EXPECT_EQ(TKNConfirmForm::ActionText(c.action, c.selectionOnly, c.force).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(AllCombinations, ConfirmActionText, ::testing::ValuesIn(kActionTexts),
                         [](const ::testing::TestParamInfo<ActionTextCase>& row) {
                             return std::string(row.param.name);
                         });

TEST(ConfirmForm, ScalesLayoutLengthsToTheScreenDpi)
{
    EXPECT_EQ(TKNConfirmForm::ScaleToDpi(425, 96), 425);
    EXPECT_EQ(TKNConfirmForm::ScaleToDpi(425, 144), 638);  // 637.5 rounds up
    EXPECT_EQ(TKNConfirmForm::ScaleToDpi(75, 120), 94);
    EXPECT_EQ(TKNConfirmForm::ScaleToDpi(505, 192), 1010);
    EXPECT_EQ(TKNConfirmForm::ScaleToDpi(32, 0), 32) << "an unknown DPI keeps the design size";
}

TEST(ConfirmForm, ShowsCaptionsAndStartsUnchecked)
{
    TKNConfirmForm form;
    EXPECT_EQ(form.windowTitle(), "Updating Confirmation");
    EXPECT_EQ(form.Label4->text(), "Are you sure to update?");
    EXPECT_EQ(form.Label2->text(), "Left Folder:");
    EXPECT_EQ(form.Label1->text(), "Right Folder:");
    EXPECT_EQ(form.Label3->text(), "Action:");
    EXPECT_EQ(form.cbBackup->text(), "&Backup");
    EXPECT_EQ(form.btnOk->text(), "&Ok");
    EXPECT_EQ(form.btnCancel->text(), "&Cancel");
    EXPECT_EQ(form.btnHelp->text(), "Help");
    EXPECT_FALSE(form.cbBackup->isChecked());
    EXPECT_FALSE(form.BackupChecked());
    EXPECT_TRUE(form.btnOk->isDefault());
    EXPECT_FALSE(form.btnCancel->isDefault());
    EXPECT_EQ(form.Label2->buddy(), form.edLeftFolder);
    EXPECT_EQ(form.Label1->buddy(), form.edRightFolder);
    EXPECT_EQ(form.Label3->buddy(), form.edAction);
    EXPECT_FALSE(form.Image1->pixmap().isNull()) << "the warning icon is loaded";
    for (QLineEdit* edit : {form.edLeftFolder, form.edRightFolder, form.edAction}) {
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_FALSE(edit->focusPolicy() & Qt::TabFocus) << "not a tab stop";
    }
}

TEST(ConfirmForm, PlacesControlsAtTheirDesignPositionsScaled)
{
    TKNConfirmForm form;
    double dpi = form.screen()->logicalDotsPerInch();
    auto s = [dpi](int v) { return TKNConfirmForm::ScaleToDpi(v, dpi); };
    struct Expected {
        const char* name;
        QWidget* control;
        int left, top, width, height;  // 0: the control's own
    } expected[] = {
        {"Image1", form.Image1, 16, 16, 32, 32},         {"Label4", form.Label4, 64, 16, 0, 0},
        {"Label2", form.Label2, 64, 48, 0, 0},           {"edLeftFolder", form.edLeftFolder, 64, 64, 425, 0},
        {"Label1", form.Label1, 64, 96, 0, 0},           {"edRightFolder", form.edRightFolder, 64, 112, 425, 0},
        {"Label3", form.Label3, 64, 144, 0, 0},          {"edAction", form.edAction, 64, 160, 425, 0},
        {"lblTotals", form.lblTotals, 64, 188, 425, 17}, {"cbBackup", form.cbBackup, 16, 230, 97, 17},
        {"btnOk", form.btnOk, 256, 230, 75, 25},         {"btnCancel", form.btnCancel, 336, 230, 75, 25},
        {"btnHelp", form.btnHelp, 416, 230, 75, 25},
    };
    for (const Expected& e : expected) {
        QRect g = e.control->geometry();
        EXPECT_EQ(g.left(), s(e.left)) << e.name;
        EXPECT_EQ(g.top(), s(e.top)) << e.name;
        if (e.width) {
            EXPECT_EQ(g.width(), s(e.width)) << e.name;
        }
        if (e.height) {
            EXPECT_EQ(g.height(), s(e.height)) << e.name;
        }
    }
    EXPECT_EQ(form.size(), QSize(s(505), s(272)));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed dialog border";
}

TEST(ConfirmForm, FillsFieldsFromContent)
{
    TKNConfirmForm form;
    form.SetContent("/home/a/left", "/home/a/right", TKNConfirmForm::ActionText(TKNAction::Auto, false, false));
    EXPECT_EQ(form.edLeftFolder->text(), "/home/a/left");
    EXPECT_EQ(form.edRightFolder->text(), "/home/a/right");
    EXPECT_EQ(form.edAction->text(), "Auto, All Files");
}

void SendKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

TEST(ConfirmForm, TabGoesOkCancelHelpBackupAndRound)
{
    TKNConfirmForm form;
    form.show();
    form.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), form.btnOk) << "initially focused";
    QWidget* order[] = {form.btnCancel, form.btnHelp, form.cbBackup, form.btnOk};
    for (QWidget* next : order) {
        SendKey(QApplication::focusWidget(), Qt::Key_Tab);
        QApplication::processEvents();
        EXPECT_EQ(QApplication::focusWidget(), next)
            << next->metaObject()->className() << " " << qPrintable(QApplication::focusWidget()->objectName());
    }
}

// Runs the dialog modally and presses `key` in it once it is up.
int ExecWithKey(TKNConfirmForm& form, int key)
{
    QTimer::singleShot(0, &form, [&form, key] {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &form;
        SendKey(target, key);
    });
    return form.exec();
}

TEST(ConfirmForm, EnterConfirmsAndEscCancels)
{
    {
        TKNConfirmForm form;
        EXPECT_EQ(ExecWithKey(form, Qt::Key_Return), QDialog::Accepted);
    }
    {
        TKNConfirmForm form;
        EXPECT_EQ(ExecWithKey(form, Qt::Key_Escape), QDialog::Rejected);
    }
}

TEST(ConfirmForm, ButtonsCloseWithTheirResultAndBackupIsRead)
{
    {
        TKNConfirmForm form;
        QTimer::singleShot(0, &form, [&form] {
            form.cbBackup->click();
            form.btnOk->click();
        });
        EXPECT_EQ(form.exec(), QDialog::Accepted);
        EXPECT_TRUE(form.BackupChecked());
    }
    {
        TKNConfirmForm form;
        QTimer::singleShot(0, &form, [&form] { form.btnCancel->click(); });
        EXPECT_EQ(form.exec(), QDialog::Rejected);
        EXPECT_FALSE(form.BackupChecked());
    }
}

TEST(ConfirmForm, HelpOpensTheConfirmationTopic)
{
    InitHelpResources();
    TKNConfirmForm form;
    form.btnHelp->click();
    EXPECT_EQ(vex::HelpWindow()->CurrentPage(), "confirm.html");
    vex::HelpWindow()->close();
}

}  // namespace
}  // namespace kn
