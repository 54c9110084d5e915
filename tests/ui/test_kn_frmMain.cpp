// The main window driven as a user would: comparisons, the result list, sorting, busy state,
// stopping, and what survives a restart.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QFocusEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <cstdlib>

#include "framework/qt/vex_frmHelp.h"
#include "framework/qt/vex_unitMenuColumns.h"
#include "framework/qt/vex_unitStatusBar.h"
#include "framework/vex_unitText.h"
#include "tests/framework_qt/modal_helper.h"
#include "tests/ui/ui_test_support.h"
#include "ui/kn_unitResultModel.h"

namespace {

using testutil::MainWindowTest;
using testutil::WaitUntil;

constexpr int64_t kTime = 1700000000;

QString StatusText(kn::TKNMainForm& window, int panel)
{
    return static_cast<vex::TvexStatusBar*>(window.statusBar())->Panel(panel)->Text();
}

// The row whose left or right caption is `name`; -1 when none.
int FindRow(kn::TKNResultModel& model, const QString& name)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.CellText(row, 0) == name || model.CellText(row, 6) == name) return row;
    return -1;
}

QImage IconImage(const QVariant& icon)
{
    return icon.value<QIcon>().pixmap(16, 16).toImage();
}

QImage ResourceImage(const char* name)
{
    return QIcon(QString(":/images/%1.png").arg(name)).pixmap(16, 16).toImage();
}

class MainWindow : public MainWindowTest {
protected:
    // left: newer.txt (newer), differ.txt (same time, other size), sub/inner.c, big.bin, zero.txt,
    // same.txt (equal on both sides); right: newer.txt, differ.txt, only.png, same.txt.
    void MakeTrees()
    {
        using testutil::SetMTime;
        using testutil::WriteFile;
        WriteFile(left + "/newer.txt", "left");
        SetMTime(left + "/newer.txt", kTime + 61);
        WriteFile(right + "/newer.txt", "right");
        SetMTime(right + "/newer.txt", kTime);
        for (const std::string& side : {left, right}) {
            WriteFile(side + "/same.txt", "same");
            SetMTime(side + "/same.txt", kTime);
        }
        WriteFile(left + "/differ.txt", "abc");
        WriteFile(right + "/differ.txt", "abcd");
        SetMTime(left + "/differ.txt", kTime);
        SetMTime(right + "/differ.txt", kTime);
        WriteFile(left + "/sub/inner.c", "int x;");
        WriteFile(left + "/big.bin", std::string(1234567, 'b'));
        WriteFile(left + "/zero.txt", "");
        WriteFile(right + "/only.png", "png");
    }
};

