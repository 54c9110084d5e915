// TLines bookkeeping, view geometry, scrolling and painting of TCodeEdit.
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include "codeedit_helpers.h"
#include "ui/kn_unitCodeEditorPrivate.h"

namespace {

using codeedit::ExpectOffsetsMatchText;
using codeedit::Lines;
using codeedit::MakeView;
using kn::TCodeEdit;

Lines Numbered(int count)
{
    Lines lines;
    for (int i = 0; i < count; ++i) lines.push_back("line " + std::to_string(i));
    return lines;
}

TEST(TLinesTest, ConstructionValues)
{
    TCodeEdit view;
    EXPECT_EQ(view.Color(), kn::clWindow);
    EXPECT_EQ(view.ModifiedLineColor(), kn::clEdited);
    EXPECT_TRUE(view.AutoLineNum());
    EXPECT_FALSE(view.ReadOnly());
    EXPECT_FALSE(view.WantTabs());
    EXPECT_EQ(view.MaxLineLen(), 60);
    EXPECT_EQ(view.Lines().Count(), 0);
    EXPECT_FALSE(view.Lines().Modified());
    EXPECT_GT(view.CharWidth(), 0);
    EXPECT_GT(view.LineHeight(), 0);
    EXPECT_TRUE(view.font().fixedPitch());
}

TEST(TLinesTest, OffsetsFollowInsertReplaceAndDelete)
{
    auto view = MakeView();
    kn::TLines& lines = view->Lines();
    lines.Add("abc");
    lines.Add("");
    lines.Add("\xc3\xa9t\xc3\xa9");  // three characters in five bytes
    lines.Insert(1, "xy");
    ExpectOffsetsMatchText(*view);
    EXPECT_EQ(lines.GetLineObj(3).CharCount, 3);
    EXPECT_EQ(lines.GetLineObj(3).StartOffset, 3 + 2 + 2 + 2 + 0 + 2);
    lines.Put(0, "a");
    ExpectOffsetsMatchText(*view);
    lines.Delete(1);
    ExpectOffsetsMatchText(*view);
    lines.Put(1, std::string(100, 'z'));
    EXPECT_EQ(view->MaxLineLen(), 100);
    lines.Delete(1);
    EXPECT_EQ(view->MaxLineLen(), 100) << "MaxLineLen is only raised until the lines are cleared";
    lines.Clear();
    EXPECT_EQ(view->MaxLineLen(), 60);
}

TEST(TLinesTest, NewLinesTakeTheViewColourAndNoTag)
{
    auto view = MakeView();
    view->SetColor(0x123456);
    view->Lines().Add("x");
    const kn::TLineObj& obj = view->Lines().GetLineObj(0);
    EXPECT_EQ(obj.Color, 0x123456u);
    EXPECT_EQ(obj.Tag, 0);
    EXPECT_TRUE(obj.Modified);
    EXPECT_TRUE(view->Lines().Modified());
}

TEST(TLinesTest, BadIndexRaisesAndChangesNothing)
{
    auto view = MakeView({"a"});
    for (int bad : {-1, 1, 5}) {
        try {
            view->Lines().GetLineObj(bad);
            ADD_FAILURE() << "no exception for index " << bad;
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "TLines.GetLineObj() - index out of bounds.");
        }
    }
    EXPECT_THROW(view->Lines().Delete(1), std::out_of_range);
    EXPECT_THROW(view->Lines().Insert(3, "x"), std::out_of_range);
    EXPECT_EQ(codeedit::TextOf(*view), (Lines{"a"}));
}

TEST(TLinesTest, SetModifiedAndAssign)
{
    auto source = MakeView({"a", "b"});
    source->Lines().GetLineObj(1).Color = 0x00FF00;
    source->Lines().GetLineObj(1).Tag = 7;
    source->Lines().SetModified(true);
    EXPECT_TRUE(source->Lines().GetLineObj(0).Modified);

    auto copy = MakeView({"old"});
    copy->Lines().Assign(source->Lines());
    EXPECT_EQ(codeedit::TextOf(*copy), (Lines{"a", "b"}));
    EXPECT_EQ(copy->Lines().GetLineObj(1).Color, 0x00FF00u);
    EXPECT_EQ(copy->Lines().GetLineObj(1).Tag, 7);
    EXPECT_FALSE(copy->Lines().Modified());
    EXPECT_FALSE(copy->Lines().GetLineObj(0).Modified);
    ExpectOffsetsMatchText(*copy);
}

TEST(TLinesTest, ChangingColourRecoloursOnlyLinesOfTheOldColour)
{
    auto view = MakeView({"a", "b"});
    view->Lines().GetLineObj(1).Color = 0x0000FF;
    view->SetColor(0xABCDEF);
    EXPECT_EQ(view->Lines().GetLineObj(0).Color, 0xABCDEFu);
    EXPECT_EQ(view->Lines().GetLineObj(1).Color, 0x0000FFu);
}

