// Running a batch from the batch menu: the question, each entry's preset with the entry's
// action and force flag, skipped entries, the final comparison, and the trees afterwards.
#include <sys/stat.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>

#include "batch_setup.h"
#include "modal_script.h"
#include "ui/kn_frmBatchSummary.h"
#include "updateui_support.h"

namespace updateui_test {
namespace {

using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

class BatchRun : public UpdateWindowTest {
protected:
    void SetUp() override
    {
        UpdateWindowTest::SetUp();
        config = OpenConfig();
    }

    void AddPreset(const char* name, const std::string& leftFolder, const std::string& rightFolder)
    {
        ASSERT_GE(config->Presets.Add(FolderPreset(home.path(), name, leftFolder, rightFolder)), 0);
    }

    void AddBatch(const char* name, const std::vector<BatchEntry>& entries)
    {
        ASSERT_GE(config->Batches.Add(BatchOf(name, entries)), 0);
    }

    // Runs the batch from the "&Batch" menu, answering with `steps`, and waits for its end.
    QStringList Run(kn::TKNMainForm& window, const QString& name, std::vector<ModalScript::Step> steps)
    {
        QAction* item = nullptr;
        for (QAction* menu : window.menuBar()->actions())
            if (menu->text() == "&Batch")
                for (QAction* entry : menu->menu()->actions())
                    if (entry->text() == name) item = entry;
        EXPECT_NE(item, nullptr) << "no menu item " << name.toStdString();
        if (!item) return {};
        ModalScript script(std::move(steps));
        item->trigger();
        EXPECT_TRUE(WaitIdle(window));
        EXPECT_TRUE(script.Unexpected.isEmpty()) << script.Unexpected.join("; ").toStdString();
        return script.Seen;
    }

