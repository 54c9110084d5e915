// The main window's start-up password and the commands that open the dialogs.
#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "config_fixture.h"
#include "framework/vex_unitSecurity.h"
#include "framework/vex_unitText.h"
#include "modal_answers.h"
#include "ui/kn_frmBatchMgr.h"
#include "ui/kn_frmConfig.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_frmPassword.h"
#include "ui/kn_frmPresetMgr.h"
#include "ui/kn_unitOptionsPanel.h"

using namespace testing_dialogs;

namespace {

// Runs `handle` on the dialog of type Form that the next modal window must be.
template <class Form>
ModalAnswers::Step On(std::function<void(Form*)> handle)
{
    return [handle](QWidget* modal) {
        auto* form = qobject_cast<Form*>(modal);
        ASSERT_NE(form, nullptr) << "another window than expected: " << modal->metaObject()->className();
        handle(form);
    };
}

QStringList MenuCaptions(kn::TKNMainForm& window, const QString& menuTitle)
{
    QStringList captions;
    for (QAction* menu : window.menuBar()->actions())
        if (menu->text() == menuTitle)
            for (QAction* item : menu->menu()->actions())
                if (item->isVisible()) captions << item->text();
    return captions;
}

// Triggers the command and answers the boxes it opens.
void RunCommand(kn::TKNMainForm& window, const char* command, std::vector<ModalAnswers::Step> steps)
{
    ModalAnswers answers(std::move(steps));
    QAction* action = window.FindAction(command);
    ASSERT_TRUE(action->isEnabled()) << command;
    action->trigger();
    EXPECT_EQ(answers.Pending(), 0u) << command;
    EXPECT_TRUE(answers.Unexpected.isEmpty()) << answers.Unexpected.join("|").toStdString();
}

class MainDialogsTest : public ::testing::Test {
protected:
    void SetPassword(const std::string& plain)
    {
        vex::SetField(fx.Config().Header.Password, vex::ScramblePassword(plain));
        ASSERT_TRUE(fx.Config().WriteHeader(true));
    }

