#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
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

TEST(ConfirmForm, ShowsCaptionsAndStartsUnchecked)
{
    TKNConfirmForm form;
    EXPECT_EQ(form.windowTitle(), "Updating Confirmation");
    EXPECT_EQ(form.Label4->text(), "Update these folders as listed below?");
    EXPECT_EQ(form.Label2->text(), "Left Folder:");
    EXPECT_EQ(form.Label1->text(), "Right Folder:");
    EXPECT_EQ(form.Label3->text(), "Action:");
    EXPECT_EQ(form.cbBackup->text(), "&Backup");
    EXPECT_EQ(form.btnOk->text(), "&OK");
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

// Long totals wrap instead of being cut, and the operations list grows with the dialog.
TEST(ConfirmForm, IsResizableAndShowsItsTotalsAndOperationsWhole)
{
    TKNConfirmForm form;
    const QString totals =
        "1,234,567 files to copy (12.3 GiB), 328 to delete, 2 folders to create, 5 folders to "
        "remove, 7 attribute changes, 3 times to set";
    form.SetTotals(totals);
    int made = 0;
    form.SetOperations(1000000, [&made](int i) {
        ++made;
        return QString("Copy left to right:  f%1").arg(i);
    });
    form.show();
    QApplication::processEvents();
    EXPECT_LT(form.minimumSize().width(), form.maximumSize().width()) << "resizable";
    EXPECT_TRUE(form.lblTotals->wordWrap());
    EXPECT_EQ(form.lblTotals->text(), totals);
    EXPECT_EQ(form.lvOperations->model()->rowCount(), 1000000);
    EXPECT_EQ(form.lvOperations->model()->index(2, 0).data().toString(), "Copy left to right:  f2");
    EXPECT_LT(made, 1000) << "only the lines in view are made";
    const int before = form.lvOperations->height();
    form.resize(form.width(), form.height() + 200);
    QApplication::processEvents();
    EXPECT_EQ(form.lvOperations->height(), before + 200);
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

TEST(ConfirmForm, TabGoesOkCancelHelpBackupOperationsAndRound)
{
    TKNConfirmForm form;
    form.show();
    form.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), form.btnOk) << "initially focused";
    QWidget* order[] = {form.btnCancel, form.btnHelp, form.cbBackup, form.lvOperations, form.btnOk};
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