TEST_F(MainWindow, ComparisonFillsTheListWithTextsColoursAndImages)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.resize(800, 600);
    window.show();
    Compare(window, left, right);
    kn::TKNResultModel& model = window.ResultModel();

    ASSERT_EQ(model.rowCount(), 7);
    EXPECT_EQ(StatusText(window, 0), "Found 7 folder(s) and file(s).");
    int newer = FindRow(model, "newer.txt");
    int folder = FindRow(model, "sub/");
    int only = FindRow(model, "only.png");
    int differ = FindRow(model, "differ.txt");
    ASSERT_GE(newer, 0);
    ASSERT_GE(folder, 0);
    ASSERT_GE(only, 0);
    ASSERT_GE(differ, 0);
    EXPECT_GE(FindRow(model, "sub/inner.c"), 0);
    EXPECT_EQ(FindRow(model, "same.txt"), -1) << "equal pairs are not listed";

    EXPECT_EQ(model.CellText(folder, 1), "Sub-Dir");
    EXPECT_EQ(model.CellText(FindRow(model, "big.bin"), 1), "1,234,567");
    EXPECT_EQ(model.CellText(FindRow(model, "zero.txt"), 1), "0");
    // The time the file has, to the second, though the comparison cuts it to two seconds.
    EXPECT_EQ(model.CellText(newer, 2), kn::FormatTime(vex::UnixToDateTime(kTime + 61, vex::LocalOffsetNow())));
    EXPECT_EQ(model.CellText(only, 0), "");
    EXPECT_EQ(model.CellText(only, 5), "3");

    auto colour = [&](int row, int column) {
        return model.index(row, column).data(Qt::ForegroundRole).value<QColor>();
    };
    auto struck = [&](int row, int column) {
        QVariant font = model.index(row, column).data(Qt::FontRole);
        return font.isValid() && font.value<QFont>().strikeOut();
    };
    // The palette's colours, so a dark theme stays readable; the view's own text colour where
    // none is given. Newer on the left: the update replaces the right file, dimmed and struck.
    const QPalette palette = QGuiApplication::palette();
    EXPECT_EQ(colour(newer, 0), QColor());
    EXPECT_EQ(colour(newer, 2), QColor());
    EXPECT_EQ(colour(newer, 3), palette.color(QPalette::Link));
    EXPECT_EQ(colour(newer, 5), palette.color(QPalette::PlaceholderText));
    EXPECT_TRUE(struck(newer, 6));
    EXPECT_FALSE(struck(newer, 1));
    // Only on the right: nothing on the left is replaced, whatever the update does with it.
    EXPECT_EQ(colour(only, 0), QColor());
    EXPECT_FALSE(struck(only, 0));
    EXPECT_FALSE(struck(only, 6));
    for (int column : {0, 1, 2, 4, 5, 6}) {
        EXPECT_EQ(colour(differ, column), QColor(0xC0, 0, 0)) << column;
        EXPECT_FALSE(struck(differ, column)) << column;
    }

    // The plan column shows what the update does and nothing else; which side is newer is in
    // the hint, whatever the plan.
    for (auto [row, status] : {std::pair{newer, "Newer on the left."},
                               {only, "Only on the right."},
                               {differ, "Same time, yet they differ."}}) {
        EXPECT_TRUE(model.index(row, 3).data(Qt::DecorationRole).isNull()) << status;
        EXPECT_TRUE(model.index(row, 3).data(Qt::ToolTipRole).toString().endsWith(status)) << status;
    }
    EXPECT_FALSE(model.index(only, 6).data(Qt::DecorationRole).isNull());
    EXPECT_TRUE(model.index(only, 0).data(Qt::DecorationRole).isNull()) << "no image for an absent side";
    EXPECT_GE(model.Row(only)->RightImage, kn::imgFirstShellIcon) << "the looked-up image is kept in the row";
    EXPECT_EQ(model.Row(only)->LeftImage, -2);

    if (const char* shots = std::getenv("KESTRUNE_SHOT_DIR")) {
        window.ListViewFiles->selectRow(newer);
        window.grab().save(QString("%1/main-800.png").arg(shots));
    }
}

// WCAG's contrast ratio of two colours (1 to 21).
double Contrast(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A dark desktop palette; its tooltips stay light, as some dark themes leave them.
QPalette DarkPalette(QPalette palette)
{
    for (auto [role, colour] : {std::pair{QPalette::Base, QColor(0x24, 0x24, 0x24)},
                                {QPalette::Text, Qt::white},
                                {QPalette::Link, QColor(0x8A, 0xB4, 0xF8)},
                                {QPalette::PlaceholderText, Qt::gray},
                                {QPalette::Window, QColor(0x35, 0x35, 0x35)},
                                {QPalette::WindowText, Qt::white},
                                {QPalette::Button, QColor(0x35, 0x35, 0x35)},
                                {QPalette::Highlight, QColor(0x15, 0x53, 0x9E)},
                                {QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xDC)},
                                {QPalette::ToolTipText, Qt::black}})
        palette.setColor(role, colour);
    return palette;
}

// Every text of the list against the view's base, in a light and in a dark palette: names and
// times at least 4.5:1, the dimmed side at least 3:1.
TEST_F(MainWindow, TheListStaysReadableInALightAndADarkPalette)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Compare(window, left, right);
    kn::TKNResultModel& model = window.ResultModel();
    const QPalette light = QApplication::palette(), dark = DarkPalette(light);
    for (const QPalette& palette : {light, dark}) {
        QApplication::setPalette(palette);
        const QColor base = palette.color(QPalette::Base);
        for (int row = 0; row < model.rowCount(); ++row)
            for (int column = 0; column < 7; ++column) {
                const QVariant given = model.index(row, column).data(Qt::ForegroundRole);
                const QColor text = given.isValid() ? given.value<QColor>() : palette.color(QPalette::Text);
                const bool dimmed = model.index(row, column).data(Qt::FontRole).value<QFont>().strikeOut();
                EXPECT_GE(Contrast(text, base), dimmed ? 3.0 : 4.5)
                    << "row " << row << " column " << column << " on " << base.name().toStdString();
            }
    }
    QApplication::setPalette(light);
}

