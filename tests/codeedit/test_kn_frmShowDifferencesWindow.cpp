// The differences window as a window: binary pairs, the keys and hints of next and previous
// difference, stops taken from the change records, hints on the status line, and its size.
#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusTipEvent>
#include <QTest>
#include <QThread>
#include <QToolBar>

#include "framework/qt/vex_unitPlacement.h"
#include "tests/common/temp_tree.h"
#include "ui/kn_frmShowDifferences.h"

namespace {

using kn::TKNShowDifferencesForm;

class DifferencesWindow : public ::testing::Test {
protected:
    bool Load(const std::string& left, const std::string& right, QString& error)
    {
        testutil::WriteFile(dir / "left", left);
        testutil::WriteFile(dir / "right", right);
        const bool loaded =
            form.LoadFiles(QString::fromStdString(dir / "left"), QString::fromStdString(dir / "right"), error);
        // The comparison runs on a worker; its end arrives as an event.
        while (form.Comparing()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(1);
        }
        return loaded;
    }
    QAction* Tool(const QString& text)
    {
        for (QAction* action : form.findChild<QToolBar*>()->actions())
            if (action->text() == text) return action;
        ADD_FAILURE() << "no tool " << text.toStdString();
        return nullptr;
    }

    testutil::TempDir dir;
    TKNShowDifferencesForm form;
};

TEST_F(DifferencesWindow, BinaryPairsSayWhetherTheyDifferAndWhere)
{
    const std::string nulFirst("\0\x01\x02zz", 5);
    struct Case {
        const char* name;
        std::string left, right;
        QString summary;
    };
    const Case cases[] = {
        {"different sizes", std::string("PK\3\4\0\0abc", 9), std::string("PK\3\4\0\0abcdef", 12),
         "The files are binary and differ. The first difference is at byte offset 9."},
        {"a zero byte first", nulFirst, std::string("\0\x01\x03zz", 5),
         "The files are binary and differ. The first difference is at byte offset 2."},
        {"identical", nulFirst, nulFirst, "The files are binary and are identical."},
        {"binary against text", "text\n", nulFirst,
         "The files are binary and differ. The first difference is at byte offset 0."},
        {"a late difference is counted in groups", std::string(5000, '\0') + "a", std::string(5000, '\0') + "b",
         "The files are binary and differ. The first difference is at byte offset 5,000."},
    };
    for (const Case& c : cases) {
        QString error;
        ASSERT_TRUE(Load(c.left, c.right, error)) << c.name << ": " << error.toStdString();
        EXPECT_EQ(form.Summary(), c.summary) << c.name;
        ASSERT_EQ(form.LeftView()->Lines().Count(), 1) << c.name << ": no garbage lines";
        EXPECT_EQ(form.LeftView()->Lines().Get(0),
                  "Binary file, " + QLocale().toString(static_cast<qlonglong>(c.left.size())).toStdString() + " bytes.")
            << c.name;
        EXPECT_TRUE(form.MarkerBitmap().isNull()) << c.name;
    }
}

TEST_F(DifferencesWindow, AZeroByteAfterTheFirst8KBStillOpensAsText)
{
    QString error;
    ASSERT_TRUE(
        Load(std::string(9000, 'x') + "\nsecond\n" + '\0' + "rest\n", std::string(9000, 'x') + "\nother\n", error))
        << error.toStdString();
    EXPECT_EQ(form.Summary(), "0 lines added, 1 line modified, 0 lines deleted.");
    EXPECT_EQ(form.LeftView()->Lines().Count(), 2);
}

TEST_F(DifferencesWindow, AltDownAndAltUpStepThroughTheChangeRecords)
{
    // A deleted line, two unchanged lines, then changed lines at the end.
    QString error;
    ASSERT_TRUE(Load("s\ngone\nt\nu\nold\n", "s\nt\nu\nnew\nadded\n", error)) << error.toStdString();
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    kn::TCodeEdit* view = form.LeftView();
    view->setFocus();
    std::vector<int> stops;
    for (int k = 0; k < 4; ++k) {
        QTest::keyClick(view, Qt::Key_Down, Qt::AltModifier);
        stops.push_back(view->CaretY());
    }
    for (int k = 0; k < 3; ++k) {
        QTest::keyClick(view, Qt::Key_Up, Qt::AltModifier);
        stops.push_back(view->CaretY());
    }
    std::vector<int> blocks;
    for (int row = 0; row < view->Lines().Count(); ++row)
        if (view->Lines().GetLineObj(row).Color != kn::clWindow &&
            (row == 0 || view->Lines().GetLineObj(row - 1).Color != view->Lines().GetLineObj(row).Color))
            blocks.push_back(row);
    ASSERT_GE(blocks.size(), 2u) << "rows of a changed colour";
    const int last = stops[blocks.size() - 1];
    EXPECT_EQ(stops[0], blocks[0]);
    EXPECT_EQ(stops[3], last) << "no stop after the last block";
    EXPECT_EQ(stops.back(), blocks[0]) << "back at the first block, and no further";
    for (size_t k = 1; k < stops.size(); ++k)
        EXPECT_NE(view->Lines().GetLineObj(stops[k]).Color, kn::clWindow) << "stop " << k << " is on a change";
}

TEST_F(DifferencesWindow, FromInsideABlockPreviousGoesToTheBlockBefore)
{
    kn::TCodeEdit* view = form.RightView();
    QString error;
    ASSERT_TRUE(Load("a\nb\nc\nd\ne\n", "A\nb\nC\nD\ne\n", error));  // blocks: row 0, rows 2-3
    form.show();
    view->setFocus();
    view->MoveCaretTo(0, 3);
    form.tbNextClick();
    EXPECT_EQ(view->CaretY(), 3) << "no block starts below row 3";
    form.tbPrevClick();
    EXPECT_EQ(view->CaretY(), 0);
    form.tbNextClick();
    EXPECT_EQ(view->CaretY(), 2);
}

TEST_F(DifferencesWindow, NextAndPreviousShowTheirKeysAndLookEnabled)
{
    for (auto [text, key] : {std::pair{"Next Difference", QKeySequence(Qt::ALT | Qt::Key_Down)},
                             std::pair{"Previous Difference", QKeySequence(Qt::ALT | Qt::Key_Up)}}) {
        QAction* action = Tool(text);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->shortcut(), key);
        EXPECT_TRUE(action->toolTip().contains(key.toString(QKeySequence::NativeText)))
            << action->toolTip().toStdString();
        const QImage image = action->icon().pixmap(24, 24).toImage();
        int coloured = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() > 200 && c.hsvSaturation() > 100) ++coloured;
            }
        EXPECT_GT(coloured, 40) << text << ": a coloured arrow, not a grey one";
    }
}