    ConfigFixture fx;
};

TEST_F(MainDialogsTest, AWrongOrCancelledPasswordEndsTheStartAndWritesNothing)
{
    SetPassword("letmein");
    const std::string before = fx.FileBytes();
    struct Row {
        const char* name;
        std::vector<ModalAnswers::Step> steps;
    };
    const Row rows[] = {
        {"wrong, then cancelled", {ModalAnswers::Type("LetMeIn"), ModalAnswers::Close(), ModalAnswers::Cancel()}},
        {"cancelled", {ModalAnswers::Cancel()}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ModalAnswers answers(row.steps);
        {
            kn::TKNMainForm window(fx.Config());
            EXPECT_FALSE(window.Started());
        }
        EXPECT_EQ(answers.Pending(), 0u);
        EXPECT_EQ(fx.FileBytes(), before) << "the configuration file is untouched";
    }
}

TEST_F(MainDialogsTest, TheRightPasswordStartsTheWindow)
{
    SetPassword("letmein");
    ModalAnswers answers({ModalAnswers::Type("letmein")});
    kn::TKNMainForm window(fx.Config());
    EXPECT_TRUE(window.Started());
    EXPECT_EQ(answers.Seen, QStringList{"Input your password."});
}

TEST_F(MainDialogsTest, ConfigurationTakesTheFoldersShownAndKeepsThemAfterCancel)
{
    kn::TKNMainForm window(fx.Config());
    window.edFolderLeft->setText("/typed/left");
    window.edFolderRight->setText("/typed/right");
    RunCommand(window, "actCompareConfiguration", {On<kn::TKNConfigForm>([](kn::TKNConfigForm* form) {
                   EXPECT_EQ(form->pnlOptions->edLeftFolder->text(), "/typed/left");
                   form->pnlOptions->edLeftFolder->setText("/browsed");
                   form->btnCancel->click();
               })});
    EXPECT_EQ(vex::GetField(fx.Config().Header.CurrentOptions.LeftFolder), "/typed/left");
    EXPECT_EQ(window.edFolderLeft->text(), "/typed/left");

    RunCommand(window, "actCompareConfiguration", {On<kn::TKNConfigForm>([](kn::TKNConfigForm* form) {
                   form->pnlOptions->edRightFolder->setText("/chosen/right");
                   form->pnlOptions->rgActionItems->button(kn::ActionIndex(kn::TKNAction::LeftToRight))->click();
                   form->btnOk->click();
               })});
    EXPECT_EQ(window.edFolderRight->text(), "/chosen/right");
    EXPECT_EQ(window.CurrentAction(), kn::TKNAction::LeftToRight);
    kn::TKNConfig onDisk(fx.FileName(), kn::TKNWorkArea{});
    EXPECT_EQ(vex::GetField(onDisk.Header.CurrentOptions.RightFolder), "/chosen/right") << "saved at once";
}

TEST_F(MainDialogsTest, ManagersRebuildTheirMenusOnOkOnly)
{
    fx.SetPresets({Preset("Alpha"), Preset("Beta")});
    fx.SetBatches({Batch("Night", {{"Alpha", kn::TKNAction::Auto, false}})});
    kn::TKNMainForm window(fx.Config());
    ASSERT_EQ(MenuCaptions(window, "&Preset"), (QStringList{"Presets &Manager", "", "Alpha", "Beta"}));

    auto deleteFirstPreset = [](bool ok) {
        return On<kn::TKNPresetManagerForm>([ok](kn::TKNPresetManagerForm* form) {
            Click(form->btnDelete, {ModalAnswers::Yes()});
            (ok ? form->btnOk : form->btnCancel)->click();
        });
    };
    RunCommand(window, "actPresetManager", {deleteFirstPreset(false)});
    EXPECT_EQ(MenuCaptions(window, "&Preset"), (QStringList{"Presets &Manager", "", "Alpha", "Beta"}));
    RunCommand(window, "actPresetManager", {deleteFirstPreset(true)});
    EXPECT_EQ(MenuCaptions(window, "&Preset"), (QStringList{"Presets &Manager", "", "Beta"}));

    ASSERT_EQ(MenuCaptions(window, "&Batch"), (QStringList{"Batches &Manager", "", "Night"}));
    RunCommand(window, "actBatchManager", {On<kn::TKNBatchManagerForm>([](kn::TKNBatchManagerForm* form) {
                   Click(form->btnDelete, {ModalAnswers::Yes()});
                   form->btnOk->click();
               })});
    EXPECT_EQ(MenuCaptions(window, "&Batch"), (QStringList{"Batches &Manager"}));
}

TEST_F(MainDialogsTest, PasswordCommandSetsThePasswordForTheNextStart)
{
    {
        kn::TKNMainForm window(fx.Config());
        RunCommand(window, "actHelpPassword", {On<kn::TKNPasswordForm>([](kn::TKNPasswordForm* form) {
                       form->edNew->setText("s3cret");
                       form->edConfirm->setText("s3cret");
                       EXPECT_EQ(Click(form->btnOk, {ModalAnswers::Close()}).value(0).toStdString(),
                                 "The password is set; it is asked for at every start.");
                   })});
    }
    // The window wrote the header when it went; the next start asks.
    fx.Reopen();
    ModalAnswers answers({ModalAnswers::Type("s3cret")});
    kn::TKNMainForm window(fx.Config());
    EXPECT_TRUE(window.Started());
    EXPECT_EQ(answers.Seen, QStringList{"Input your password."});
}

TEST_F(MainDialogsTest, ExpertModeIsCheckedAndSavesTheWholeHeaderAtExit)
{
    // A byte beyond the first 2240 reaches the disk only through a full header write.
    constexpr std::size_t kOtherUseOffset = 2272;
    struct Row {
        const char* name;
        const char* command;
        char expectOnDisk;
    };
    const Row rows[] = {
        {"normal mode writes the first 2240 bytes", "actHelpNormalMode", 0},
        {"expert mode writes all 4096", "actHelpExpertMode", 0x5A},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fx.Reopen();
        {
            kn::TKNMainForm window(fx.Config());
            EXPECT_TRUE(window.FindAction("actHelpNormalMode")->isChecked()) << "a start is in normal mode";
            window.FindAction(row.command)->trigger();
            EXPECT_TRUE(window.FindAction(row.command)->isChecked());
            EXPECT_EQ(window.FindAction("actHelpExpertMode")->isChecked(), row.expectOnDisk != 0);
            fx.Config().Header.OtherUse[0] = 0x5A;
        }
        EXPECT_EQ(fx.FileBytes().at(kOtherUseOffset), row.expectOnDisk);
    }
}

}  // namespace
