// The preset manager driven through its list, panel and buttons, with the input and error boxes
// answered by the test.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "config_fixture.h"
#include "framework/vex_unitText.h"
#include "modal_answers.h"
#include "ui/kn_frmPresetMgr.h"
#include "ui/kn_unitOptionsPanel.h"

using namespace testing_dialogs;

namespace {

using Strings = std::vector<std::string>;

class PresetManagerTest : public ::testing::Test {
protected:
    Strings Shown(const kn::TKNPresetManagerForm& form) const
    {
        Strings names;
        for (int i = 0; i < form.TreeViewPresets->count(); ++i)
            names.push_back(form.TreeViewPresets->item(i)->text().toStdString());
        return names;
    }
    void Select(kn::TKNPresetManagerForm& form, const QString& name)
    {
        auto found = form.TreeViewPresets->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        form.TreeViewPresets->setCurrentItem(found[0]);
    }

    ConfigFixture fx;
};

TEST_F(PresetManagerTest, DuplicateNamesInOtherLetterCaseAreRefused)
{
    fx.SetPresets({Preset("preset1"), Preset("Other")});
    kn::TKNPresetManagerForm form(fx.Config());

    QStringList seen = Click(form.btnAdd, {ModalAnswers::Type("Preset1"), ModalAnswers::Close()});
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0], "Input the name of preset.");
    EXPECT_EQ(seen[1], "A preset named \"Preset1\" already exists!");

    Select(form, "Other");
    seen = Click(form.btnRename, {ModalAnswers::Type("PRESET1"), ModalAnswers::Close()});
    EXPECT_EQ(seen.value(1), "A preset named \"PRESET1\" already exists!");
    // Renaming to its own name in another case finds the preset itself.
    seen = Click(form.btnRename, {ModalAnswers::Type("OTHER"), ModalAnswers::Close()});
    EXPECT_EQ(seen.value(1), "A preset named \"OTHER\" already exists!");
    // The unchanged name is accepted and changes nothing.
    Click(form.btnRename, {ModalAnswers::Type("Other")});
    EXPECT_EQ(Shown(form), (Strings{"Other", "preset1"}));
}

TEST_F(PresetManagerTest, LongNamesKeepTheirFirst31Characters)
{
    const std::string forty = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
    fx.SetPresets({Preset("First")});
    kn::TKNPresetManagerForm form(fx.Config());

    Click(form.btnAdd, {ModalAnswers::Type(QString::fromStdString(forty))});
    EXPECT_EQ(Shown(form), (Strings{"First", forty.substr(0, 31)}));
    EXPECT_EQ(form.TreeViewPresets->currentItem()->text().toStdString(), forty.substr(0, 31));

    // Another name whose first 31 characters are taken is a duplicate, named as entered.
    const std::string other = forty.substr(0, 31) + "-other";
    QStringList seen = Click(form.btnAdd, {ModalAnswers::Type(QString::fromStdString(other)), ModalAnswers::Close()});
    EXPECT_EQ(seen.value(1).toStdString(), "A preset named \"" + other + "\" already exists!");
    Select(form, "First");
    seen = Click(form.btnRename, {ModalAnswers::Type(QString::fromStdString(other)), ModalAnswers::Close()});
    EXPECT_EQ(seen.value(1).toStdString(), "A preset named \"" + other + "\" already exists!");
    EXPECT_EQ(Shown(form).size(), 2u);
}

TEST_F(PresetManagerTest, EmptyNamesAreRefused)
{
    kn::TKNPresetManagerForm form(fx.Config());
    QStringList seen = Click(form.btnAdd, {ModalAnswers::Type(""), ModalAnswers::Close()});
    EXPECT_EQ(seen.value(1), "The name of a preset cannot be empty!");
    EXPECT_TRUE(Shown(form).empty());
}

