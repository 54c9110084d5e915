// The configuration dialog driven through its controls: what OK stores and writes, what Cancel
// keeps, and the enabling rules.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <cstring>

#include "config_fixture.h"
#include "framework/vex_unitText.h"
#include "ui/kn_frmConfig.h"
#include "ui/kn_unitOptionsPanel.h"

using namespace testing_dialogs;

namespace {

constexpr std::size_t kOptionsOffset = 128;

// Every field away from its default, so that a field the dialog loses shows up.
kn::TKNOptionsRec UnusualOptions()
{
    kn::TKNOptionsRec rec{};
    vex::SetField(rec.Name, "cleared on OK");
    vex::SetField(rec.LeftFolder, "/data/left side");
    vex::SetField(rec.RightFolder, "ftp://user@host:2121/pub");
    rec.Action = kn::TKNAction::RightToLeft;
    vex::SetField(rec.Filter, "*.txt; *.doc");
    vex::SetField(rec.ExcludeFilter, "*.bak");
    rec.Attributes = 0x01 | 0x04 | 0x10;
    rec.ExcludeAttributes = 0x02 | 0x20;
    rec.BeginDate = vex::EncodeDateTime(1999, 12, 31, 23, 59, 58, 250);
    rec.EndDate = vex::EncodeDateTime(2031, 2, 3);
    rec.Recursive = 1;
    rec.MinSize = 17;
    rec.MaxSize = 9000000000LL;
    rec.CheckFilter = 0;
    rec.CheckAttr = 1;
    rec.CheckDate = 0;
    rec.CheckSize = 1;
    kn::SetTransfers(rec, 3);
    rec.BandwidthLimit = 512 * 1024;
    rec.CompareContent = 1;
    rec.IgnoreHours = 13;
    return rec;
}

class ConfigFormTest : public ::testing::Test {
protected:
    kn::TKNOptionsRec& Current() { return fx.Config().Header.CurrentOptions; }
    std::string OptionsOnDisk() const { return fx.FileBytes().substr(kOptionsOffset, sizeof(kn::TKNOptionsRec)); }
    static std::string Bytes(const kn::TKNOptionsRec& rec)
    {
        return std::string(reinterpret_cast<const char*>(&rec), sizeof rec);
    }