// The notice lines above the list take the window's colours, tinted, never a tooltip's light
// yellow; a browse button with the keyboard focus is framed in the highlight colour. In a light
// and in a dark palette, as a desktop theme hands them to a starting program.
TEST_F(MainWindow, NoticesAndTheFocusShowInALightAndADarkPalette)
{
    const QPalette light = QApplication::palette(), dark = DarkPalette(light);
    for (const QPalette& palette : {light, dark}) {
        QApplication::setPalette(palette);
        auto config = OpenConfig();
        kn::TKNMainForm window(*config);
        window.show();
        QApplication::setActiveWindow(&window);
        for (QLabel* notice : {window.lblOutOfDate, window.lblTwoWay}) {
            const QPalette shown = notice->palette();
            const QColor back = shown.color(notice->backgroundRole());
            EXPECT_GE(Contrast(shown.color(notice->foregroundRole()), back), 4.5);
            EXPECT_LT(std::abs(back.lightness() - palette.color(QPalette::Window).lightness()), 64)
                << "no light banner in a dark window";
        }
        window.sbtnFolderLeft->setFocus();
        const QImage button = window.sbtnFolderLeft->grab().toImage();
        int framed = 0;
        for (int x = 0; x < button.width(); ++x)
            framed += QColor(button.pixel(x, 1)) == palette.color(QPalette::Highlight) ? 1 : 0;
        EXPECT_GE(framed, button.width() / 2) << palette.color(QPalette::Highlight).name().toStdString();
    }
    QApplication::setPalette(light);
}

TEST_F(MainWindow, HeaderClicksSortAndTheOrderSurvivesARestart)
{
    MakeTrees();
    auto sizes = [](kn::TKNMainForm& window) {
        QStringList texts;
        for (int row = 0; row < window.ResultModel().rowCount(); ++row) texts << window.ResultModel().CellText(row, 1);
        return texts;
    };
    auto headerImage = [](kn::TKNMainForm& window, int column) {
        return window.ResultModel().headerData(column, Qt::Horizontal, Qt::DecorationRole);
    };
    {
        auto config = OpenConfig();
        kn::TKNMainForm window(*config);
        Compare(window, left, right);
        QHeaderView* header = window.ListViewFiles->horizontalHeader();
        emit header->sectionClicked(1);
        // Folders first, then the left sizes ascending; right-only rows have size 0.
        EXPECT_EQ(sizes(window), (QStringList{"Sub-Dir", "", "0", "3", "4", "6", "1,234,567"}));
        EXPECT_EQ(IconImage(headerImage(window, 1)), ResourceImage("sortup"));
        EXPECT_TRUE(headerImage(window, 0).isNull());
        emit header->sectionClicked(1);
        EXPECT_EQ(sizes(window), (QStringList{"Sub-Dir", "1,234,567", "6", "4", "3", "0", ""}));
        EXPECT_EQ(IconImage(headerImage(window, 1)), ResourceImage("sortdown"));
    }
    auto config = OpenConfig();
    EXPECT_EQ(config->Header.SortColumn, 1);
    EXPECT_EQ(config->Header.SortDirection, -1);
    kn::TKNMainForm window(*config);
    EXPECT_EQ(IconImage(headerImage(window, 1)), ResourceImage("sortdown"));
    Compare(window, left, right);
    EXPECT_EQ(sizes(window), (QStringList{"Sub-Dir", "1,234,567", "6", "4", "3", "0", ""}));
}