TEST_F(PresetManagerTest, AnEmptyListDisablesThePanelButNotAdd)
{
    fx.SetPresets({Preset("Only")});
    kn::TKNPresetManagerForm form(fx.Config());
    EXPECT_TRUE(form.pnlOptions->isEnabled());
    EXPECT_EQ(Click(form.btnDelete, {ModalAnswers::Yes()}), QStringList{"Delete the preset \"Only\"?"});
    EXPECT_TRUE(Shown(form).empty());
    EXPECT_FALSE(form.pnlOptions->edLeftFolder->isEnabled());
    EXPECT_FALSE(form.pnlOptions->cbRecursive->isEnabled());
    EXPECT_FALSE(form.btnDelete->isEnabled());
    EXPECT_FALSE(form.btnRename->isEnabled());
    EXPECT_TRUE(form.btnAdd->isEnabled());

    // A preset added now starts from the settings of the last one shown.
    Click(form.btnAdd, {ModalAnswers::Type("Again")});
    EXPECT_TRUE(form.pnlOptions->edLeftFolder->isEnabled());
    EXPECT_EQ(form.pnlOptions->edLeftFolder->text(), "/left");
}

TEST_F(PresetManagerTest, EditsGoToTheirPresetAndStayWhenSwitching)
{
    kn::TKNOptionsRec a = Preset("A", kn::TKNAction::Auto, "/a-left");
    a.CheckSize = 0;
    fx.SetPresets({a, Preset("B", kn::TKNAction::Auto, "/b-left")});
    kn::TKNPresetManagerForm form(fx.Config());
    Select(form, "A");
    EXPECT_FALSE(form.pnlOptions->edMinSize->isEnabled());
    form.pnlOptions->cbCheckSize->click();
    form.pnlOptions->edLeftFolder->setText("/a-edited");

    Select(form, "B");
    EXPECT_EQ(form.pnlOptions->edLeftFolder->text(), "/b-left");
    EXPECT_TRUE(form.pnlOptions->cbCheckSize->isChecked());
    Select(form, "A");
    EXPECT_TRUE(form.pnlOptions->cbCheckSize->isChecked());
    EXPECT_TRUE(form.pnlOptions->edMinSize->isEnabled());
    EXPECT_EQ(form.pnlOptions->edLeftFolder->text(), "/a-edited");

    form.btnOk->click();
    const kn::TKNOptionsRec* stored = fx.Config().Presets.Find("A");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->CheckSize, 1);
    EXPECT_EQ(vex::GetField(stored->LeftFolder), "/a-edited");
    EXPECT_EQ(vex::GetField(stored->Name), "A");
}

TEST_F(PresetManagerTest, OkSavesTheListInNameOrder)
{
    kn::TKNPresetManagerForm form(fx.Config());
    for (const char* name : {"b", "C", "a"}) Click(form.btnAdd, {ModalAnswers::Type(name)});
    EXPECT_EQ(Shown(form), (Strings{"b", "C", "a"})) << "the dialog keeps the order of adding";
    form.btnOk->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(Names(fx.Config().Presets), (Strings{"a", "b", "C"}));
    fx.Reopen();
    EXPECT_EQ(Names(fx.Config().Presets), (Strings{"a", "b", "C"}));
}

TEST_F(PresetManagerTest, CancelChangesNothing)
{
    fx.SetPresets({Preset("Keep"), Preset("Two")});
    const std::string fileBefore = fx.FileBytes();
    kn::TKNPresetManagerForm form(fx.Config());
    Click(form.btnAdd, {ModalAnswers::Type("New")});
    Select(form, "Keep");
    Click(form.btnRename, {ModalAnswers::Type("Renamed")});
    form.pnlOptions->edFilter->setText("*.changed");
    Select(form, "Two");
    Click(form.btnDelete, {ModalAnswers::Yes()});
    form.btnCancel->click();
    EXPECT_EQ(Names(fx.Config().Presets), (Strings{"Keep", "Two"}));
    EXPECT_EQ(vex::GetField(fx.Config().Presets.Find("Keep")->Filter), "*.*");
    EXPECT_EQ(fx.FileBytes(), fileBefore);
}

}  // namespace