    ConfigFixture fx;
};

TEST_F(ConfigFormTest, OkWithoutChangesStoresEveryFieldAndWritesTheHeader)
{
    Current() = UnusualOptions();
    kn::TKNConfigForm form(fx.Config());
    form.btnOk->click();

    kn::TKNOptionsRec expected = UnusualOptions();
    std::memset(expected.Name, 0, sizeof expected.Name);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(Bytes(Current()), Bytes(expected));
    EXPECT_EQ(OptionsOnDisk(), Bytes(expected)) << "OK writes the whole header at once";
    EXPECT_EQ(form.ActionIndex(), kn::ActionIndex(kn::TKNAction::RightToLeft));
}

TEST_F(ConfigFormTest, EditedControlsReachTheRecord)
{
    Current() = kn::DefaultOptions("/home/user");
    kn::TKNConfigForm form(fx.Config());
    kn::TKNOptionsPanel* p = form.pnlOptions;
    p->edLeftFolder->setText("/a");
    p->edRightFolder->setText(QString(300, QLatin1Char('r')));
    p->edFilter->setText("*.c");
    p->edExcludeFilter->setText("*.o");
    p->cbHidden->click();
    p->cbArchive->click();  // was ticked by default
    p->cbSystemExclude->click();
    p->edMinSize->setText("5");
    p->edMaxSize->setText("600");
    p->dtBegin->setDateTime(kn::DateTimeToPicker(vex::EncodeDateTime(2020, 5, 6)));
    p->rgActionItems->button(kn::ActionIndex(kn::TKNAction::LeftToRight))->click();
    p->cbCheckDate->click();
    p->spTransfers->setValue(1);
    p->spBandwidth->setValue(2);  // below the slowest limit: held at 16 KiB/s
    p->cbCompareContent->click();
    p->spIgnoreHours->setValue(30);  // beyond the range: held at 24
    form.btnOk->click();

    const kn::TKNOptionsRec& r = Current();
    EXPECT_EQ(vex::GetField(r.LeftFolder), "/a");
    EXPECT_EQ(vex::GetField(r.RightFolder), std::string(255, 'r')) << "cut to 255 characters";
    EXPECT_EQ(vex::GetField(r.Filter), "*.c");
    EXPECT_EQ(vex::GetField(r.ExcludeFilter), "*.o");
    EXPECT_EQ(r.Attributes, 0x01 | 0x04 | 0x10) << "Hidden and Archive were ticked";
    EXPECT_EQ(r.ExcludeAttributes, 0x04);
    EXPECT_EQ(int64_t{r.MinSize}, 5);
    EXPECT_EQ(int64_t{r.MaxSize}, 600);
    EXPECT_EQ(double{r.BeginDate}, vex::EncodeDateTime(2020, 5, 6));
    EXPECT_EQ(r.Action, kn::TKNAction::LeftToRight);
    EXPECT_EQ(r.CheckDate, 0);
    EXPECT_EQ(r.Transfers, 1);
    EXPECT_EQ(r.MultiThread, 0) << "as older versions read one transfer";
    EXPECT_EQ(int64_t{r.BandwidthLimit}, 16 * 1024);
    EXPECT_EQ(r.CompareContent, 1);
    EXPECT_EQ(r.IgnoreHours, 24);
}

struct FolderBitRow {
    const char* name;
    uint8_t recursive;
    uint8_t attributes;
    bool clickRecursive;
    uint8_t expectRecursive;
    uint8_t expectAttributes;
};

TEST_F(ConfigFormTest, FolderBitFollowsRecursive)
{
    const FolderBitRow rows[] = {
        {"ticked adds a missing folder bit", 1, 0x21, false, 1, 0x31},
        {"unticked drops a stray folder bit", 0, 0x31, false, 0, 0x21},
        {"unticking clears both", 1, 0x37, true, 0, 0x27},
        {"ticking sets both", 0, 0x01, true, 1, 0x11},
    };
    for (const FolderBitRow& row : rows) {
        SCOPED_TRACE(row.name);
        Current() = kn::DefaultOptions("/home/user");
        Current().Recursive = row.recursive;
        Current().Attributes = row.attributes;
        kn::TKNConfigForm form(fx.Config());
        if (row.clickRecursive) form.pnlOptions->cbRecursive->click();
        form.btnOk->click();
        EXPECT_EQ(Current().Recursive, row.expectRecursive);
        EXPECT_EQ(Current().Attributes, row.expectAttributes);
    }
}

struct SizeRow {
    const char* name;
    const char* minText;
    const char* maxText;
    int64_t expectMin;
    int64_t expectMax;
};

TEST_F(ConfigFormTest, SizeTextsThatAreNotIntegersBecomeZeroAndNoLimit)
{
    const SizeRow rows[] = {
        {"empty and letters", "", "abc", 0, -1},
        {"plain numbers", "12", "-1", 12, -1},
        {"blanks and a plus sign", " 34 ", "+5", 34, 5},
        {"trailing garbage", "1e3", "7kB", 0, -1},
        {"beyond 64 bits", "99999999999999999999", "-99999999999999999999", 0, -1},
        {"the 64-bit limits", "-9223372036854775808", "9223372036854775807", INT64_MIN, INT64_MAX},
    };
    for (const SizeRow& row : rows) {
        SCOPED_TRACE(row.name);
        kn::TKNConfigForm form(fx.Config());
        form.pnlOptions->edMinSize->setText(row.minText);
        form.pnlOptions->edMaxSize->setText(row.maxText);
        form.btnOk->click();
        EXPECT_EQ(int64_t{Current().MinSize}, row.expectMin);
        EXPECT_EQ(int64_t{Current().MaxSize}, row.expectMax);
    }
}

TEST_F(ConfigFormTest, CheckBoxesGreyTheirControlsWhoseValuesAreStillStored)
{
    Current() = kn::DefaultOptions("/home/user");
    kn::TKNConfigForm form(fx.Config());
    kn::TKNOptionsPanel* p = form.pnlOptions;
    p->edFilter->setText("*.keep");
    ASSERT_TRUE(p->edFilter->isEnabled());
    p->cbCheckFilter->click();
    p->cbCheckAttr->click();
    p->cbCheckDate->click();
    p->cbCheckSize->click();
    EXPECT_FALSE(p->edFilter->isEnabled());
    EXPECT_FALSE(p->edExcludeFilter->isEnabled());
    EXPECT_FALSE(p->cbReadOnly->isEnabled());
    EXPECT_FALSE(p->cbArchiveExclude->isEnabled());
    EXPECT_FALSE(p->dtBegin->isEnabled());
    EXPECT_FALSE(p->dtEnd->isEnabled());
    EXPECT_FALSE(p->edMinSize->isEnabled());
    EXPECT_FALSE(p->edMaxSize->isEnabled());
    EXPECT_TRUE(p->lbFilter->isEnabled()) << "labels stay enabled";
    form.btnOk->click();
    EXPECT_EQ(vex::GetField(Current().Filter), "*.keep");
    EXPECT_EQ(Current().CheckFilter, 0);
    EXPECT_EQ(Current().Attributes, kn::kDefaultAttributeSet);
}

TEST_F(ConfigFormTest, OpeningAppliesTheEnablingRulesOfTheRecord)
{
    Current() = UnusualOptions();  // filter and date off, attributes and size on
    kn::TKNConfigForm form(fx.Config());
    EXPECT_FALSE(form.pnlOptions->edFilter->isEnabled());
    EXPECT_FALSE(form.pnlOptions->dtEnd->isEnabled());
    EXPECT_TRUE(form.pnlOptions->cbHidden->isEnabled());
    EXPECT_TRUE(form.pnlOptions->edMaxSize->isEnabled());
    EXPECT_FALSE(form.pnlOptions->sbtnLeftFolder->icon().isNull()) << "the browse bitmap is built in";
}

TEST_F(ConfigFormTest, CancelKeepsTheRecordAsItWasWhenOpened)
{
    // The folders the main window copies in before opening stay after Cancel.
    Current() = kn::DefaultOptions("/home/user");
    vex::SetField(Current().LeftFolder, "/copied/in/before/opening");
    const std::string before = Bytes(Current());
    const std::string fileBefore = fx.FileBytes();
    kn::TKNConfigForm form(fx.Config());
    form.pnlOptions->edLeftFolder->setText("/browsed/elsewhere");
    form.pnlOptions->cbRecursive->click();
    form.btnCancel->click();
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(Bytes(Current()), before);
    EXPECT_EQ(fx.FileBytes(), fileBefore);
}

TEST(DatePicker, ValuesSurviveThePickerExactly)
{
    const double values[] = {-1.0, 0.0, vex::EncodeDateTime(2126, 12, 8),
                             vex::EncodeDateTime(1970, 1, 1, 12, 30, 0, 5)};
    for (double v : values) EXPECT_EQ(kn::PickerToDateTime(kn::DateTimeToPicker(v)), v) << v;
}

}  // namespace