    std::unique_ptr<kn::TKNConfig> config;
};

TEST_F(BatchRun, TwoPresetsRunWithTheirEntriesActionsAndAMissingOneIsSkipped)
{
    const auto [l1, r1, l2, r2] = AddNightly(*config, home.path(), trees);
    kn::TKNMainForm window(*config);
    window.show();

    QStringList seen = Run(window, "Nightly", {ModalScript::Yes()});
    ASSERT_EQ(seen.size(), 1) << seen.join("; ").toStdString();
    EXPECT_EQ(seen[0], "question: Run the batch \"Nightly\"?");
    EXPECT_EQ(ReadFile(r1 + "/doc.txt"), "doc");
    EXPECT_FALSE(Exists(r1 + "/stale.txt")) << "forced: the right-only file goes";
    EXPECT_EQ(ReadFile(l2 + "/theirs.txt"), "theirs");
    EXPECT_EQ(ReadFile(l2 + "/mine.txt"), "mine") << "not forced: the left-only file stays";
    EXPECT_FALSE(Exists(r2 + "/mine.txt"));
    // The final comparison used the last preset applied and shows what is left.
    EXPECT_EQ(window.windowTitle(), "Kestrune 3.3.2 - [Two]");
    EXPECT_EQ(window.edFolderLeft->text().toStdString(), l2);
    EXPECT_EQ(window.CurrentAction(), kn::TKNAction::RightToLeft);
    ASSERT_EQ(window.ResultModel().rowCount(), 1);
    EXPECT_EQ(window.ResultModel().CellText(0, 0), "mine.txt");
    EXPECT_TRUE(BackupFolders().empty()) << "a batch never backs up";
    // Every step, in the order it ran, with what became of it.
    kn::TKNBatchSummaryForm* summary = window.BatchSummaryWindow();
    ASSERT_NE(summary, nullptr);
    EXPECT_TRUE(summary->isVisible());
    QStringList steps;
    for (int i = 0; i < summary->lvSteps->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* step = summary->lvSteps->topLevelItem(i);
        steps << step->text(1) + " | " + step->text(2) + " | " + step->text(3).section(',', 0, 0);
    }
    EXPECT_EQ(steps, (QStringList{"One | Left to Right, Force Update | Done: 1 file copied (3 bytes)",
                                  "Gone | Auto, Force Update | Skipped: the preset no longer exists.",
                                  "Two | Right to Left | Done: 1 file copied (6 bytes)"}));
}

// A step whose preset compares contents sets the time of a content-equal pair, which the
// window's list never shows as a difference.
TEST_F(BatchRun, AStepWhosePresetComparesContentsSetsTimesInsteadOfCopying)
{
    const std::string l = trees / "L", r = trees / "R";
    WriteFile(l + "/same.txt", "same");
    testutil::SetMTime(l + "/same.txt", 1500000100);
    WriteFile(r + "/same.txt", "same");
    testutil::SetMTime(r + "/same.txt", 1500000000);
    kn::TKNOptionsRec preset = FolderPreset(home.path(), "C", l, r);
    preset.CompareContent = 1;
    ASSERT_GE(config->Presets.Add(preset), 0);
    AddBatch("B", {{"C", kn::TKNAction::LeftToRight, false}});
    struct stat before {
    }, after{};
    ASSERT_EQ(stat((r + "/same.txt").c_str(), &before), 0);
    kn::TKNMainForm window(*config);
    window.show();

    Run(window, "B", {ModalScript::Yes()});
    ASSERT_EQ(stat((r + "/same.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_mtime, 1500000100);
    EXPECT_EQ(after.st_ino, before.st_ino) << "not copied";
    EXPECT_EQ(window.ResultModel().rowCount(), 0);
}

TEST_F(BatchRun, NoRunnableEntryAsksThenChangesNothingAndDoesNotCompare)
{
    WriteFile(left + "/a.txt", "a");
    AddPreset("Real", left, right);
    AddBatch("Empty", {});
    AddBatch("Ghosts", {{"Gone", kn::TKNAction::LeftToRight, true}, {"Missing", kn::TKNAction::Auto, false}});
    kn::TKNMainForm window(*config);
    const QString title = window.windowTitle();
    for (const char* name : {"Empty", "Ghosts"}) {
        QStringList seen = Run(window, name, {ModalScript::Yes()});
        EXPECT_EQ(seen.size(), 1) << name;
        EXPECT_EQ(window.windowTitle(), title) << name;
        EXPECT_EQ(window.ResultModel().rowCount(), 0) << name << ": no comparison";
    }
    EXPECT_FALSE(Exists(right + "/a.txt"));
}

TEST_F(BatchRun, AnsweringNoRunsNothing)
{
    WriteFile(left + "/a.txt", "a");
    AddPreset("Real", left, right);
    AddBatch("Once", {{"Real", kn::TKNAction::LeftToRight, false}});
    kn::TKNMainForm window(*config);
    Run(window, "Once", {ModalScript::No()});
    EXPECT_FALSE(Exists(right + "/a.txt"));
    EXPECT_FALSE(window.IsBusy());
}

TEST_F(BatchRun, AMissingLocalFolderSkipsItsStepInsteadOfEmptyingTheOtherSide)
{
    WriteFile(right + "/precious.txt", "precious");
    WriteFile(left + "/a.txt", "a");
    AddPreset("Unplugged", trees / "not-mounted", right);
    AddPreset("Fine", left, trees / "copy");
    testutil::MakeDirs(trees / "copy");
    AddBatch("Mirror", {{"Unplugged", kn::TKNAction::LeftToRight, true}, {"Fine", kn::TKNAction::LeftToRight, false}});
    kn::TKNMainForm window(*config);
    QStringList seen = Run(window, "Mirror", {ModalScript::Yes(), ModalScript::Ok()});
    ASSERT_EQ(seen.size(), 2);
    EXPECT_TRUE(seen[1].startsWith("error: The folder \"" + QString::fromStdString(trees / "not-mounted")))
        << seen[1].toStdString();
    EXPECT_EQ(ReadFile(right + "/precious.txt"), "precious");
    EXPECT_EQ(ReadFile(trees / "copy/a.txt"), "a") << "the next step still runs";
}

// An empty mount point is a real empty folder: only the guard stands between it and a forced
// step that would empty the other side.
TEST_F(BatchRun, AStepThatDeletesMostOfItsSideIsSkippedAsAFailure)
{
    for (int i = 0; i < 12; ++i) WriteFile(right + "/f" + std::to_string(i), "x");
    AddPreset("EmptyMount", left, right);
    AddBatch("Mirror", {{"EmptyMount", kn::TKNAction::LeftToRight, true}});
    kn::TKNMainForm window(*config);
    QStringList seen = Run(window, "Mirror", {ModalScript::Yes(), ModalScript::Ok()});
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[1].toStdString(),
              "error: This step is skipped: its update deletes 12 of the 12 entries in \"" + right + "\".");
    EXPECT_TRUE(Exists(right + "/f0"));
    EXPECT_TRUE(Exists(right + "/f11"));
}

TEST_F(BatchRun, TheWindowStaysBusyBetweenStepsSoCommandsAreRefused)
{
    for (int i = 0; i < 3; ++i) WriteFile(left + "/f" + std::to_string(i), "x");
    AddPreset("A", left, right);
    AddBatch("Twice", {{"A", kn::TKNAction::LeftToRight, false}, {"A", kn::TKNAction::LeftToRight, false}});
    kn::TKNMainForm window(*config);
    QAction* item = window.menuBar()->actions().at(2)->menu()->actions().at(2);
    ASSERT_EQ(item->text(), "Twice");
    int polls = 0;
    int idlePolls = 0;
    QTimer probe;
    // The batch runs inside trigger(), serving events while it waits: the probe sees it run.
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!window.windowTitle().contains("[A]")) return;  // before the first step
        ++polls;
        if (!window.IsBusy()) ++idlePolls;
        window.FindAction("actCompareCompare")->trigger();  // refused while busy
    });
    ModalScript script({ModalScript::Yes()});
    probe.start(1);
    item->trigger();
    probe.stop();
    EXPECT_GT(polls, 0);
    EXPECT_EQ(idlePolls, 0) << "the batch left the busy state between its steps";
    EXPECT_FALSE(window.IsBusy());
    EXPECT_EQ(ReadFile(right + "/f0"), "x");
    EXPECT_EQ(window.windowTitle(), "Kestrune 3.3.2 - [A]") << "no plain comparison slipped in";
}

TEST_F(BatchRun, AStopRequestEndsTheBatch)
{
    const std::string l2 = trees / "two/left", r2 = trees / "two/right";
    WriteFile(left + "/a.txt", "a");
    WriteFile(l2 + "/b.txt", "b");
    testutil::MakeDirs(r2);
    AddPreset("A", left, right);
    AddPreset("B", l2, r2);
    AddBatch("Both", {{"A", kn::TKNAction::LeftToRight, false}, {"B", kn::TKNAction::LeftToRight, false}});
    kn::TKNMainForm window(*config);
    QTimer esc;
    // What Esc does in the window, as soon as the first step is under way.
    QObject::connect(&esc, &QTimer::timeout, [&] {
        if (window.windowTitle().contains("[A]")) window.Engine().StopCompare();
    });
    esc.start(1);
    Run(window, "Both", {ModalScript::Yes()});
    esc.stop();
    EXPECT_FALSE(window.IsBusy());
    EXPECT_EQ(window.windowTitle(), "Kestrune 3.3.2 - [A]") << "the second entry never started";
    EXPECT_FALSE(Exists(r2 + "/b.txt"));
}

}  // namespace
}  // namespace updateui_test
