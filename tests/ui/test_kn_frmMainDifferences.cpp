// The main window's way into the differences window: which row F8, Enter and a double click
// open, when the command is enabled, and the size the differences window keeps; the window's
// first placement and status texts.
#include <sys/stat.h>

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <ctime>

#include "framework/qt/vex_unitStatusBar.h"
#include "framework/vex_unitText.h"
#include "tests/ui/ui_test_support.h"
#include "ui/kn_frmShowDifferences.h"
#include "ui/kn_unitResultModel.h"

namespace {

class MainDifferences : public testutil::MainWindowTest {
protected:
    // Rows: a.txt and c.txt on both sides (the first lines say which), b.png on the right only.
    void MakeTrees()
    {
        testutil::WriteFile(left + "/a.txt", "left a\n");
        testutil::WriteFile(right + "/a.txt", "right a, longer\n");
        testutil::WriteFile(right + "/b.png", "png");
        testutil::WriteFile(left + "/c.txt", "left c\n");
        testutil::WriteFile(right + "/c.txt", "right c, longer\n");
    }

    int Row(kn::TKNMainForm& window, const QString& name)
    {
        kn::TKNResultModel& model = window.ResultModel();
        for (int row = 0; row < model.rowCount(); ++row)
            if (model.CellText(row, 0) == name || model.CellText(row, 6) == name) return row;
        ADD_FAILURE() << "no row " << name.toStdString();
        return -1;
    }

    void Select(kn::TKNMainForm& window, const QString& name, QItemSelectionModel::SelectionFlags flags)
    {
        window.ListViewFiles->selectionModel()->select(window.ResultModel().index(Row(window, name), 0),
                                                       flags | QItemSelectionModel::Rows);
    }

    // The differences window `open` opened (it is not modal), or nullptr.
    static kn::TKNShowDifferencesForm* Opened(const std::function<void()>& open)
    {
        open();
        QCoreApplication::processEvents();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* form = qobject_cast<kn::TKNShowDifferencesForm*>(widget); form && form->isVisible()) return form;
        return nullptr;
    }