TEST_F(DifferencesWindow, ButtonHintsReachTheStatusLineAndGiveWayToTheSummary)
{
    QString error;
    ASSERT_TRUE(Load("a\n", "b\n", error));
    const QString summary = form.Summary();
    QStatusTipEvent hint(Tool("Next Difference")->statusTip());
    QApplication::sendEvent(form.findChild<QToolBar*>(), &hint);
    EXPECT_EQ(form.StatusLine(), "Show the next difference.");
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(form.findChild<QToolBar*>(), &leave);
    EXPECT_EQ(form.StatusLine(), summary);
    EXPECT_EQ(form.Summary(), summary);
}

TEST_F(DifferencesWindow, OpensAtTwoThirdsOfTheScreenOrAtTheSizeGiven)
{
    const QRect area = vex::AvailableArea(nullptr);
    EXPECT_EQ(form.size(), vex::FirstPlacement(area).size()) << "the first opening";
    form.SetWindowSize(QSize(610, 420));
    EXPECT_EQ(form.size(), QSize(610, 420));
    form.SetWindowSize(QSize(area.width() * 3, area.height() * 3));
    EXPECT_LT(form.width(), area.width()) << "never larger than the screen, frame included";
    EXPECT_LT(form.height(), area.height());
    EXPECT_GE(form.y(), area.top());
}

}  // namespace
