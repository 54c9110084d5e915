// The plan of an update as the window shows it before anything is touched (the "?" column, row
// hints, the confirmation's totals), the guard against mass deletion, gathered failures, the
// Stop command, and comparisons that fail for a missing folder.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "batch_setup.h"
#include "modal_script.h"
#include "ui/kn_frmConfirm.h"
#include "ui/kn_frmFailures.h"
#include "updateui_support.h"

namespace updateui_test {
namespace {

using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

class PlanWindow : public ActionWindowTest {
protected:
    // a.txt (3 bytes, newer on the left), b.txt (9 bytes, left only), c.txt (right only).
    void MakeTrees() { MakeUpdateTrees(left, right); }

    // The "?" marks of the rows named, in that order.
    static QString Marks(kn::TKNMainForm& window, const std::vector<QString>& names)
    {
        QString marks;
        for (const QString& name : names)
            marks += window.ResultModel().CellText(FindRow(window.ResultModel(), name), 3);
        return marks;
    }

    static QString Hint(kn::TKNMainForm& window, const QString& name)
    {
        kn::TKNResultModel& model = window.ResultModel();
        return model.index(FindRow(model, name), 3).data(Qt::ToolTipRole).toString();
    }
};

const QString kRight = QStringLiteral("\u2192"), kLeft = QStringLiteral("\u2190"), kNone = QStringLiteral("\u00b7"),
              kDelete = QStringLiteral("\u00d7");

TEST_F(PlanWindow, MarksAndHintsFollowTheActionButton)
{
    MakeTrees();
    auto window = Open(kn::TKNAction::LeftToRight);
    Compare(*window, left, right);
    const std::vector<QString> rows{"a.txt", "b.txt", "c.txt"};
    EXPECT_EQ(Marks(*window, rows), kRight + kRight + kNone);
    EXPECT_EQ(Hint(*window, "c.txt"), "Nothing: only Force Update acts on this row\nOnly on the right.");
    EXPECT_EQ(Hint(*window, "b.txt"), "Copy left to right\nOnly on the left.");
    window->FindAction("actCompareAction")->trigger();  // Right to Left
    EXPECT_EQ(Marks(*window, rows), kNone + kNone + kLeft);
    EXPECT_EQ(Hint(*window, "c.txt"), "Copy right to left\nOnly on the right.");
    window->FindAction("actCompareAction")->trigger();  // Auto
    EXPECT_EQ(Marks(*window, rows), kRight + kRight + kLeft);
}

TEST_F(PlanWindow, ForcedConfirmationShowsTheForcedPlanAndItsTotals)
{
    MakeTrees();
    auto window = Open(kn::TKNAction::LeftToRight);
    Compare(*window, left, right);
    QString totals, marksWhileAsked;
    QStringList operations;
    ModalScript script({ModalScript::Inspect(
        [&](QWidget* modal) {
            if (auto* form = qobject_cast<kn::TKNConfirmForm*>(modal)) {
                totals = form->lblTotals->text();
                QAbstractItemModel* listed = form->lvOperations->model();
                for (int i = 0; listed && i < listed->rowCount(); ++i)
                    operations << listed->index(i, 0).data().toString();
            }
            marksWhileAsked = Marks(*window, {"a.txt", "b.txt", "c.txt"});
        },
        ModalScript::CancelDialog())});
    window->FindAction("actCompareForceUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    ASSERT_EQ(script.Seen.size(), 1);
    EXPECT_EQ(totals, "2 files to copy (12 bytes), 1 to delete");
    // Files in list order (by left name, the right-only row among them by its own name).
    EXPECT_EQ(operations,
              (QStringList{"Copy left to right:  a.txt", "Copy left to right:  b.txt", "Delete on the right:  c.txt"}));
    EXPECT_EQ(marksWhileAsked, kRight + kRight + kDelete) << "the list shows what this update does";
    EXPECT_EQ(Marks(*window, {"c.txt"}), kNone) << "cancelled: back to the plain update's plan";
    EXPECT_TRUE(Exists(right + "/c.txt"));
}

// Twelve entries only the right side has: an empty or mistyped left folder looks like this.
TEST_F(PlanWindow, DeletingMostOfTheWrittenSideAsksOnceMoreWithNoAsDefault)
{
    for (int i = 0; i < 12; ++i) WriteFile(right + "/f" + std::to_string(i), "x");
    auto window = Open(kn::TKNAction::LeftToRight, true);
    Compare(*window, left, right);
    {
        bool noIsDefault = false;
        ModalScript refuse({ModalScript::Inspect(
            [&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                noIsDefault = box && box->defaultButton() == box->button(QMessageBox::No);
            },
            ModalScript::No())});
        window->FindAction("actCompareForceUpdate")->trigger();
        ASSERT_TRUE(WaitIdle(*window));
        ASSERT_EQ(refuse.Seen.size(), 1);
        EXPECT_EQ(refuse.Seen[0].toStdString(),
                  "question: This update deletes 12 of the 12 entries in \"" + right + "\". Go on?");
        EXPECT_TRUE(noIsDefault);
        EXPECT_TRUE(Exists(right + "/f0")) << "No changes nothing";
        EXPECT_EQ(window->Engine().State, 0);
    }

    ModalScript agree({ModalScript::Yes()});
    window->FindAction("actCompareForceUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    EXPECT_FALSE(Exists(right + "/f0"));
    EXPECT_TRUE(StatusText(*window, 1).startsWith("Done: 0 files copied (0 bytes), 12 deleted,"))
        << StatusText(*window, 1).toStdString();
}

TEST_F(PlanWindow, FailuresAreGatheredInOneWindowAndTheBoxesCanBeSilenced)
{
    MakeTrees();
    for (const char* name : {"b.txt", "d.txt"}) testutil::MakeDirs(right + "/" + name + "/inside");
    WriteFile(left + "/d.txt", "d");
    WriteFile(left + "/e.txt", "fine");
    auto window = Open(kn::TKNAction::LeftToRight, true);
    Compare(*window, left, right);
    ModalScript script({ModalScript::OkSilencing()});
    window->FindAction("actCompareUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    ASSERT_EQ(script.Seen.size(), 1) << "one box for the first failure only";
    EXPECT_TRUE(script.Unexpected.isEmpty()) << script.Unexpected.join("; ").toStdString();
    EXPECT_EQ(ReadFile(right + "/e.txt"), "fine");
    kn::TKNFailuresForm* failures = window->FailuresWindow();
    ASSERT_NE(failures, nullptr);
    EXPECT_TRUE(failures->isVisible());
    EXPECT_FALSE(failures->isModal());
    ASSERT_EQ(failures->lvFailures->topLevelItemCount(), 2);
    // Workers copy at once, so the two failures may come in either order.
    QStringList written;
    for (int i = 0; i < 2; ++i) {
        const QTreeWidgetItem* item = failures->lvFailures->topLevelItem(i);
        EXPECT_EQ(item->text(1), "Copy");
        written << item->text(2);
        EXPECT_FALSE(item->text(0).contains(QString::fromStdString(right))) << "the reason alone comes first";
        EXPECT_FALSE(item->text(0).isEmpty());
    }
    written.sort();
    EXPECT_EQ(written,
              QStringList({QString::fromStdString(right + "/b.txt"), QString::fromStdString(right + "/d.txt")}));
    failures->btnCopy->click();
    QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    lines.sort();
    for (int i = 0; i < 2; ++i) {
        const std::string name = i == 0 ? "/b.txt" : "/d.txt";
        EXPECT_TRUE(lines[i].startsWith(QString::fromStdString("Copy\t" + left + name + "\t" + right + name + "\t")))
            << lines[i].toStdString();
    }
    EXPECT_TRUE(StatusText(*window, 1).endsWith("2 failed.")) << StatusText(*window, 1).toStdString();
    EXPECT_TRUE(StatusText(*window, 0).startsWith("Found ")) << "the follow-up comparison's count";
    failures->btnClose->click();
    EXPECT_TRUE(testutil::WaitUntil([&] { return window->FailuresWindow() == nullptr; }));
}

TEST_F(PlanWindow, StopIsInTheMenuAndOnThePanelAndEscWorksFromTheList)
{
    for (int i = 0; i < 200; ++i) WriteFile(left + "/d" + std::to_string(i % 10) + "/f" + std::to_string(i), "x");
    auto window = Open(kn::TKNAction::LeftToRight);
    QAction* stop = window->FindAction("actCompareStop");
    EXPECT_EQ(stop->text(), "S&top");
    EXPECT_EQ(stop->shortcut(), QKeySequence(Qt::Key_Escape));
    bool inMenu = false;
    for (QAction* menu : window->menuBar()->actions())
        if (menu->text() == "&Compare") inMenu = menu->menu()->actions().contains(stop);
    EXPECT_TRUE(inMenu);
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_FALSE(window->sbtnStop->isEnabled());
    window->edFolderLeft->setText(QString::fromStdString(left));
    window->edFolderRight->setText(QString::fromStdString(right));
    QApplication::setActiveWindow(window.get());
    window->FindAction("actCompareCompare")->trigger();
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(window->sbtnStop->isEnabled());
    window->ListViewFiles->setFocus();
    QTest::keyClick(window->ListViewFiles, Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle(*window));
    EXPECT_EQ(window->ResultModel().rowCount(), 0) << "the comparison was stopped";
    EXPECT_FALSE(window->sbtnStop->isEnabled());
}

class StoppedUpdate : public PlanWindow, public ::testing::WithParamInterface<bool> {};

// Stopped by the Stop command, or by closing the window: either way the run ends after the
// operation in work, and no comparison follows it.
TEST_P(StoppedUpdate, EndsTheRunWithoutAFollowUpComparison)
{
    const bool byClosing = GetParam();
    for (int i = 0; i < 300; ++i) WriteFile(left + "/f" + std::to_string(i), "x");
    auto window = Open(kn::TKNAction::LeftToRight, true);
    Compare(*window, left, right);
    ASSERT_EQ(window->ResultModel().rowCount(), 300);
    kn::TKNFileCompare& engine = window->Engine();
    // Every report reaches the handler below while the worker waits, so the stop comes at the
    // fifth operation however fast the copies are.
    engine.ProgressDelivery = vex::TDelivery::Synchronized;
    // One worker: others would go on copying while the reporting one waits, and could end the
    // run before the stop (a pool's stop has its own test).
    engine.Transfers = 1;
    int comparisons = 0;
    auto started = engine.OnCompareStart;
    engine.OnCompareStart = [&](void* sender) {
        ++comparisons;
        started(sender);
    };
    auto progress = engine.OnUpdateProgress;
    engine.OnUpdateProgress = [&](void* sender, const std::string& text, int position) {
        progress(sender, text, position);
        if (position != 5) return;
        // Queued: the window acts from its event loop, as after a click, not inside a report.
        QMetaObject::invokeMethod(
            window.get(),
            [&] {
                if (byClosing)
                    window->close();
                else
                    window->FindAction("actCompareStop")->trigger();
            },
            Qt::QueuedConnection);
    };
    window->FindAction("actCompareUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    EXPECT_TRUE(engine.LastUpdate().Stopped);
    EXPECT_EQ(comparisons, 0);
    EXPECT_EQ(engine.Items.size(), 300u) << "the rows of the comparison before stay";
    const int64_t copied = engine.LastUpdate().Done.FilesToCopy;
    EXPECT_GE(copied, 5);
    EXPECT_LT(copied, 300);
    if (!byClosing) {
        EXPECT_FALSE(window->FindAction("actCompareUpdate")->isEnabled()) << "the rows no longer match the disk";
        EXPECT_EQ(StatusText(*window, 0), "Stopped.");
        EXPECT_TRUE(StatusText(*window, 1).startsWith("Done: ")) << StatusText(*window, 1).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, StoppedUpdate, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& way) { return way.param ? "ByClosing" : "ByStop"; });

TEST_F(PlanWindow, AMissingFolderFailsTheComparisonFromCompareAndFromAPreset)
{
    WriteFile(right + "/precious.txt", "precious");
    const std::string typo = trees / "Projct backup";
    config = OpenConfig();
    ASSERT_GE(config->Presets.Add(FolderPreset(home.path(), "Typo", typo, right)), 0);
    auto window = Open(kn::TKNAction::LeftToRight);
    const std::string shown = "error: The comparison failed.\nThe folder \"" + typo + "\" does not exist.";
    {
        ModalScript script({ModalScript::Ok()});
        Compare(*window, typo, right);
        ASSERT_TRUE(testutil::WaitUntil([&] { return script.Pending() == 0; }));
        ASSERT_EQ(script.Seen.size(), 1);
        EXPECT_EQ(script.Seen[0].toStdString(), shown);
        EXPECT_EQ(window->ResultModel().rowCount(), 0);
        for (const char* name : {"actCompareUpdate", "actCompareForceUpdate", "actCompareUpdateSelection",
                                 "actCompareForceUpdateSelection"})
            EXPECT_FALSE(window->FindAction(name)->isEnabled()) << name;
    }
    // A good comparison first, so the commands are enabled; the failed preset disables them.
    Compare(*window, left, right);
    ASSERT_TRUE(window->FindAction("actCompareForceUpdate")->isEnabled());
    QAction* item = nullptr;
    for (QAction* menu : window->menuBar()->actions())
        if (menu->text() == "&Preset")
            for (QAction* entry : menu->menu()->actions())
                if (entry->text() == "Typo") item = entry;
    ASSERT_NE(item, nullptr);
    ModalScript script({ModalScript::Ok()});
    item->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    ASSERT_TRUE(testutil::WaitUntil([&] { return script.Pending() == 0; }));
    EXPECT_EQ(script.Seen.value(0).toStdString(), shown);
    EXPECT_FALSE(window->FindAction("actCompareForceUpdate")->isEnabled());
    EXPECT_EQ(ReadFile(right + "/precious.txt"), "precious");
}

}  // namespace
}  // namespace updateui_test