TEST_F(MainWindow, CommandsDoNothingWhileBusy)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.edFolderLeft->setText(QString::fromStdString(left));
    window.edFolderRight->setText(QString::fromStdString(right));
    kn::TKNAction action = window.CurrentAction();
    window.FindAction("actCompareCompare")->trigger();
    // The comparison's end is reported through the event loop, so it is still running here.
    ASSERT_TRUE(window.IsBusy());
    window.FindAction("actCompareAction")->trigger();
    EXPECT_EQ(window.CurrentAction(), action);
    emit window.ListViewFiles->horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(config->Header.SortColumn, 0);
    window.edFolderLeft->setText(QString::fromStdString(right));
    window.FindAction("actCompareCompare")->trigger();
    // Help commands are not refused while busy.
    window.FindAction("actHelpIndex")->trigger();
    EXPECT_TRUE(vex::HelpWindow()->isVisible());
    vex::HelpWindow()->close();
    ASSERT_TRUE(WaitUntil([&] { return !window.IsBusy(); }));
    EXPECT_EQ(window.ResultModel().rowCount(), 7) << "the second Compare must not have run";
    EXPECT_EQ(window.Engine().State, 0);

    window.FindAction("actCompareAction")->trigger();
    EXPECT_EQ(kn::ActionIndex(window.CurrentAction()), (kn::ActionIndex(action) + 1) % kn::kActionCount)
        << "idle again, commands work";
}

// Every control of the window on the Tab path, and the list's first and last rows on Home/End.
TEST_F(MainWindow, TheKeyboardReachesEveryControlAndBothEndsOfTheList)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.show();
    QApplication::setActiveWindow(&window);
    Compare(window, left, right);
    QWidget* expected[] = {window.sbtnFolderLeft, window.cbAction, window.sbtnFolderRight, window.edFolderRight,
                           window.ListViewFiles};  // Stop is off while idle
    QWidget* at = window.edFolderLeft;
    for (QWidget* next : expected) {
        at = at->nextInFocusChain();
        while (!(at->focusPolicy() & Qt::TabFocus) || !at->isEnabled() || !at->isVisible()) at = at->nextInFocusChain();
        EXPECT_EQ(at, next) << at->objectName().toStdString();
    }
    // Tab into the list (sent directly: an offscreen window need not be the active one).
    QFocusEvent tabbedIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(window.ListViewFiles, &tabbedIn);
    ASSERT_TRUE(window.ListViewFiles->currentIndex().isValid()) << "a visible current row";
    QTest::keyClick(window.ListViewFiles, Qt::Key_End);
    EXPECT_EQ(window.ListViewFiles->currentIndex().row(), window.ResultModel().rowCount() - 1);
    QTest::keyClick(window.ListViewFiles, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(window.ListViewFiles->currentIndex().row(), 0);
    EXPECT_EQ(window.ListViewFiles->selectionModel()->selectedRows().size(), window.ResultModel().rowCount())
        << "Shift+Home selects up to the first row";
}

TEST_F(MainWindow, EscStopsARunningComparison)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.show();
    QApplication::setActiveWindow(&window);
    window.edFolderLeft->setText(QString::fromStdString(left));
    window.edFolderRight->setText(QString::fromStdString(right));
    window.FindAction("actCompareCompare")->trigger();
    QTest::keyClick(window.edFolderLeft, Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return !window.IsBusy(); }));
    EXPECT_EQ(window.ResultModel().rowCount(), 0);
    EXPECT_EQ(StatusText(window, 0), "Stopped.") << "not \"Found 0\", which would read as equal trees";
    EXPECT_TRUE(StatusText(window, 1).startsWith("No result: stopped")) << StatusText(window, 1).toStdString();
}

TEST_F(MainWindow, AFailedComparisonSaysWhyAndListsNothing)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    QString shown;
    testutil::OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box) shown = box->text();
        modal->close();
    });
    // Port 1 on the loopback refuses at once: the right side cannot be listed at all.
    Compare(window, left, "ftp://127.0.0.1:1/x");
    EXPECT_TRUE(shown.startsWith("The comparison failed.")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("Cannot open the FTP folder")) << shown.toStdString();
    EXPECT_EQ(window.ResultModel().rowCount(), 0);
    EXPECT_FALSE(window.FindAction("actCompareForceUpdate")->isEnabled());
}

// A folder text too long for its field is refused, never cut: a cut ending at "/" would name
// the parent folder.
TEST_F(MainWindow, AFolderTextTooLongForItsFieldIsRefusedNotCut)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    QString shown;
    testutil::OnNextModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) shown = box->text();
        modal->close();
    });
    const std::string tooLong = left + "/" + std::string(255, 'x') + "/";
    Compare(window, tooLong, right);
    EXPECT_TRUE(shown.contains("may have at most 255")) << shown.toStdString();
    EXPECT_EQ(window.ResultModel().rowCount(), 0);
    EXPECT_EQ(vex::GetField(config->Header.CurrentOptions.LeftFolder).find(std::string(255, 'x')), std::string::npos);
}

