// The date pickers of a new configuration: an open begin date shows today, and stays open
// unless the user picks another day.
#include <gtest/gtest.h>

#include <QDateTimeEdit>
#include <QPushButton>

#include "config_fixture.h"
#include "framework/vex_unitDateTime.h"
#include "ui/kn_frmConfig.h"
#include "ui/kn_unitOptionsPanel.h"

using namespace testing_dialogs;

namespace {

TEST(OptionsPanelDates, AnOpenBeginDateShowsTodayAndStaysOpen)
{
    ConfigFixture fx;
    kn::TKNOptionsRec& current = fx.Config().Header.CurrentOptions;
    current = kn::DefaultOptions("/home/user");
    // The record is packed: its doubles are read by value.
    auto beginDate = [&current] { return static_cast<double>(current.BeginDate); };
    ASSERT_EQ(beginDate(), vex::kNoTime);
    {
        kn::TKNConfigForm form(fx.Config());
        EXPECT_EQ(form.pnlOptions->dtBegin->date(), kn::DateTimeToPicker(vex::Today()).date()) << "today, not 1899";
        EXPECT_GE(form.pnlOptions->dtEnd->date().year(), kn::DateTimeToPicker(vex::Today()).date().year());
        form.btnOk->click();
    }
    EXPECT_EQ(beginDate(), vex::kNoTime) << "showing today did not set a bound";

    kn::TKNConfigForm form(fx.Config());
    form.pnlOptions->dtBegin->setDateTime(kn::DateTimeToPicker(vex::EncodeDateTime(2021, 3, 4)));
    form.btnOk->click();
    EXPECT_EQ(beginDate(), vex::EncodeDateTime(2021, 3, 4)) << "a picked day is kept";
}

}  // namespace
