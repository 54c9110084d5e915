// The differences window: rows, fillers, colours, tags and summary for small file pairs,
// synchronised scrolling, next/previous difference and the marker strip.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QThread>

#include "framework/qt/vex_unitStatusBar.h"
#include "tests/common/temp_tree.h"
#include "ui/kn_frmShowDifferences.h"

namespace {

using kn::TCodeEdit;
using kn::TColor;
using kn::TKNShowDifferencesForm;
constexpr TColor W = kn::clWindow;
constexpr TColor A = TKNShowDifferencesForm::AddedColor;
constexpr TColor M = TKNShowDifferencesForm::ModifiedColor;
constexpr TColor D = TKNShowDifferencesForm::DeletedColor;

struct Row {
    std::string text;
    TColor color;
    int tag;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r)
{
    return os << "{\"" << r.text << "\", " << std::hex << r.color << std::dec << ", " << r.tag << "}";
}

std::vector<Row> RowsOf(const TCodeEdit& view)
{
    std::vector<Row> rows;
    for (int i = 0; i < view.Lines().Count(); ++i) {
        const kn::TLineObj& obj = view.Lines().GetLineObj(i);
        rows.push_back({view.Lines().Get(i), obj.Color, obj.Tag});
    }
    return rows;
}

class ShowDifferencesTest : public ::testing::Test {
protected:
    // Loads a pair of files with the given contents into the window.
    void Load(const std::string& left, const std::string& right)
    {
        testutil::WriteFile(dir / "left.txt", left);
        testutil::WriteFile(dir / "right.txt", right);
        QString error;
        ASSERT_TRUE(
            form.LoadFiles(QString::fromStdString(dir / "left.txt"), QString::fromStdString(dir / "right.txt"), error))
            << error.toStdString();
        WaitForComparison();
    }
    // The comparison runs on a worker; its end arrives as an event.
    void WaitForComparison()
    {
        while (form.Comparing()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(1);
        }
    }
    std::string Lines(int from, int to)
    {
        std::string text;
        for (int i = from; i <= to; ++i) text += "line " + std::to_string(i) + "\n";
        return text;
    }

    testutil::TempDir dir;
    TKNShowDifferencesForm form;
};

TEST_F(ShowDifferencesTest, IdenticalFiles)
{
    Load("a\nb\n", "a\nb\n");
    EXPECT_EQ(RowsOf(*form.LeftView()), (std::vector<Row>{{"a", W, 1}, {"b", W, 2}}));
    EXPECT_EQ(RowsOf(*form.RightView()), (std::vector<Row>{{"a", W, 1}, {"b", W, 2}}));
    EXPECT_EQ(form.Summary(), QStringLiteral("No differences."));
    const QImage& strip = form.MarkerBitmap();
    ASSERT_FALSE(strip.isNull());
    for (int y = 0; y < strip.height(); y += 7)
        ASSERT_EQ(QColor(strip.pixel(0, y)), kn::ToQColor(W, form.palette())) << "row " << y;
    form.LeftView()->setFocus();
    form.tbNextClick();
    EXPECT_EQ(form.LeftView()->CaretY(), 0);
    form.LeftView()->MoveCaretTo(0, 1);
    form.tbPrevClick();
    EXPECT_EQ(form.LeftView()->CaretY(), 1);
}

TEST_F(ShowDifferencesTest, DeletedLineGetsAFillerOpposite)
{
    Load("a\nb\nc\n", "a\nc\n");
    EXPECT_EQ(RowsOf(*form.LeftView()), (std::vector<Row>{{"a", W, 1}, {"b", D, 2}, {"c", W, 3}}));
    EXPECT_EQ(RowsOf(*form.RightView()), (std::vector<Row>{{"a", W, 1}, {"", D, -1}, {"c", W, 2}}));
    EXPECT_EQ(form.Summary(), QStringLiteral("0 lines added, 0 lines modified, 1 line deleted."));
    EXPECT_FALSE(form.LeftView()->Lines().GetLineObj(1).Modified) << "the modified colour never shows";
}

TEST_F(ShowDifferencesTest, ModifiedSingleLine)
{
    Load("x", "y");
    EXPECT_EQ(RowsOf(*form.LeftView()), (std::vector<Row>{{"x", M, 1}}));
    EXPECT_EQ(RowsOf(*form.RightView()), (std::vector<Row>{{"y", M, 1}}));
    EXPECT_EQ(form.Summary(), QStringLiteral("0 lines added, 1 line modified, 0 lines deleted."));
}

TEST_F(ShowDifferencesTest, LinesAddedAtTheEnd)
{
    Load("a\nb\n", "a\nb\nc\nd\n");
    EXPECT_EQ(RowsOf(*form.LeftView()), (std::vector<Row>{{"a", W, 1}, {"b", W, 2}, {"", A, -1}, {"", A, -1}}));
    EXPECT_EQ(RowsOf(*form.RightView()), (std::vector<Row>{{"a", W, 1}, {"b", W, 2}, {"c", A, 3}, {"d", A, 4}}));
    EXPECT_EQ(form.Summary(), QStringLiteral("2 lines added, 0 lines modified, 0 lines deleted."));
}

TEST_F(ShowDifferencesTest, GuttersAreSizedFromEachFile)
{
    Load(Lines(1, 9), Lines(1, 10));
    EXPECT_FALSE(form.LeftView()->AutoLineNum());
    EXPECT_EQ(form.RightView()->GutterWidth() - form.LeftView()->GutterWidth(), form.LeftView()->CharWidth())
        << "one digit more on the right";
}

TEST_F(ShowDifferencesTest, TextEndsAtANulByte)
{
    // The zero byte lies beyond the first 8 KB, so the file is text, not binary.
    const std::string b(9000, 'b');
    Load("a\n" + b + std::string("\0c\nd\n", 5), "a\n" + b + "\n");
    EXPECT_EQ(RowsOf(*form.LeftView()), (std::vector<Row>{{"a", W, 1}, {b, M, 2}})) << "the cut line has no break";
}

TEST_F(ShowDifferencesTest, UnreadableOrEmptyFilesAreRefused)
{
    testutil::WriteFile(dir / "empty.txt", "");
    testutil::WriteFile(dir / "one.txt", "x\n");
    QString error;
    const QString missing = QString::fromStdString(dir / "missing.txt");
    EXPECT_FALSE(form.LoadFiles(missing, QString::fromStdString(dir / "one.txt"), error));
    EXPECT_TRUE(error.contains(missing)) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("No such file or directory"))) << error.toStdString();
    EXPECT_FALSE(
        form.LoadFiles(QString::fromStdString(dir / "one.txt"), QString::fromStdString(dir / "empty.txt"), error));
    EXPECT_TRUE(error.contains(QStringLiteral("empty"))) << error.toStdString();
    EXPECT_EQ(form.LeftView()->Lines().Count(), 0);
}

