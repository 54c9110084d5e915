// Caret, selection, keyboard and mouse rules of TCodeEdit.
#include <QClipboard>
#include <QMimeData>
#include <QUrl>

#include "codeedit_helpers.h"

namespace {

using codeedit::CellPoint;
using codeedit::Key;
using codeedit::Lines;
using codeedit::MakeView;
using codeedit::Mouse;
using kn::TCodeEdit;

QPoint Caret(const TCodeEdit& view)
{
    return {view.CaretX(), view.CaretY()};
}

TEST(TCodeEditCaretTest, OffsetsAndPositionsConvertBothWays)
{
    auto view = MakeView({"abc", "", "de"});
    struct Row {
        QPoint caret;
        int64_t offset;
    } rows[] = {{{0, 0}, 0}, {{3, 0}, 3}, {{0, 1}, 5}, {{0, 2}, 7}, {{2, 2}, 9}};
    for (const Row& row : rows) {
        EXPECT_EQ(view->CaretToOffset(row.caret.x(), row.caret.y()), row.offset);
        EXPECT_EQ(view->OffsetToCaret(row.offset), row.caret) << row.offset;
    }
    EXPECT_EQ(view->OffsetToCaret(4), QPoint(3, 0)) << "inside a line break: the line end";
    EXPECT_EQ(view->OffsetToCaret(100), QPoint(2, 2));
    auto empty = MakeView();
    EXPECT_EQ(empty->CaretToOffset(0, 0), 0);
    EXPECT_EQ(empty->OffsetToCaret(10), QPoint(0, 0));
}

TEST(TCodeEditCaretTest, PlacingLimitsTheCaretAndCollapsesTheSelection)
{
    auto view = MakeView({"abc", "a\tb"});
    view->MoveCaretTo(10, 7);
    EXPECT_EQ(Caret(*view), QPoint(3, 1));
    EXPECT_FALSE(view->HasSelection());
    EXPECT_EQ(view->SelCaret(), view->CaretToOffset(3, 1));
    // The tab widens the caret's column by TabWidth - 1.
    const int x0 = view->GutterWidth() + TCodeEdit::LeftMargin;
    EXPECT_EQ(view->CaretPos(), QPoint(x0 + 6 * view->CharWidth(), view->LineHeight() + TCodeEdit::TopMargin + 1));
    EXPECT_TRUE(view->CaretInView());
}

TEST(TCodeEditCaretTest, PointToCaretWalksTabsAndEndsBelowTheText)
{
    auto view = MakeView({"a\tbc", "xyz"});
    EXPECT_EQ(view->PointToCaret(CellPoint(*view, 0, 0)), QPoint(0, 0));
    EXPECT_EQ(view->PointToCaret(CellPoint(*view, 2, 0)), QPoint(2, 0)) << "inside the tab's blanks";
    EXPECT_EQ(view->PointToCaret(CellPoint(*view, 5, 0)), QPoint(2, 0));
    EXPECT_EQ(view->PointToCaret(CellPoint(*view, 6, 0)), QPoint(3, 0));
    EXPECT_EQ(view->PointToCaret(CellPoint(*view, 40, 1)), QPoint(3, 1));
    EXPECT_EQ(view->PointToCaret(CellPoint(*view, 1, 9)), QPoint(65535, 1));
    Mouse(*view, QEvent::MouseButtonPress, CellPoint(*view, 1, 9));
    Mouse(*view, QEvent::MouseButtonRelease, CellPoint(*view, 1, 9), Qt::NoButton);
    EXPECT_EQ(Caret(*view), QPoint(3, 1)) << "a click below the text goes to the end of the last line";
}

struct KeyCase {
    const char* name;
    QPoint from;
    int key;
    Qt::KeyboardModifiers mods;
    QPoint to;
};

TEST(TCodeEditKeyTest, NavigationKeys)
{
    const Lines text{"one two  three", "", "x", "last line"};
    const KeyCase cases[] = {
        {"right", {0, 0}, Qt::Key_Right, Qt::NoModifier, {1, 0}},
        {"right at line end wraps", {14, 0}, Qt::Key_Right, Qt::NoModifier, {0, 1}},
        {"right at the very end stays", {9, 3}, Qt::Key_Right, Qt::NoModifier, {9, 3}},
        {"left at column 0 wraps", {0, 2}, Qt::Key_Left, Qt::NoModifier, {0, 1}},
        {"left at the very start stays", {0, 0}, Qt::Key_Left, Qt::NoModifier, {0, 0}},
        {"home", {5, 3}, Qt::Key_Home, Qt::NoModifier, {0, 3}},
        {"end", {1, 3}, Qt::Key_End, Qt::NoModifier, {9, 3}},
        {"ctrl home", {5, 3}, Qt::Key_Home, Qt::ControlModifier, {0, 0}},
        {"ctrl end", {0, 0}, Qt::Key_End, Qt::ControlModifier, {9, 3}},
        {"down", {2, 0}, Qt::Key_Down, Qt::NoModifier, {0, 1}},
        {"up from the first line", {2, 0}, Qt::Key_Up, Qt::NoModifier, {2, 0}},
        {"word right", {0, 0}, Qt::Key_Right, Qt::ControlModifier, {4, 0}},
        {"word right over two blanks", {4, 0}, Qt::Key_Right, Qt::ControlModifier, {9, 0}},
        {"word right at line end", {14, 0}, Qt::Key_Right, Qt::ControlModifier, {0, 1}},
        {"word left", {9, 0}, Qt::Key_Left, Qt::ControlModifier, {4, 0}},
        {"word left inside a word", {11, 0}, Qt::Key_Left, Qt::ControlModifier, {9, 0}},
        {"word left at column 0", {0, 3}, Qt::Key_Left, Qt::ControlModifier, {1, 2}},
        {"word left reaching column 0 of the first word", {2, 3}, Qt::Key_Left, Qt::ControlModifier, {1, 2}},
        {"word left to column 0 of the first line stays there", {2, 0}, Qt::Key_Left, Qt::ControlModifier, {0, 0}},
        {"page down", {0, 0}, Qt::Key_PageDown, Qt::NoModifier, {0, 3}},
    };
    for (const KeyCase& c : cases) {
        auto view = MakeView(text);
        view->MoveCaretTo(c.from.x(), c.from.y());
        Key(*view, c.key, c.mods);
        EXPECT_EQ(Caret(*view), c.to) << c.name;
        EXPECT_FALSE(view->HasSelection()) << c.name;
    }
}

TEST(TCodeEditKeyTest, VerticalMovesRememberTheColumn)
{
    auto view = MakeView({"long line here", "ab", "another long line"});
    view->MoveCaretTo(9, 0);
    Key(*view, Qt::Key_Down);
    EXPECT_EQ(Caret(*view), QPoint(2, 1));
    Key(*view, Qt::Key_Down);
    EXPECT_EQ(Caret(*view), QPoint(9, 2));
    Key(*view, Qt::Key_End);
    Key(*view, Qt::Key_Up);
    Key(*view, Qt::Key_Up);
    EXPECT_EQ(Caret(*view), QPoint(14, 0)) << "after End the caret keeps to line ends";
}

TEST(TCodeEditKeyTest, ShiftExtendsAndCtrlASelectsAll)
{
    auto view = MakeView({"abc", "de"});
    int selectionReports = 0;
    view->SetOnSelectionChange([&](TCodeEdit*) { ++selectionReports; });
    view->MoveCaretTo(1, 0);
    Key(*view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(view->SelAnchor(), 1);
    EXPECT_EQ(view->SelCaret(), view->CaretToOffset(1, 1));
    EXPECT_EQ(view->SelectedText(), "bc\r\nd");
    EXPECT_EQ(selectionReports, 1);
    Key(*view, Qt::Key_Right);
    EXPECT_FALSE(view->HasSelection());
    EXPECT_EQ(selectionReports, 2) << "collapsing is a change from a non-empty selection";
    Key(*view, Qt::Key_Left);
    EXPECT_EQ(selectionReports, 2) << "empty to empty is not reported";
    Key(*view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->SelAnchor(), 0);
    EXPECT_EQ(Caret(*view), QPoint(2, 1));
    EXPECT_EQ(view->SelectedText(), "abc\r\nde");
}

TEST(TCodeEditKeyTest, CaretReportsOnlyOnChange)
{
    auto view = MakeView({"abc"});
    int reports = 0;
    view->SetOnCaretPtChange([&](TCodeEdit*) { ++reports; });
    Key(*view, Qt::Key_Right);
    Key(*view, Qt::Key_Home);
    Key(*view, Qt::Key_Home);
    EXPECT_EQ(reports, 2);
}

TEST(TCodeEditKeyTest, CopyAndReadOnlyCut)
{
    auto view = MakeView({"abc", "de"});
    view->SetReadOnly(true);
    codeedit::Select(*view, 1, 0, 1, 1);
    Key(*view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("bc\nd"));
    QApplication::clipboard()->clear();
    Key(*view, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("bc\nd")) << "a read-only cut copies";
    EXPECT_EQ(codeedit::TextOf(*view), (Lines{"abc", "de"}));
}

TEST(TCodeEditKeyTest, KeyDownHandlerRunsFirstAndAltDoesNothing)
{
    auto view = MakeView({"abc"});
    view->SetOnKeyDown([](TCodeEdit*, QKeyEvent* e) { return e->key() == Qt::Key_Right; });
    Key(*view, Qt::Key_Right);
    EXPECT_EQ(view->CaretX(), 0);
    Key(*view, Qt::Key_End, Qt::AltModifier);
    EXPECT_EQ(view->CaretX(), 0);
    Key(*view, Qt::Key_End);
    EXPECT_EQ(view->CaretX(), 3);
}

TEST(TCodeEditMouseTest, ClickDragAndDoubleClick)
{
    auto view = MakeView({"hello world", "foo_bar baz"});
    Mouse(*view, QEvent::MouseButtonPress, CellPoint(*view, 2, 0));
    EXPECT_EQ(Caret(*view), QPoint(2, 0));
    Mouse(*view, QEvent::MouseMove, CellPoint(*view, 3, 1));
    Mouse(*view, QEvent::MouseButtonRelease, CellPoint(*view, 3, 1), Qt::NoButton);
    EXPECT_EQ(view->SelectedText(), "llo world\r\nfoo");

    Mouse(*view, QEvent::MouseButtonDblClick, CellPoint(*view, 7, 0));
    Mouse(*view, QEvent::MouseButtonRelease, CellPoint(*view, 7, 0), Qt::NoButton);
    EXPECT_EQ(view->SelectedText(), "world");
    EXPECT_EQ(Caret(*view), QPoint(11, 0));
    view->MoveCaretTo(0, 0);
    Mouse(*view, QEvent::MouseButtonDblClick, CellPoint(*view, 3, 1));
    EXPECT_FALSE(view->HasSelection()) << "an underscore is no letter or digit";
    Mouse(*view, QEvent::MouseButtonRelease, CellPoint(*view, 3, 1), Qt::NoButton);
}

TEST(TCodeEditMouseTest, GutterClicksAndDraggingPastTheEdgeScroll)
{
    std::vector<std::string> many(200, "text");
    auto view = MakeView(many);
    view->MoveCaretTo(2, 0);
    Mouse(*view, QEvent::MouseButtonPress, QPoint(view->GutterWidth() / 2, 30));
    Mouse(*view, QEvent::MouseButtonRelease, QPoint(view->GutterWidth() / 2, 30), Qt::NoButton);
    EXPECT_EQ(Caret(*view), QPoint(2, 0)) << "a click in the gutter moves nothing";

    Mouse(*view, QEvent::MouseButtonPress, CellPoint(*view, 0, 0));
    const QPoint below(CellPoint(*view, 1, 0).x(), view->viewport()->height() - 2);
    for (int i = 0; i < 3; ++i) Mouse(*view, QEvent::MouseMove, below);
    Mouse(*view, QEvent::MouseButtonRelease, below, Qt::NoButton);
    EXPECT_EQ(view->TopLine(), 3);
    EXPECT_TRUE(view->HasSelection());
}

TEST(TCodeEditDropTest, OnlyTheFirstDroppedFileIsHandedOn)
{
    auto view = MakeView();
    EXPECT_FALSE(view->viewport()->acceptDrops()) << "no handler, no drop target";
    std::vector<QString> names;
    view->SetOnDropFiles([&names](TCodeEdit*, const QString& fileName, bool& accepted) {
        names.push_back(fileName);
        accepted = fileName.endsWith(QStringLiteral(".txt"));
    });
    EXPECT_TRUE(view->viewport()->acceptDrops());
    auto drop = [&view](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &enter);
        QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
        return event.isAccepted();
    };
    EXPECT_TRUE(drop({QUrl::fromLocalFile("/tmp/a.txt"), QUrl::fromLocalFile("/tmp/b.txt")}));
    EXPECT_FALSE(drop({QUrl::fromLocalFile("/tmp/c.bin")}));
    EXPECT_EQ(names, (std::vector<QString>{QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/c.bin")}));
}

}  // namespace