TEST(TCodeEditGeometryTest, GutterFollowsTheDigitsOfTheLineCount)
{
    struct Row {
        int lines;
        int digits;
    } rows[] = {{0, 1}, {9, 1}, {10, 2}, {99, 2}, {100, 3}};
    for (const Row& row : rows) {
        auto view = MakeView(Numbered(row.lines));
        EXPECT_EQ(view->GutterWidth(), (row.digits + 1) * view->CharWidth()) << row.lines << " lines";
    }
    auto view = MakeView(Numbered(10));
    view->SetAutoLineNum(false);
    view->Lines().Delete(0);
    EXPECT_EQ(view->GutterWidth(), 3 * view->CharWidth()) << "without AutoLineNum the gutter stays";
    view->SetGutterWidth(-5);
    EXPECT_EQ(view->GutterWidth(), 0);
}

TEST(TCodeEditGeometryTest, FontChangeRereadsMetricsAndResizesTheGutter)
{
    auto view = MakeView(Numbered(10));
    const int oldWidth = view->CharWidth(), oldHeight = view->LineHeight();
    QFont bigger = view->font();
    bigger.setPointSize(bigger.pointSize() * 2);
    view->setFont(bigger);
    EXPECT_GT(view->CharWidth(), oldWidth);
    EXPECT_GT(view->LineHeight(), oldHeight);
    EXPECT_EQ(view->GutterWidth(), 3 * view->CharWidth());
    EXPECT_EQ(view->VisibleLines(), (view->viewport()->height() - TCodeEdit::TopMargin) / view->LineHeight() - 1);
}

TEST(TCodeEditGeometryTest, VisibleLinesAndColumnsFromTheClientSize)
{
    auto view = MakeView(Numbered(100));
    for (QSize size : {QSize(300, 200), QSize(500, 420), QSize(120, 60)}) {
        view->resize(size);
        const QSize client = view->viewport()->size();
        EXPECT_EQ(view->VisibleLines(), (client.height() - TCodeEdit::TopMargin) / view->LineHeight() - 1);
        EXPECT_EQ(view->VisibleCols(),
                  (client.width() - view->GutterWidth() - TCodeEdit::LeftMargin) / view->CharWidth() - 1);
    }
}

TEST(TCodeEditGeometryTest, GrowingTheViewAtTheEndPullsTheTopLineBack)
{
    auto view = MakeView(Numbered(50), QSize(300, 150));
    view->SetTopLine(45);
    ASSERT_GT(view->TopLine(), 0);
    view->resize(300, 600);
    EXPECT_EQ(view->TopLine(), std::max(0, 50 - view->VisibleLines()));
}

TEST(TCodeEditScrollTest, LongTextsShiftTheScrollRange)
{
    auto view = MakeView(Numbered(70000));
    EXPECT_EQ(view->ScrollShift(), 2);
    EXPECT_LT(view->verticalScrollBar()->maximum(), 32767);
    view->SetTopLine(12345);
    EXPECT_EQ(view->TopLine(), 12344);
    EXPECT_EQ(view->verticalScrollBar()->value(), 12344 >> 2);
    view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->TopLine(), 12345) << "a line step moves one line even when the thumb cannot show it";
    view->verticalScrollBar()->setSliderPosition(5000);
    EXPECT_EQ(view->TopLine(), 20000) << "thumb positions count in steps of four lines";
    auto small = MakeView(Numbered(100));
    EXPECT_EQ(small->ScrollShift(), 0);
}

TEST(TCodeEditScrollTest, TopLineIsClampedAndReportedOnce)
{
    auto view = MakeView(Numbered(100));
    int scrolls = 0;
    view->SetOnScroll([&scrolls](TCodeEdit*) { ++scrolls; });
    view->SetTopLine(1000);
    EXPECT_EQ(view->TopLine(), 100 - view->VisibleLines() + 1);
    EXPECT_EQ(scrolls, 1);
    view->SetTopLine(view->TopLine());
    EXPECT_EQ(scrolls, 1) << "no scroll, no report";
    view->SetTopLine(-3);
    EXPECT_EQ(view->TopLine(), 0);
    EXPECT_EQ(scrolls, 2);
}

TEST(TCodeEditScrollTest, ScrollBarActions)
{
    auto view = MakeView(Numbered(200));
    QScrollBar* v = view->verticalScrollBar();
    const int page = (view->viewport()->height() - TCodeEdit::TopMargin) / view->LineHeight();
    v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->TopLine(), 1);
    v->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view->TopLine(), 1 + page);
    v->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(view->TopLine(), page);
    EXPECT_EQ(v->value(), page);
    v->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(view->TopLine(), page) << "other actions are ignored";
    EXPECT_EQ(v->value(), page);

    view->Lines().Put(0, std::string(300, 'w'));
    QScrollBar* h = view->horizontalScrollBar();
    h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->LeftCol(), 1);
    h->setSliderPosition(10000);
    const int pageCols = (view->viewport()->width() - view->GutterWidth()) / view->CharWidth();
    EXPECT_EQ(view->LeftCol(), 300 - pageCols + 3);
}