TEST_F(ShowDifferencesTest, ScrollingIsLinkedBothWays)
{
    std::string left = Lines(1, 300), right = Lines(1, 300);
    left += std::string(400, 'w') + "\n";
    right += std::string(400, 'v') + "\n";
    Load(left, right);
    form.show();
    form.LeftView()->SetTopLine(120);
    EXPECT_EQ(form.RightView()->TopLine(), 120);
    form.RightView()->SetTopLine(40);
    EXPECT_EQ(form.LeftView()->TopLine(), 40);
    form.LeftView()->MoveCaretTo(399, 300);
    EXPECT_GT(form.LeftView()->LeftCol(), 0);
    EXPECT_EQ(form.RightView()->LeftCol(), form.LeftView()->LeftCol());
    EXPECT_EQ(form.RightView()->TopLine(), form.LeftView()->TopLine());
    // Ctrl+End and Ctrl+Home keep the rows level, whichever view has the focus.
    for (TCodeEdit* view : {form.RightView(), form.LeftView()}) {
        view->setFocus();
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QCoreApplication::sendEvent(view, &end);
        EXPECT_EQ(form.LeftView()->TopLine(), form.RightView()->TopLine());
        EXPECT_GT(form.LeftView()->TopLine(), 200);
        QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
        QCoreApplication::sendEvent(view, &home);
        EXPECT_EQ(form.RightView()->TopLine(), 0);
    }
}

TEST_F(ShowDifferencesTest, NextAndPreviousDifference)
{
    // Rows: 0-1 same, 2 modified, 3-4 same, 5 added, 6 deleted, 7 same.
    Load("s1\ns2\nold\ns3\ns4\ngone\ns5\n", "s1\ns2\nnew\ns3\ns4\nadded\ns5\n");
    ASSERT_EQ(form.LeftView()->Lines().Count(), 7);
    std::vector<TColor> colors;
    for (const Row& r : RowsOf(*form.LeftView())) colors.push_back(r.color);
    ASSERT_EQ(colors, (std::vector<TColor>{W, W, M, W, W, M, W})) << "a replaced line pairs into a modified row";

    form.show();
    TCodeEdit* view = form.RightView();
    view->setFocus();
    form.tbNextClick();
    EXPECT_EQ(view->CaretY(), 2);
    form.tbNextClick();
    EXPECT_EQ(view->CaretY(), 5);
    form.tbNextClick();
    EXPECT_EQ(view->CaretY(), 5) << "no difference after the last block";
    form.tbPrevClick();
    EXPECT_EQ(view->CaretY(), 2);
    form.tbPrevClick();
    EXPECT_EQ(view->CaretY(), 2) << "no difference before the first block";
    EXPECT_EQ(form.LeftView()->CaretY(), 0) << "only the focused view moves";
}

