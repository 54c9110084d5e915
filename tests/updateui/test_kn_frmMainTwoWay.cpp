// Two-way runs in the window over two local trees and the state in the test's program folder:
// the fourth action kept by presets and batch steps, the plan column's decisions, a conflict
// settled row by row, the update that carries the plan out, and a refused run.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "batch_setup.h"
#include "framework/qt/vex_unitStatusBar.h"
#include "framework/vex_unitText.h"
#include "modal_script.h"
#include "ui/kn_frmBatchSummary.h"
#include "ui/kn_frmConfirm.h"
#include "ui/kn_unitOptionsPanel.h"
#include "updateui_support.h"

namespace updateui_test {
namespace {

using testutil::Exists;
using testutil::ReadFile;
using testutil::SetMTime;
using testutil::WriteFile;

constexpr int64_t kTime = 1700000000;

class TwoWayWindow : public UpdateWindowTest {
protected:
    // The row's mark and the side struck through: "→×R" deletes the right file.
    static QString Shown(kn::TKNResultModel& model, const char* name)
    {
        const int row = FindRow(model, name);
        if (row < 0) return "missing";
        const bool leftStruck = model.index(row, 0).data(Qt::FontRole).value<QFont>().strikeOut();
        const bool rightStruck = model.index(row, 6).data(Qt::FontRole).value<QFont>().strikeOut();
        return model.CellText(row, 3) + (leftStruck ? "L" : rightStruck ? "R" : "-");
    }

    static void Update(kn::TKNMainForm& window, std::vector<ModalScript::Step> answers)
    {
        ModalScript script(std::move(answers));
        window.FindAction("actCompareUpdate")->trigger();
        ASSERT_TRUE(WaitIdle(window));
        EXPECT_TRUE(script.Unexpected.isEmpty()) << script.Unexpected.join("; ").toStdString();
    }

    // Right-clicks the row of `name`: the actions of the menu that opens, once no second menu
    // has followed it.
    static QList<QAction*> MenuOf(kn::TKNMainForm& window, const char* name)
    {
        QList<QAction*> shown;
        QTimer::singleShot(0, [&shown] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                shown = menu->actions();
                menu->close();
            }
        });
        kn::TKNResultModel& model = window.ResultModel();
        const QRect cell = window.ListViewFiles->visualRect(model.index(FindRow(model, name), 0));
        emit window.ListViewFiles->customContextMenuRequested(cell.center());
        testutil::WaitUntil([&] { return !shown.isEmpty(); }, 2000);
        QApplication::processEvents();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << name << ": a second menu opened";
        return shown;
    }

    void WriteBoth(const std::string& name, const std::string& text)
    {
        for (const std::string& side : {left, right}) {
            WriteFile(side + "/" + name, text);
            SetMTime(side + "/" + name, kTime);
        }
    }
};

TEST_F(TwoWayWindow, TheFourthActionRoundTripsThroughAPresetAndABatchStepThatRunsTwoWay)
{
    {
        auto config = OpenConfig();
        kn::TKNOptionsRec preset = FolderPreset(home.path(), "Sync", left, right);
        preset.Action = kn::TKNAction::TwoWay;
        preset.ConflictPolicy = static_cast<uint8_t>(kn::TKNConflictPolicy::Skip);
        ASSERT_GE(config->Presets.Add(preset), 0);
        ASSERT_GE(config->Batches.Add(BatchOf("Both", {{"Sync", kn::TKNAction::TwoWay, true}})), 0);
        ASSERT_TRUE(config->SavePresets() && config->SaveBatches());
    }
    auto config = OpenConfig();
    const kn::TKNOptionsRec* preset = config->Presets.Find("Sync");
    ASSERT_NE(preset, nullptr);
    EXPECT_EQ(preset->Action, kn::TKNAction::TwoWay);
    EXPECT_EQ(kn::StoredConflictPolicy(preset->ConflictPolicy), kn::TKNConflictPolicy::Skip);
    ASSERT_NE(config->Batches.Find("Both"), nullptr);
    EXPECT_EQ(config->Batches.Find("Both")->Entries[0].Action, kn::TKNAction::TwoWay);
    // The options panel shows and keeps both.
    kn::TKNOptionsPanel panel;
    panel.LoadOptions(*preset);
    EXPECT_TRUE(panel.rgActionItems->button(3)->isChecked());
    EXPECT_EQ(panel.rgActionItems->button(3)->text(), "Two-way");
    EXPECT_EQ(panel.cbConflictPolicy->currentText(), "Skip");
    kn::TKNOptionsRec stored{};
    panel.StoreOptions(stored);
    EXPECT_EQ(stored.Action, kn::TKNAction::TwoWay);
    EXPECT_EQ(stored.ConflictPolicy, preset->ConflictPolicy);

    // A first two-way run copies each one-sided file across and keeps the older of a pair that
    // differs in the backup folder: an Auto step would back nothing up.
    WriteFile(left + "/only-left.txt", "L");
    WriteFile(right + "/only-right.txt", "R");
    WriteFile(left + "/x.txt", "newer");
    SetMTime(left + "/x.txt", kTime + 100);
    WriteFile(right + "/x.txt", "old");
    SetMTime(right + "/x.txt", kTime);
    // A damaged action byte never turns into an action that deletes.
    config->Header.CurrentOptions.Action = static_cast<kn::TKNAction>(7);
    kn::TKNMainForm window(*config);
    window.show();
    EXPECT_EQ(window.CurrentAction(), kn::TKNAction::Auto);
    ModalScript script({ModalScript::Yes()});
    QAction* item = nullptr;
    for (QAction* menu : window.menuBar()->actions())
        if (menu->text() == "&Batch")
            for (QAction* entry : menu->menu()->actions())
                if (entry->text() == "Both") item = entry;
    ASSERT_NE(item, nullptr);
    item->trigger();
    ASSERT_TRUE(WaitIdle(window));
    EXPECT_EQ(ReadFile(right + "/only-left.txt"), "L");
    EXPECT_EQ(ReadFile(left + "/only-right.txt"), "R");
    EXPECT_EQ(ReadFile(right + "/x.txt"), "newer");
    EXPECT_EQ(BackupFolders().size(), 1u) << "the older x.txt is kept";
    EXPECT_TRUE(Exists(home / "Kestrune-state.sqlite")) << "the run recorded its state";
    ASSERT_NE(window.BatchSummaryWindow(), nullptr);
    const QTreeWidgetItem* step = window.BatchSummaryWindow()->lvSteps->topLevelItem(0);
    EXPECT_EQ(step->text(2), "Two-way") << "a two-way step is never forced";
    EXPECT_TRUE(step->text(3).startsWith("Done:")) << step->text(3).toStdString();
}

