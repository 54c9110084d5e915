// The batch manager driven through its lists, drag and drop, double clicks and buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>

#include "config_fixture.h"
#include "framework/vex_unitText.h"
#include "modal_answers.h"
#include "ui/kn_frmBatchMgr.h"

using namespace testing_dialogs;

namespace {

using Strings = std::vector<std::string>;

Strings Items(const QListWidget* list)
{
    Strings names;
    for (int i = 0; i < list->count(); ++i) names.push_back(list->item(i)->text().toStdString());
    return names;
}

void Select(QListWidget* list, const char* name)
{
    auto found = list->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name;
    list->setCurrentItem(found[0]);
}

void DoubleClick(QListWidget* list, const char* name)
{
    Select(list, name);
    emit list->itemDoubleClicked(list->currentItem());
}

// Drags the selected item of `from` onto `to` the way a mouse drag delivers it; true when the
// target took the drop.
bool Drag(kn::TKNPresetDragList* from, kn::TKNPresetDragList* to)
{
    std::unique_ptr<QMimeData> data(from->DragData());
    QPoint at = to->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(to->viewport(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(to->viewport(), &drop);
    return drop.isAccepted();
}

class BatchManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fx.SetPresets({Preset("Alpha", kn::TKNAction::LeftToRight, "/alpha/l", "/alpha/r"),
                       Preset("Beta", kn::TKNAction::RightToLeft), Preset("Gamma", kn::TKNAction::Auto)});
    }
    // The batch as OK hands it to the configuration.
    kn::TKNBatchRec Saved(kn::TKNBatchManagerForm& form, const char* name)
    {
        form.btnOk->click();
        const kn::TKNBatchRec* batch = fx.Config().Batches.Find(name);
        EXPECT_NE(batch, nullptr) << name;
        return batch != nullptr ? *batch : kn::TKNBatchRec{};
    }

    ConfigFixture fx;
};

TEST_F(BatchManagerTest, EntriesShowInTheOrderTheyRunAndLookingChangesNothing)
{
    fx.SetBatches(
        {Batch("Night", {{"Gamma", kn::TKNAction::RightToLeft, true}, {"alpha", kn::TKNAction::Auto, false}})});
    kn::TKNBatchManagerForm form(fx.Config());
    EXPECT_EQ(Items(form.tvBatches), (Strings{"Night"}));
    EXPECT_EQ(Items(form.tvPresetOfBatch), (Strings{"Gamma", "Alpha"}));
    EXPECT_EQ(Items(form.tvPresets), (Strings{"Beta"}));
    // The first entry is shown: its action and force flag.
    EXPECT_EQ(form.rgActionItems->checkedId(), kn::ActionIndex(kn::TKNAction::RightToLeft));
    EXPECT_TRUE(form.cbForce->isChecked());
    Select(form.tvPresetOfBatch, "Alpha");
    EXPECT_EQ(form.rgActionItems->checkedId(), kn::ActionIndex(kn::TKNAction::Auto));
    EXPECT_FALSE(form.cbForce->isChecked());
    EXPECT_EQ(form.edLeftFolder->text(), "/alpha/l");
    EXPECT_EQ(form.edRightFolder->text(), "/alpha/r");
    EXPECT_FALSE(form.edLeftFolder->isEnabled());
    kn::TKNBatchRec looked = Saved(form, "Night");
    EXPECT_EQ(EntryNames(looked), (Strings{"Gamma", "alpha"}));
    EXPECT_EQ(looked.Entries[0].Action, kn::TKNAction::RightToLeft);
    EXPECT_EQ(looked.Entries[0].Force, 1);
}

// The keyboard's way: Add, Remove, Up and Down; the stored order is the listed one.
TEST_F(BatchManagerTest, ButtonsAddRemoveAndReorderTheStepsAsListed)
{
    fx.SetBatches(
        {Batch("Night", {{"Gamma", kn::TKNAction::RightToLeft, true}, {"alpha", kn::TKNAction::Auto, false}})});
    kn::TKNBatchManagerForm form(fx.Config());
    EXPECT_FALSE(form.btnUp->isEnabled()) << "the first step is selected";
    EXPECT_TRUE(form.btnDown->isEnabled());
    Select(form.tvPresetOfBatch, "Alpha");
    EXPECT_FALSE(form.btnDown->isEnabled());
    form.btnUp->click();
    EXPECT_EQ(Items(form.tvPresetOfBatch), (Strings{"Alpha", "Gamma"}));
    EXPECT_EQ(form.tvPresetOfBatch->currentItem()->text(), "Alpha") << "the moved step stays selected";
    Select(form.tvPresets, "Beta");
    form.btnAddEntry->click();
    form.btnUp->click();
    EXPECT_EQ(Items(form.tvPresetOfBatch), (Strings{"Alpha", "Beta", "Gamma"}));
    Select(form.tvPresetOfBatch, "Gamma");
    form.btnRemoveEntry->click();
    EXPECT_EQ(Items(form.tvPresets), (Strings{"Gamma"}));
    kn::TKNBatchRec saved = Saved(form, "Night");
    EXPECT_EQ(EntryNames(saved), (Strings{"Alpha", "Beta"}));
    EXPECT_EQ(saved.Entries[0].Action, kn::TKNAction::Auto);
    EXPECT_EQ(saved.Entries[1].Action, kn::TKNAction::RightToLeft) << "the preset's own action";
}

TEST_F(BatchManagerTest, ActionClicksEditTheSelectedEntry)
{
    fx.SetBatches(
        {Batch("B", {{"Alpha", kn::TKNAction::LeftToRight, false}, {"Beta", kn::TKNAction::LeftToRight, false}})});
    kn::TKNBatchManagerForm form(fx.Config());
    Select(form.tvPresetOfBatch, "Beta");
    form.rgActionItems->button(kn::ActionIndex(kn::TKNAction::Auto))->click();
    Select(form.tvPresetOfBatch, "Alpha");
    EXPECT_EQ(form.rgActionItems->checkedId(), kn::ActionIndex(kn::TKNAction::LeftToRight));
    Select(form.tvPresetOfBatch, "Beta");
    EXPECT_EQ(form.rgActionItems->checkedId(), kn::ActionIndex(kn::TKNAction::Auto));
    kn::TKNBatchRec saved = Saved(form, "B");
    EXPECT_EQ(saved.Entries[0].Action, kn::TKNAction::LeftToRight);
    EXPECT_EQ(saved.Entries[1].Action, kn::TKNAction::Auto);
}

TEST_F(BatchManagerTest, DragAndDropMovesPresetsBetweenTheTwoListsOnly)
{
    fx.SetBatches({Batch("B", {{"Beta", kn::TKNAction::Auto, true}})});
    kn::TKNBatchManagerForm form(fx.Config());
    Select(form.tvPresets, "Gamma");
    EXPECT_FALSE(Drag(form.tvPresets, form.tvPresets)) << "a list refuses its own items";
    EXPECT_TRUE(Drag(form.tvPresets, form.tvPresetOfBatch));
    EXPECT_EQ(Items(form.tvPresetOfBatch), (Strings{"Beta", "Gamma"}));
    EXPECT_EQ(Items(form.tvPresets), (Strings{"Alpha"}));
    // The new entry is selected, with the preset's own action and no force.
    EXPECT_EQ(form.tvPresetOfBatch->currentItem()->text(), "Gamma");
    EXPECT_EQ(form.rgActionItems->checkedId(), kn::ActionIndex(kn::TKNAction::Auto));
    EXPECT_FALSE(form.cbForce->isChecked());

    Select(form.tvPresetOfBatch, "Beta");
    EXPECT_FALSE(Drag(form.tvPresetOfBatch, form.tvPresetOfBatch));
    EXPECT_TRUE(Drag(form.tvPresetOfBatch, form.tvPresets));
    EXPECT_EQ(Items(form.tvPresetOfBatch), (Strings{"Gamma"}));
    EXPECT_EQ(Items(form.tvPresets), (Strings{"Alpha", "Beta"}));

    kn::TKNBatchRec saved = Saved(form, "B");
    EXPECT_EQ(EntryNames(saved), (Strings{"Gamma"}));
}

TEST_F(BatchManagerTest, DoubleClicksMovePresetsWithTheirOwnAction)
{
    fx.SetBatches({Batch("B", {})});
    kn::TKNBatchManagerForm form(fx.Config());
    EXPECT_FALSE(form.rgAction->isEnabled()) << "no entry to edit yet";
    DoubleClick(form.tvPresets, "Beta");
    EXPECT_TRUE(form.rgAction->isEnabled());
    EXPECT_EQ(form.rgActionItems->checkedId(), kn::ActionIndex(kn::TKNAction::RightToLeft));
    DoubleClick(form.tvPresets, "Alpha");
    EXPECT_EQ(Items(form.tvPresetOfBatch), (Strings{"Beta", "Alpha"})) << "new entries go to the end";

    DoubleClick(form.tvPresetOfBatch, "Beta");
    DoubleClick(form.tvPresetOfBatch, "Alpha");
    EXPECT_TRUE(Items(form.tvPresetOfBatch).empty());
    EXPECT_FALSE(form.rgAction->isEnabled());
    EXPECT_FALSE(form.cbForce->isEnabled());
    EXPECT_TRUE(form.edLeftFolder->text().isEmpty());

    DoubleClick(form.tvPresets, "Gamma");
    DoubleClick(form.tvPresets, "Alpha");
    kn::TKNBatchRec saved = Saved(form, "B");
    ASSERT_EQ(EntryNames(saved), (Strings{"Gamma", "Alpha"}));
    EXPECT_EQ(saved.Entries[1].Action, kn::TKNAction::LeftToRight);
    EXPECT_EQ(saved.Entries[1].Force, 0);
}

TEST_F(BatchManagerTest, AnEntryOfAMissingPresetGoesAtTheNextChange)
{
    fx.SetBatches({Batch("B", {{"Gone", kn::TKNAction::Auto, false}, {"Alpha", kn::TKNAction::Auto, false}})});
    kn::TKNBatchManagerForm form(fx.Config());
    EXPECT_EQ(Items(form.tvPresetOfBatch), (Strings{"Alpha"}));
    EXPECT_EQ(Items(form.tvPresets), (Strings{"Beta", "Gamma"})) << "the missing name is not offered";
    form.rgActionItems->button(kn::ActionIndex(kn::TKNAction::RightToLeft))->click();
    kn::TKNBatchRec saved = Saved(form, "B");
    EXPECT_EQ(EntryNames(saved), (Strings{"Alpha"}));
}

TEST_F(BatchManagerTest, AddCopiesTheEntriesShown)
{
    fx.SetBatches(
        {Batch("First", {{"Alpha", kn::TKNAction::RightToLeft, true}, {"Gamma", kn::TKNAction::Auto, false}})});
    kn::TKNBatchManagerForm form(fx.Config());
    QStringList seen = Click(form.btnAdd, {ModalAnswers::Type("Batch1")});
    EXPECT_EQ(seen, QStringList{"Input the name of batch."});
    EXPECT_EQ(Items(form.tvBatches), (Strings{"First", "Batch1"}));
    EXPECT_EQ(form.tvBatches->currentItem()->text(), "Batch1");
    kn::TKNBatchRec saved = Saved(form, "Batch1");
    ASSERT_EQ(EntryNames(saved), (Strings{"Alpha", "Gamma"}));
    EXPECT_EQ(saved.Entries[0].Action, kn::TKNAction::RightToLeft);
    EXPECT_EQ(saved.Entries[0].Force, 1);
}

TEST_F(BatchManagerTest, DuplicateAndEmptyNamesAreRefused)
{
    fx.SetBatches({Batch("batch1", {}), Batch("Other", {})});
    kn::TKNBatchManagerForm form(fx.Config());
    QStringList seen = Click(form.btnAdd, {ModalAnswers::Type("Batch1"), ModalAnswers::Close()});
    EXPECT_EQ(seen.value(1), "A batch named \"Batch1\" already exists!");
    Select(form.tvBatches, "Other");
    seen = Click(form.btnRename, {ModalAnswers::Type("BATCH1"), ModalAnswers::Close()});
    EXPECT_EQ(seen.value(1), "A batch named \"BATCH1\" already exists!");
    seen = Click(form.btnRename, {ModalAnswers::Type(""), ModalAnswers::Close()});
    EXPECT_EQ(seen.value(1), "The name of a batch cannot be empty!");
    Click(form.btnRename, {ModalAnswers::Type("Renamed")});
    EXPECT_EQ(Items(form.tvBatches), (Strings{"batch1", "Renamed"}));
    EXPECT_EQ(form.tvBatches->currentItem()->text(), "Renamed");
}

TEST_F(BatchManagerTest, ASixtyFourthEntryIsRefused)
{
    std::vector<kn::TKNOptionsRec> presets;
    std::vector<EntryTerms> entries;
    for (int i = 0; i < 64; ++i) {
        std::string name = "P" + std::to_string(100 + i);
        presets.push_back(Preset(name));
        if (i < kn::kMaxBatchEntries) entries.push_back({name, kn::TKNAction::Auto, false});
    }
    fx.SetPresets(presets);
    fx.SetBatches({Batch("Full", entries)});
    kn::TKNBatchManagerForm form(fx.Config());
    ASSERT_EQ(form.tvPresetOfBatch->count(), 63);
    ASSERT_EQ(Items(form.tvPresets), (Strings{"P163"}));
    ModalAnswers answers({ModalAnswers::Close()});
    DoubleClick(form.tvPresets, "P163");
    EXPECT_EQ(answers.Seen, QStringList{"A batch can hold at most 63 presets!"});
    EXPECT_EQ(form.tvPresetOfBatch->count(), 63);
    EXPECT_EQ(Items(form.tvPresets), (Strings{"P163"}));
}

TEST_F(BatchManagerTest, DeletingTheLastBatchDisablesTheLists)
{
    fx.SetBatches({Batch("Only", {{"Beta", kn::TKNAction::Auto, false}})});
    kn::TKNBatchManagerForm form(fx.Config());
    EXPECT_TRUE(Click(form.btnDelete, {ModalAnswers::Close()}).value(0).startsWith("Delete the batch"));
    EXPECT_EQ(Items(form.tvBatches), (Strings{"Only"})) << "No keeps it";
    Click(form.btnDelete, {ModalAnswers::Yes()});
    EXPECT_TRUE(Items(form.tvBatches).empty());
    for (QWidget* w : std::initializer_list<QWidget*>{form.tvPresetOfBatch, form.tvPresets, form.btnDelete,
                                                      form.btnRename, form.rgAction, form.cbForce})
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    EXPECT_TRUE(form.btnAdd->isEnabled());
    // A batch added now takes the entries the disabled list still shows.
    Click(form.btnAdd, {ModalAnswers::Type("Again")});
    EXPECT_TRUE(form.tvPresetOfBatch->isEnabled());
    EXPECT_EQ(EntryNames(Saved(form, "Again")), (Strings{"Beta"}));
}

TEST(BatchManagerNoPresets, ListsStayEmptyAndTheEntryControlsDisabled)
{
    ConfigFixture fx;
    fx.SetBatches({Batch("B", {{"Gone", kn::TKNAction::Auto, false}})});
    kn::TKNBatchManagerForm form(fx.Config());
    EXPECT_EQ(form.tvPresetOfBatch->count(), 0);
    EXPECT_EQ(form.tvPresets->count(), 0);
    EXPECT_FALSE(form.rgAction->isEnabled());
    EXPECT_FALSE(form.cbForce->isEnabled());
}

TEST_F(BatchManagerTest, CancelChangesNothing)
{
    fx.SetBatches({Batch("Keep", {{"Alpha", kn::TKNAction::Auto, false}})});
    const std::string fileBefore = fx.FileBytes();
    kn::TKNBatchManagerForm form(fx.Config());
    DoubleClick(form.tvPresets, "Beta");
    Click(form.btnAdd, {ModalAnswers::Type("New")});
    form.btnCancel->click();
    EXPECT_EQ(Names(fx.Config().Batches), (Strings{"Keep"}));
    EXPECT_EQ(EntryNames(*fx.Config().Batches.Find("Keep")), (Strings{"Alpha"}));
    EXPECT_EQ(fx.FileBytes(), fileBefore);
}

}  // namespace