    // The differences window of the row `name`, opened with F8, its comparison ended.
    kn::TKNShowDifferencesForm* OpenPair(kn::TKNMainForm& window, const QString& name)
    {
        Select(window, name, QItemSelectionModel::ClearAndSelect);
        kn::TKNShowDifferencesForm* form = Opened([&] { window.FindAction("actCompareShowDifferences")->trigger(); });
        while (form && form->Comparing()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return form;
    }

    static void Close(QWidget* form)
    {
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs `open` and returns the first line of the left file the differences window showed
    // ("" when none opened), closing it at `closeSize`.
    static std::string OpenedLeftLine(const std::function<void()>& open, QSize closeSize = QSize())
    {
        kn::TKNShowDifferencesForm* form = Opened(open);
        if (form == nullptr) return "";
        // The comparison runs on a worker; the views fill once it has ended.
        while (form->Comparing()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const std::string seen = form->LeftView()->Lines().Get(0);
        if (closeSize.isValid()) form->resize(closeSize);
        Close(form);
        return seen;
    }
};

TEST_F(MainDifferences, ShowDifferencesFollowsTheTopSelectedRowInViewOrder)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.show();
    Compare(window, left, right);
    QAction* showDifferences = window.FindAction("actCompareShowDifferences");
    ASSERT_EQ(window.ResultModel().rowCount(), 3);

    // Select c.txt first, then a.txt above it: the top row decides, not the order of clicks.
    Select(window, "c.txt", QItemSelectionModel::ClearAndSelect);
    Select(window, "a.txt", QItemSelectionModel::Select);
    EXPECT_TRUE(showDifferences->isEnabled());
    EXPECT_EQ(OpenedLeftLine([&] { showDifferences->trigger(); }), "left a");

    Select(window, "a.txt", QItemSelectionModel::Deselect);
    EXPECT_EQ(OpenedLeftLine([&] { showDifferences->trigger(); }), "left c");

    // b.png has no left file: it switches the command off when it is the top selected row,
    // whatever else is selected below it, and not when a two-sided row lies above it.
    const int b = Row(window, "b.png");
    for (const QString& other : {QStringLiteral("a.txt"), QStringLiteral("c.txt")}) {
        Select(window, "b.png", QItemSelectionModel::ClearAndSelect);
        EXPECT_FALSE(showDifferences->isEnabled());
        Select(window, other, QItemSelectionModel::Select);
        EXPECT_EQ(showDifferences->isEnabled(), Row(window, other) < b) << other.toStdString();
    }

    Select(window, "c.txt", QItemSelectionModel::ClearAndSelect);
    EXPECT_TRUE(showDifferences->isEnabled());
    emit window.ListViewFiles->horizontalHeader()->sectionClicked(1);
    EXPECT_FALSE(window.ListViewFiles->selectionModel()->hasSelection());
    EXPECT_FALSE(showDifferences->isEnabled()) << "a re-sort drops the selection and the command with it";
}

TEST_F(MainDifferences, EnterAndADoubleClickOpenTheDifferencesOfTheirRow)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.show();
    Compare(window, left, right);
    QTableView* list = window.ListViewFiles;
    list->setFocus();

    list->setCurrentIndex(window.ResultModel().index(Row(window, "c.txt"), 0));
    EXPECT_EQ(OpenedLeftLine([&] { QTest::keyClick(list, Qt::Key_Return); }), "left c");
    list->setCurrentIndex(window.ResultModel().index(Row(window, "a.txt"), 0));
    EXPECT_EQ(OpenedLeftLine([&] { QTest::keyClick(list, Qt::Key_Enter); }), "left a");

    const QRect cell = list->visualRect(window.ResultModel().index(Row(window, "c.txt"), 0));
    ASSERT_TRUE(list->viewport()->rect().contains(cell.center()));
    EXPECT_EQ(OpenedLeftLine([&] {
                  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
                  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
              }),
              "left c");

    list->setCurrentIndex(window.ResultModel().index(Row(window, "b.png"), 0));
    EXPECT_EQ(OpenedLeftLine([&] { QTest::keyClick(list, Qt::Key_Return); }), "") << "a one-sided row opens nothing";
}

TEST_F(MainDifferences, TheDifferencesWindowKeepsItsSizeAcrossStarts)
{
    MakeTrees();
    {
        auto config = OpenConfig();
        kn::TKNMainForm window(*config);
        window.show();
        Compare(window, left, right);
        Select(window, "a.txt", QItemSelectionModel::ClearAndSelect);
        QAction* showDifferences = window.FindAction("actCompareShowDifferences");
        EXPECT_EQ(OpenedLeftLine([&] { showDifferences->trigger(); }, QSize(530, 410)), "left a");
        QWidget* form = Opened([&] { showDifferences->trigger(); });
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->size(), QSize(530, 410)) << "the next opening takes the size it was closed with";
        Close(form);
    }
    auto config = OpenConfig();
    const int width = config->Header.DiffWindowWidth, height = config->Header.DiffWindowHeight;  // packed fields
    EXPECT_EQ(width, 530);
    EXPECT_EQ(height, 410);
}

