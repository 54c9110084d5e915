// The date pickers of a new configuration: an open begin date shows "None" (never a day that
// is no bound), and stays open unless the user picks a day.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTest>

#include "config_fixture.h"
#include "framework/vex_unitDateTime.h"
#include "ui/kn_frmConfig.h"
#include "ui/kn_unitOptionsPanel.h"

using namespace testing_dialogs;

namespace {

TEST(OptionsPanelDates, AnOpenBeginDateShowsNoneAndStaysOpen)
{
    ConfigFixture fx;
    kn::TKNOptionsRec& current = fx.Config().Header.CurrentOptions;
    current = kn::DefaultOptions("/home/user");
    // The record is packed: its doubles are read by value.
    auto beginDate = [&current] { return static_cast<double>(current.BeginDate); };
    ASSERT_EQ(beginDate(), vex::kNoTime);
    const QDate today = kn::DateTimeToPicker(vex::Today()).date();
    {
        kn::TKNConfigForm form(fx.Config());
        QDateTimeEdit* begin = form.pnlOptions->dtBegin;
        EXPECT_EQ(begin->text(), QStringLiteral("None"));
        form.pnlOptions->cbCheckDate->setChecked(false);
        EXPECT_FALSE(begin->isEnabled());
        form.pnlOptions->cbCheckDate->setChecked(true);
        EXPECT_TRUE(begin->isEnabled());
        EXPECT_EQ(begin->text(), QStringLiteral("None")) << "the filter on sets no bound";
        // Its calendar pops up at this month, not at the lowest date.
        form.show();
        QTest::mouseClick(begin, Qt::LeftButton, {}, QPoint(begin->width() - 6, begin->height() / 2));
        QCalendarWidget* calendar = begin->calendarWidget();
        ASSERT_TRUE(calendar->isVisible());
        EXPECT_EQ(calendar->yearShown(), today.year());
        EXPECT_EQ(calendar->monthShown(), today.month());
        calendar->window()->hide();
        EXPECT_GE(form.pnlOptions->dtEnd->date().year(), today.year());
        form.btnOk->click();
    }
    EXPECT_EQ(beginDate(), vex::kNoTime) << "showing None set no bound";

    {
        kn::TKNConfigForm form(fx.Config());
        form.pnlOptions->dtBegin->setDateTime(kn::DateTimeToPicker(vex::EncodeDateTime(2021, 3, 4)));
        form.btnOk->click();
    }
    EXPECT_EQ(beginDate(), vex::EncodeDateTime(2021, 3, 4)) << "a picked day is kept";

    kn::TKNConfigForm form(fx.Config());
    EXPECT_EQ(form.pnlOptions->dtBegin->date(), QDate(2021, 3, 4));
    form.pnlOptions->dtBegin->setDateTime(form.pnlOptions->dtBegin->minimumDateTime());
    EXPECT_EQ(form.pnlOptions->dtBegin->text(), QStringLiteral("None"));
    form.btnOk->click();
    EXPECT_EQ(beginDate(), vex::kNoTime) << "None picked again is no bound again";
}

}  // namespace