TEST(TCodeEditScrollTest, ScrollToCaretMovesTheLeastNeeded)
{
    auto view = MakeView(Numbered(100));
    view->SetOnScroll(nullptr);
    view->MoveCaretTo(0, 60);
    EXPECT_EQ(view->TopLine(), 60 - view->VisibleLines());
    view->MoveCaretTo(0, 30);
    EXPECT_EQ(view->TopLine(), 30);
    view->MoveCaretTo(0, 31);
    EXPECT_EQ(view->TopLine(), 30);
}

// ---- painting ----

QImage Render(TCodeEdit& view)
{
    QImage image(view.viewport()->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    view.viewport()->render(&image);
    return image;
}

// The gutter and its edge take the palette's colours, in a light and in a dark palette.
TEST(TCodeEditPaintTest, EmptyViewPaintsBackgroundAndGutter)
{
    auto view = MakeView();
    QPalette dark;
    for (auto [role, color] : {std::pair{QPalette::Base, QColor(30, 30, 30)},
                               {QPalette::Window, QColor(45, 45, 45)},
                               {QPalette::Dark, QColor(20, 20, 20)},
                               {QPalette::Midlight, QColor(70, 70, 70)}})
        dark.setColor(role, color);
    for (const QPalette& palette : {view->palette(), dark}) {
        view->setPalette(palette);
        const QImage image = Render(*view);
        const int gutter = view->GutterWidth();
        EXPECT_EQ(image.pixel(1, 10), palette.color(QPalette::Window).rgb()) << "unfocused";
        EXPECT_EQ(image.pixel(gutter - 1, 10), palette.color(QPalette::Dark).rgb());
        EXPECT_EQ(image.pixel(gutter - 2, 10), palette.color(QPalette::Midlight).rgb());
        EXPECT_EQ(image.pixel(gutter + 20, 40), palette.color(QPalette::Base).rgb());
    }
    EXPECT_EQ(view->PointToCaret(QPoint(50, 50)), QPoint(0, 0));
}

TEST(TCodeEditPaintTest, RowsTakeTheirColourOrTheModifiedColour)
{
    auto view = MakeView({"", "", ""});
    view->Lines().GetLineObj(0).Color = 0x0000FF;  // red
    view->Lines().GetLineObj(2).Modified = true;
    const QImage image = Render(*view);
    const int x = view->viewport()->width() - 5;
    auto rowY = [&](int line) { return TCodeEdit::TopMargin + line * view->LineHeight() + 2; };
    EXPECT_EQ(QColor(image.pixel(x, rowY(0))), QColor(255, 0, 0));
    EXPECT_EQ(QColor(image.pixel(x, rowY(1))), view->palette().color(QPalette::Base));
    EXPECT_EQ(QColor(image.pixel(x, rowY(2))), kn::ToQColor(kn::clEdited, view->palette()));
}

TEST(TCodeEditPaintTest, OnlyVisibleRowsAreDrawnAndTheMarginGetsTags)
{
    auto view = MakeView(Numbered(1000));
    view->SetAutoLineNum(false);
    view->SetGutterWidth(30);
    for (int i = 0; i < 1000; ++i) view->Lines().GetLineObj(i).Tag = 5000 + i;
    view->SetTopLine(500);
    std::vector<std::pair<int, int>> painted;
    QRect firstMargin;
    view->SetOnPaintLeftMargin([&](TCodeEdit*, QPainter&, const QRect& rec, int lineNo, int tag) {
        if (painted.empty()) firstMargin = rec;
        painted.emplace_back(lineNo, tag);
    });
    Render(*view);
    ASSERT_EQ(static_cast<int>(painted.size()), view->VisibleLines() + 1);
    EXPECT_EQ(painted.front(), std::make_pair(501, 5500));
    EXPECT_EQ(painted.back().first, 501 + view->VisibleLines());
    EXPECT_EQ(firstMargin,
              QRect(QPoint(0, TCodeEdit::TopMargin), QPoint(26, TCodeEdit::TopMargin + view->LineHeight() - 1)));
}

TEST(TCodeEditPaintTest, TabsShowAsFourBlanksAndBadBytesAsReplacement)
{
    EXPECT_EQ(kn::ExpandTabs("a\tb"), QStringLiteral("a    b"));
    EXPECT_EQ(kn::ExpandTabs("\xc3\xa9\xff"), QString::fromUtf8("\xc3\xa9\xef\xbf\xbd"));
    EXPECT_EQ(kn::Utf8CharCount("\xc3\xa9\xff"
                                "a"),
              3);
    EXPECT_EQ(kn::Utf8CharCount("\xe2\x82"), 2) << "a cut sequence is two characters";
}

}  // namespace