// Saving in the differences window: the row no longer tells what is on disk, so the list says it
// is out of date and offers no update until a comparison. Each saved file takes the time of its
// saving from the fine clock: two files saved one after the other within one tick of the
// kernel's coarse clock would otherwise share a time to the nanosecond.
TEST_F(MainDifferences, ASaveLeavesTheListOutOfDateAndEachFileItsOwnTime)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.show();
    Compare(window, left, right);
    QAction* update = window.FindAction("actCompareUpdate");
    ASSERT_TRUE(update->isEnabled());
    kn::TKNShowDifferencesForm* form = OpenPair(window, "a.txt");
    ASSERT_NE(form, nullptr);
    for (kn::TCodeEdit* view : {form->LeftView(), form->RightView()}) {
        view->MoveCaretTo(0, 0);
        view->InsertText("x");
    }
    form->CommitEdits();
    timespec before{}, after{};
    clock_gettime(CLOCK_REALTIME, &before);
    ASSERT_TRUE(form->SaveChanges());
    clock_gettime(CLOCK_REALTIME, &after);
    auto nanoseconds = [](const timespec& t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; };
    struct stat l {
    }, r{};
    ASSERT_EQ(stat((left + "/a.txt").c_str(), &l), 0);
    ASSERT_EQ(stat((right + "/a.txt").c_str(), &r), 0);
    for (const struct stat* saved : {&l, &r}) {
        EXPECT_GE(nanoseconds(saved->st_mtim), nanoseconds(before));
        EXPECT_LE(nanoseconds(saved->st_mtim), nanoseconds(after));
    }
    EXPECT_NE(nanoseconds(l.st_mtim), nanoseconds(r.st_mtim));
    EXPECT_FALSE(update->isEnabled());
    EXPECT_TRUE(window.lblOutOfDate->isVisibleTo(&window));
    EXPECT_TRUE(window.lblOutOfDate->text().contains("saved")) << window.lblOutOfDate->text().toStdString();
    Close(form);
    Compare(window, left, right);
    EXPECT_FALSE(window.lblOutOfDate->isVisibleTo(&window));
    EXPECT_TRUE(update->isEnabled());
}

// Settings are written when the session ends early (a logout, SIGTERM) as at a normal exit: with
// them the options of a differences window that is still open.
TEST_F(MainDifferences, SavedSettingsHoldTheOpenDifferencesWindowsOptions)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.show();
    Compare(window, left, right);
    kn::TKNShowDifferencesForm* form = OpenPair(window, "a.txt");
    ASSERT_NE(form, nullptr);
    kn::TDiffWindowSettings settings = form->Settings();
    settings.Ignore.Case = true;
    settings.ShowWhitespace = true;
    form->SetSettings(settings);
    window.edFolderRight->setText(QString::fromStdString(right + "/"));
    window.SaveSettings();
    const kn::TKNConfig saved(home / "Kestrune.bin", kn::TKNWorkArea{0, 0, 800, 600});
    const kn::TDiffWindowSettings kept = kn::ReadDiffWindowSettings(saved.Header);
    EXPECT_TRUE(kept.Ignore.Case);
    EXPECT_TRUE(kept.ShowWhitespace);
    EXPECT_EQ(vex::GetField(saved.Header.CurrentOptions.RightFolder), right + "/");
    Close(form);
}

TEST_F(MainDifferences, CountsAreGroupedAndTheFirstPanelShowsThemWhole)
{
    for (int i = 0; i < 1200; ++i) testutil::WriteFile(left + "/f" + std::to_string(i), "");
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.resize(640, 480);
    window.show();
    Compare(window, left, right);
    auto* bar = static_cast<vex::TvexStatusBar*>(window.statusBar());
    const QString text = bar->Panel(0)->Text();
    EXPECT_EQ(text, "Found 1,200 folder(s) and file(s).");
    QApplication::processEvents();
    EXPECT_GE(bar->Panel(0)->width(), bar->Panel(0)->fontMetrics().horizontalAdvance(text)) << "the message is not cut";
    EXPECT_TRUE(bar->Panel(0)->Alignment() & Qt::AlignLeft);
}

TEST_F(MainDifferences, AWindowLargerThanTheScreenIsBroughtInsideWithItsFrame)
{
    auto config = OpenConfig();
    config->Header.WindowLeft = 300;
    config->Header.WindowTop = 200;
    config->Header.WindowWidth = 100000;
    config->Header.WindowHeight = 100000;
    kn::TKNMainForm window(*config);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LT(window.width(), area.width()) << "room is left for the frame";
    EXPECT_LT(window.height(), area.height());
    EXPECT_GE(window.x(), area.left());
    EXPECT_GE(window.y(), area.top());
}

}  // namespace
