// What every dialog shares: a title bar with a close button only, and password fields that
// show "*" for each character, the start-up prompt as much as the password dialog.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>

#include "config_fixture.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/vex_unitSecurity.h"
#include "modal_answers.h"
#include "ui/kn_frmBatchMgr.h"
#include "ui/kn_frmConfig.h"
#include "ui/kn_frmConfirm.h"
#include "ui/kn_frmPassword.h"
#include "ui/kn_frmPresetMgr.h"

using namespace testing_dialogs;

namespace {

void ExpectCloseButtonOnly(const QWidget* dialog, const char* name)
{
    const Qt::WindowFlags flags = dialog->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint)) << name << ": the window manager gets the buttons named";
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint)) << name;
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint)) << name;
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint)) << name;
}

void ExpectStars(const QLineEdit* edit, const char* name)
{
    EXPECT_EQ(edit->echoMode(), QLineEdit::Password) << name;
    EXPECT_TRUE(edit->styleSheet().contains("lineedit-password-character: 42")) << name;
}

TEST(DialogFrames, DialogsHaveNoMinimiseOrMaximiseButtons)
{
    ConfigFixture fx;
    ExpectCloseButtonOnly(std::make_unique<kn::TKNConfigForm>(fx.Config()).get(), "configuration");
    ExpectCloseButtonOnly(std::make_unique<kn::TKNPasswordForm>(fx.Config()).get(), "password");
    ExpectCloseButtonOnly(std::make_unique<kn::TKNPresetManagerForm>(fx.Config()).get(), "presets");
    ExpectCloseButtonOnly(std::make_unique<kn::TKNBatchManagerForm>(fx.Config()).get(), "batches");
    ExpectCloseButtonOnly(std::make_unique<kn::TKNConfirmForm>().get(), "confirmation");
    bool checked = false;
    ModalAnswers answers({[&checked](QWidget* modal) {
        ExpectCloseButtonOnly(modal, "input box");
        checked = true;
        static_cast<QDialog*>(modal)->reject();
    }});
    QString value;
    vex::InputBox(nullptr, "Name", "Name:", value);
    EXPECT_TRUE(checked);
}

TEST(DialogFrames, EveryPasswordFieldShowsStars)
{
    ConfigFixture fx;
    kn::TKNPasswordForm form(fx.Config());
    ExpectStars(form.edOld, "old");
    ExpectStars(form.edNew, "new");
    ExpectStars(form.edConfirm, "confirm");
    bool checked = false;
    ModalAnswers answers({[&checked](QWidget* modal) {
        const QLineEdit* edit = modal->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        ExpectStars(edit, "start-up prompt");
        checked = true;
        static_cast<QDialog*>(modal)->reject();
    }});
    EXPECT_FALSE(kn::AskStartupPassword(vex::ScramblePassword("secret")));
    EXPECT_TRUE(checked);
}

}  // namespace