TEST_F(TwoWayWindow, ThePlanShowsDeletesAndConflictsSettledRowByRowAndTheUpdateCarriesThemOut)
{
    WriteBoth("keep.txt", "keep");
    WriteBoth("gone.txt", "gone");
    WriteBoth("both.txt", "base");
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.resize(900, 600);
    window.show();
    while (window.CurrentAction() != kn::TKNAction::TwoWay) window.FindAction("actCompareAction")->trigger();
    EXPECT_EQ(window.cbAction->currentText(), "Two-way");
    EXPECT_FALSE(window.FindAction("actCompareForceUpdate")->isEnabled());

    // The first run only records the trees, which are in line.
    Compare(window, left, right);
    EXPECT_EQ(window.ResultModel().rowCount(), 0);
    EXPECT_TRUE(window.lblTwoWay->text().contains("First run")) << window.lblTwoWay->text().toStdString();
    window.FindAction("actHelpExpertMode")->trigger();
    Update(window, {});
    window.FindAction("actHelpNormalMode")->trigger();

    std::filesystem::remove(left + "/gone.txt");
    WriteFile(left + "/both.txt", "left edit");
    SetMTime(left + "/both.txt", kTime + 100);
    WriteFile(right + "/both.txt", "right edit!");
    SetMTime(right + "/both.txt", kTime + 200);
    Compare(window, left, right);
    kn::TKNResultModel& model = window.ResultModel();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(Shown(model, "gone.txt"), "\u2192\u00d7R") << "deleted on the left: deleted on the right";
    EXPECT_EQ(Shown(model, "both.txt"), "!-") << "keep-both replaces nothing";
    EXPECT_TRUE(window.lblTwoWay->isVisibleTo(&window));

    // A right click opens one menu: a conflict row's settlements, the list's menu elsewhere.
    EXPECT_EQ(MenuOf(window, "both.txt"), QList<QAction*>(std::begin(window.actSettle), std::end(window.actSettle)));
    EXPECT_TRUE(MenuOf(window, "gone.txt").contains(window.FindAction("actCompareUpdate")));

    // Settled from the keyboard on its row: the left version is kept, the right one replaced.
    const int conflict = FindRow(model, "both.txt");
    window.ListViewFiles->setCurrentIndex(model.index(conflict, 0));
    window.actSettle[2]->trigger();
    EXPECT_EQ(Shown(model, "both.txt"), "!\u2192R");
    EXPECT_TRUE(model.index(conflict, 3).data(Qt::ToolTipRole).toString().contains("left kept"));

    QStringList operations;
    Update(window, {ModalScript::Inspect(
                       [&](QWidget* modal) {
                           auto* form = static_cast<kn::TKNConfirmForm*>(modal);
                           EXPECT_EQ(form->edAction->text(), "Two-way, All Files");
                           QAbstractItemModel* lines = form->lvOperations->model();
                           for (int i = 0; i < lines->rowCount(); ++i)
                               operations << lines->index(i, 0).data().toString();
                       },
                       ModalScript::Confirm())});
    EXPECT_TRUE(operations.contains("Delete on the right:  gone.txt")) << operations.join("; ").toStdString();
    EXPECT_FALSE(Exists(right + "/gone.txt"));
    EXPECT_EQ(ReadFile(right + "/both.txt"), "left edit");
    EXPECT_EQ(BackupFolders().size(), 1u) << "the right version of the conflict is kept";
    const QString done = static_cast<vex::TvexStatusBar*>(window.statusBar())->Panel(1)->Text();
    EXPECT_TRUE(done.contains("0 failed.")) << done.toStdString();
    EXPECT_EQ(model.rowCount(), 0) << "the follow-up comparison finds both sides in line";

    // A side that lists empty while the state remembers entries there refuses the run.
    std::filesystem::remove_all(left);
    testutil::MakeDirs(left);
    Compare(window, left, right);
    EXPECT_TRUE(window.lblTwoWay->text().contains("refused")) << window.lblTwoWay->text().toStdString();
    EXPECT_FALSE(window.FindAction("actCompareUpdate")->isEnabled());
    EXPECT_EQ(ReadFile(right + "/keep.txt"), "keep");
}

}  // namespace
}  // namespace updateui_test