TEST_F(ShowDifferencesTest, AdjacentBlocksAreSeparateStops)
{
    Load("a\nx\nb\n", "a\nb\nc\n");  // x deleted, c added: two blocks of one colour each
    form.show();
    TCodeEdit* view = form.LeftView();
    view->setFocus();
    std::vector<int> stops;
    for (int k = 0; k < 4; ++k) {
        form.tbNextClick();
        stops.push_back(view->CaretY());
    }
    EXPECT_EQ(stops, (std::vector<int>{1, 3, 3, 3}));
}

TEST_F(ShowDifferencesTest, MarkerStripHasABarPerChangedRow)
{
    form.resize(600, 400);
    form.show();
    Load("a\nb\nc\nd\n", "a\nB\nc\nd\n");
    const QImage& strip = form.MarkerBitmap();
    ASSERT_GT(strip.height(), 100) << "the strip's own size, so bars are drawn, never shrunk";
    // The second of four rows: the second quarter of the strip.
    EXPECT_EQ(QColor(strip.pixel(1, strip.height() * 3 / 8)), kn::ToQColor(M, form.palette()));
    EXPECT_EQ(QColor(strip.pixel(1, strip.height() * 5 / 8)), kn::ToQColor(W, form.palette()));
    // One changed line among thousands is still a bar to see, not a hairline.
    Load(Lines(1, 3000), Lines(1, 1500) + "changed\n" + Lines(1502, 3000));
    int marked = 0;
    for (int row = 0; row < form.MarkerBitmap().height(); ++row)
        marked += QColor(form.MarkerBitmap().pixel(1, row)) == kn::ToQColor(M, form.palette()) ? 1 : 0;
    EXPECT_GE(marked, 3);
}

TEST_F(ShowDifferencesTest, RotateTogglesTheSplit)
{
    Load("a\n", "b\n");
    EXPECT_TRUE(form.SideBySide());
    form.tbRotateClick();
    EXPECT_FALSE(form.SideBySide());
    form.tbRotateClick();
    EXPECT_TRUE(form.SideBySide());
}

TEST_F(ShowDifferencesTest, StatusPanelsShowTheBlockColours)
{
    vex::TvexStatusBar* bar = form.StatusBar();
    ASSERT_EQ(bar->PanelCount(), 4);
    const TColor colours[] = {A, M, D};
    const char* texts[] = {"A", "M", "D"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(bar->Panel(i)->Text(), QString::fromLatin1(texts[i]));
        EXPECT_EQ(bar->Panel(i)->palette().color(QPalette::Window), kn::ToQColor(colours[i], form.palette()));
    }
}

// Random lines from `alphabet` distinct ones: a huge edit distance between two such files.
std::string RandomText(QRandomGenerator& rng, int lines, int alphabet)
{
    std::string text;
    for (int i = 0; i < lines; ++i) text += "line " + std::to_string(rng.bounded(alphabet)) + "\n";
    return text;
}

TEST_F(ShowDifferencesTest, HugeEditDistanceSaysApproximate)
{
    QRandomGenerator rng(3);
    const std::string left = RandomText(rng, 8000, 26), right = RandomText(rng, 8000, 26);
    Load(left, right);
    EXPECT_TRUE(form.Summary().endsWith(QStringLiteral(" lines deleted. (approximate)")))
        << form.Summary().toStdString();
    EXPECT_GE(form.LeftView()->Lines().Count(), 8000);
    EXPECT_EQ(form.LeftView()->Lines().Count(), form.RightView()->Lines().Count());
}

TEST_F(ShowDifferencesTest, WindowClosesWhileALongComparisonRuns)
{
    QRandomGenerator rng(5);
    testutil::WriteFile(dir / "left.txt", RandomText(rng, 300000, 3));
    testutil::WriteFile(dir / "right.txt", RandomText(rng, 300000, 3));
    auto window = std::make_unique<TKNShowDifferencesForm>();
    QString error;
    ASSERT_TRUE(
        window->LoadFiles(QString::fromStdString(dir / "left.txt"), QString::fromStdString(dir / "right.txt"), error));
    EXPECT_TRUE(window->Comparing()) << "LoadFiles returns before the comparison ends";
    EXPECT_EQ(window->Summary(), QStringLiteral("Comparing..."));
    window->show();
    QCoreApplication::processEvents();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &esc);
    EXPECT_FALSE(window->isVisible()) << "Esc closes the window at once";
    EXPECT_TRUE(window->Comparing());
    window.reset();  // stops the search and waits for the worker: returns, rather than hanging for minutes
    SUCCEED();
}

}  // namespace