TEST_F(MainWindow, PlacementFoldersAndActionAreRestoredAtTheNextStart)
{
    {
        auto config = OpenConfig();
        kn::TKNMainForm window(*config);
        window.move(40, 30);
        window.resize(700, 500);
        window.edFolderLeft->setText("/srv/left side");
        window.edFolderRight->setText("/srv/right");
        int action = kn::ActionIndex(window.CurrentAction());
        window.FindAction("actCompareAction")->trigger();
        EXPECT_EQ(kn::ActionIndex(window.CurrentAction()), (action + 1) % kn::kActionCount);
    }
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    EXPECT_EQ(window.pos(), QPoint(40, 30));
    EXPECT_EQ(window.size(), QSize(700, 500));
    EXPECT_EQ(window.edFolderLeft->text(), "/srv/left side");
    EXPECT_EQ(window.edFolderRight->text(), "/srv/right");
    EXPECT_EQ(window.CurrentAction(), kn::TKNAction::TwoWay) << "the one after Auto";
}

TEST_F(MainWindow, FolderPanelAndColumnsFollowTheWindowWidth)
{
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    for (int width : {640, 800, 777}) {
        window.resize(width, 480);
        window.show();
        QCoreApplication::processEvents();
        QWidget* panel = window.cbAction->parentWidget();
        const int w = panel->width(), a = window.cbAction->sizeHint().width();
        const int x = (w - a) / 2;
        EXPECT_EQ(window.cbAction->geometry(), QRect(x, 0, a, panel->height())) << width;
        EXPECT_EQ(window.sbtnFolderLeft->x(), x - 24) << width;
        EXPECT_EQ(window.sbtnFolderRight->x(), x + a) << width;
        EXPECT_EQ(window.edFolderLeft->geometry(), QRect(0, 0, x - 25, panel->height())) << width;
        EXPECT_EQ(window.edFolderRight->geometry(), QRect(x + a + 25, 0, w - x - a - 25 - 24, panel->height()))
            << width;
        EXPECT_EQ(window.sbtnStop->geometry(), QRect(w - 24, 0, 24, panel->height())) << width;
        QHeaderView* header = window.ListViewFiles->horizontalHeader();
        int client = window.ListViewFiles->viewport()->width();
        const int times = header->sectionSize(2) + header->sectionSize(4);
        EXPECT_GE(header->sectionSize(2), window.fontMetrics().horizontalAdvance("2026-12-09 19:30:59")) << width;
        const int plan = header->sectionSize(3);
        EXPECT_GE(plan, std::max(40, 16 + window.fontMetrics().horizontalAdvance("\u2192\u00d7")))
            << "two-way marks fit";
        int name = std::max((client - 200 - times - plan) / 2 - 10, 120);
        EXPECT_EQ(header->sectionSize(0), name) << width;
        EXPECT_EQ(header->sectionSize(6), name) << width;
    }
}

// A window never resizes itself for a text: the legend of every direction wraps in a narrow
// window, and a status message longer than the bar wraps onto more lines instead of being cut.
TEST_F(MainWindow, TextsWrapAndNeverWidenTheWindow)
{
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.resize(560, 420);
    window.show();
    for (int step = 0; step < kn::kActionCount; ++step) {
        window.FindAction("actCompareAction")->trigger();
        QCoreApplication::processEvents();
        EXPECT_LE(window.minimumSizeHint().width(), 560) << window.cbAction->currentText().toStdString();
        EXPECT_EQ(window.width(), 560) << window.cbAction->currentText().toStdString();
    }
    vex::TvexStatusPanel* details = static_cast<vex::TvexStatusBar*>(window.statusBar())->Panel(1);
    const int oneLine = details->height();
    details->SetText(
        "Done: 3 files copied (83 bytes), 0 deleted, 0 folders created, 0 folders removed, 0 "
        "attribute changes, 0 failed. Backup folder: /home/someone/.config/kestrune/261209021500");
    QCoreApplication::processEvents();
    auto* label = details->findChild<QLabel*>();
    EXPECT_GT(details->height(), oneLine);
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "the whole message shows";
    EXPECT_EQ(window.width(), 560);
}

// The first start compares nothing with itself: the right field is empty, says what it wants,
// and F5 asks for it instead of listing the whole home folder.
TEST_F(MainWindow, TheFirstStartAsksForTheRightFolder)
{
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.show();
    EXPECT_EQ(window.edFolderRight->text(), "");
    EXPECT_FALSE(window.edFolderRight->placeholderText().isEmpty());
    EXPECT_FALSE(window.edFolderLeft->text().isEmpty());
    window.FindAction("actCompareCompare")->trigger();
    EXPECT_FALSE(window.IsBusy());
    EXPECT_EQ(window.Engine().State, 0) << "nothing was compared";
    EXPECT_EQ(StatusText(window, 0), "Nothing compared.");
    EXPECT_TRUE(StatusText(window, 1).contains("right folder")) << StatusText(window, 1).toStdString();
    EXPECT_EQ(window.focusWidget(), window.edFolderRight);
    // A completion list still open when a comparison starts closes: it would take the next click.
    QWidget* proposals = window.edFolderLeft->completer()->popup();
    proposals->show();
    Compare(window, left, right);
    EXPECT_FALSE(proposals->isVisible());
}

TEST_F(MainWindow, TheDirectionControlNamesItsDirectionAndF4PicksTheNext)
{
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    const QString names[kn::kActionCount] = {"Left to Right", "Right to Left", "Auto", "Two-way"};
    for (int step = 0; step < 5; ++step) {
        const int action = kn::ActionIndex(window.CurrentAction());
        EXPECT_EQ(window.cbAction->currentText(), names[action]);
        EXPECT_TRUE(window.cbAction->toolTip().startsWith(names[action] + ":"))
            << window.cbAction->toolTip().toStdString();
        EXPECT_EQ(kn::ActionIndex(config->Header.CurrentOptions.Action), action);
        window.FindAction("actCompareAction")->trigger();
        EXPECT_EQ(kn::ActionIndex(window.CurrentAction()), (action + 1) % kn::kActionCount);
    }
    // Picked in the list, as by mouse or keyboard.
    window.cbAction->setCurrentIndex(1);
    emit window.cbAction->activated(1);
    EXPECT_EQ(window.CurrentAction(), kn::TKNAction::RightToLeft);
}

TEST_F(MainWindow, APresetFromTheMenuAppliesItsFoldersAndCompares)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNOptionsRec preset = config->Header.CurrentOptions;
    vex::SetField(preset.Name, "Mirror");
    vex::SetField(preset.LeftFolder, left);
    vex::SetField(preset.RightFolder, right);
    preset.Action = kn::TKNAction::RightToLeft;
    ASSERT_GE(config->Presets.Add(preset), 0);
    kn::TKNMainForm window(*config);
    QMenu* presets = nullptr;
    for (QAction* menu : window.menuBar()->actions())
        if (menu->text() == "&Preset") presets = menu->menu();
    ASSERT_NE(presets, nullptr);
    QStringList captions;
    for (QAction* item : presets->actions()) captions << item->text();
    EXPECT_EQ(captions, (QStringList{"Presets &Manager", "", "Mirror"}));
    presets->actions().at(2)->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !window.IsBusy(); }));
    EXPECT_EQ(window.windowTitle(), "Kestrune 3.3.2 - [Mirror]");
    EXPECT_EQ(window.edFolderLeft->text().toStdString(), left);
    EXPECT_EQ(window.CurrentAction(), kn::TKNAction::RightToLeft);
    EXPECT_EQ(window.ResultModel().rowCount(), 7);

    window.FindAction("actCompareCompare")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !window.IsBusy(); }));
    EXPECT_EQ(window.windowTitle(), "Kestrune 3.3.2") << "a plain comparison drops the preset name";
}

}  // namespace

namespace {

TEST_F(MainWindow, ShowDifferencesFollowsTheSelectedRowsSides)
{
    MakeTrees();
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Compare(window, left, right);
    kn::TKNResultModel& model = window.ResultModel();
    QAction* showDifferences = window.FindAction("actCompareShowDifferences");
    QItemSelectionModel* selection = window.ListViewFiles->selectionModel();
    auto select = [&](const QString& name, QItemSelectionModel::SelectionFlags flags) {
        int row = FindRow(model, name);
        ASSERT_GE(row, 0) << name.toStdString();
        selection->select(model.index(row, 0), flags | QItemSelectionModel::Rows);
    };
    EXPECT_FALSE(showDifferences->isEnabled());
    select("only.png", QItemSelectionModel::ClearAndSelect);
    EXPECT_FALSE(showDifferences->isEnabled()) << "a right-only row has nothing to compare";
    select("newer.txt", QItemSelectionModel::ClearAndSelect);
    EXPECT_TRUE(showDifferences->isEnabled());
    select("newer.txt", QItemSelectionModel::Deselect);
    EXPECT_FALSE(showDifferences->isEnabled());
    select("differ.txt", QItemSelectionModel::ClearAndSelect);
    EXPECT_TRUE(showDifferences->isEnabled());
    Compare(window, left, right);
    EXPECT_FALSE(showDifferences->isEnabled()) << "a new comparison disables it";
}

TEST_F(MainWindow, CancelAtThePasswordPromptEndsTheStartWithoutWriting)
{
    {
        auto config = OpenConfig();
        ASSERT_TRUE(kn::StorePassword(config->Header, "secret"));
        ASSERT_TRUE(config->WriteHeader(true));
    }
    std::string before = testutil::ReadFile(home / "Kestrune.bin");
    {
        auto config = OpenConfig();
        testutil::OnNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        kn::TKNMainForm window(*config);
        EXPECT_FALSE(window.Started());
    }
    EXPECT_EQ(testutil::ReadFile(home / "Kestrune.bin"), before);

    auto config = OpenConfig();
    testutil::OnNextModal([](QWidget* modal) {
        modal->findChild<QLineEdit*>()->setText("secret");
        static_cast<QDialog*>(modal)->accept();
    });
    kn::TKNMainForm window(*config);
    EXPECT_TRUE(window.Started());
}

}  // namespace

namespace {

TEST_F(MainWindow, LongPresetMenusBreakIntoColumnsOfTwelve)
{
    auto config = OpenConfig();
    QStringList names;
    for (int i = 1; i <= 13; ++i) {
        kn::TKNOptionsRec preset = config->Header.CurrentOptions;
        QString name = QString("Preset %1").arg(i, 2, 10, QChar('0'));
        vex::SetField(preset.Name, name.toStdString());
        vex::SetField(preset.LeftFolder, left);
        vex::SetField(preset.RightFolder, right);
        ASSERT_GE(config->Presets.Add(preset), 0);
        names << name;
    }
    kn::TKNMainForm window(*config);
    auto columnsOf = [](QMenu* menu) { return menu->findChild<vex::TvexMenuColumns*>(); };
    QMenu* mainMenu = nullptr;
    for (QAction* menu : window.menuBar()->actions())
        if (menu->text() == "&Preset") mainMenu = menu->menu();
    ASSERT_NE(mainMenu, nullptr);
    vex::TvexMenuColumns* main = columnsOf(mainMenu);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(main->ColumnCount(), 2);
    // The manager and the separator count: the 11th preset opens the second column.
    EXPECT_EQ(main->ColumnCaptions(0), (QStringList{"Presets &Manager", ""} + names.mid(0, 10)));
    EXPECT_EQ(main->ColumnCaptions(1), names.mid(10));

    QMenu* popup = nullptr;
    for (QMenu* menu : window.findChildren<QMenu*>())
        if (menu->title() == "P&resets...") popup = menu;
    ASSERT_NE(popup, nullptr);
    ASSERT_NE(columnsOf(popup), nullptr);
    EXPECT_EQ(columnsOf(popup)->ColumnCaptions(0), names.mid(0, 12));
    EXPECT_EQ(columnsOf(popup)->ColumnCaptions(1), QStringList{"Preset 13"});
    EXPECT_TRUE(popup->isEnabled());

    QPushButton* last = nullptr;
    for (QPushButton* button : columnsOf(popup)->findChildren<QPushButton*>())
        if (button->text() == "Preset 13") last = button;
    ASSERT_NE(last, nullptr);
    last->click();
    ASSERT_TRUE(WaitUntil([&] { return !window.IsBusy(); }));
    EXPECT_EQ(window.windowTitle(), "Kestrune 3.3.2 - [Preset 13]");

    if (const char* shots = std::getenv("KESTRUNE_SHOT_DIR")) {
        mainMenu->popup(QPoint(0, 0));
        QCoreApplication::processEvents();
        mainMenu->grab().save(QString("%1/preset-menu.png").arg(shots));
        mainMenu->close();
    }
}

}  // namespace
