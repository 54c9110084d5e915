// Editing in TCodeEdit: character input, deleting, inserting, cut and paste, and moving the
// selection by dragging. After every operation the line objects must agree with the text.
#include <QClipboard>

#include "codeedit_helpers.h"

namespace {

using codeedit::CellPoint;
using codeedit::ExpectOffsetsMatchText;
using codeedit::Key;
using codeedit::Lines;
using codeedit::MakeView;
using codeedit::Mouse;
using codeedit::TextOf;
using kn::TCodeEdit;

QPoint Caret(const TCodeEdit& view)
{
    return {view.CaretX(), view.CaretY()};
}

struct EditCase {
    const char* name;
    Lines before;
    QPoint caret;
    int key;  // Qt key, or 0 to type `text`
    QString text;
    Lines after;
    QPoint caretAfter;
};

TEST(TCodeEditEditTest, KeysOnTextWithoutSelection)
{
    const EditCase cases[] = {
        {"type into an empty view", {}, {0, 0}, 0, "x", {"x"}, {1, 0}},
        {"enter in an empty view", {}, {0, 0}, Qt::Key_Return, "", {""}, {0, 0}},
        {"backspace in an empty view", {}, {0, 0}, Qt::Key_Backspace, "", {}, {0, 0}},
        {"delete in an empty view", {}, {0, 0}, Qt::Key_Delete, "", {}, {0, 0}},
        {"type in the middle", {"ac"}, {1, 0}, 0, "b", {"abc"}, {2, 0}},
        {"type a tab", {"ab"}, {1, 0}, Qt::Key_Tab, "\t", {"a\tb"}, {2, 0}},
        {"type UTF-8 as one character",
         {"ab"},
         {1, 0},
         0,
         QString::fromUtf8("\xc3\xa9"),
         {"a\xc3\xa9"
          "b"},
         {2, 0}},
        {"delete inside a line", {"abc"}, {1, 0}, Qt::Key_Delete, "", {"ac"}, {1, 0}},
        {"delete at the end of the last line", {"ab"}, {2, 0}, Qt::Key_Delete, "", {"ab"}, {2, 0}},
        {"delete joins the next line", {"ab", "cd"}, {2, 0}, Qt::Key_Delete, "", {"abcd"}, {2, 0}},
        {"delete before an empty next line", {"ab", "", "c"}, {2, 0}, Qt::Key_Delete, "", {"ab", "c"}, {2, 0}},
        {"delete on an empty line", {"", "cd"}, {0, 0}, Qt::Key_Delete, "", {"cd"}, {0, 0}},
        {"ctrl+g deletes forward", {"abc"}, {0, 0}, Qt::Key_G, "", {"bc"}, {0, 0}},
        {"backspace inside a line", {"abc"}, {2, 0}, Qt::Key_Backspace, "", {"ac"}, {1, 0}},
        {"backspace removes a whole UTF-8 character", {"a\xc3\xa9"}, {2, 0}, Qt::Key_Backspace, "", {"a"}, {1, 0}},
        {"backspace at the very start", {"ab"}, {0, 0}, Qt::Key_Backspace, "", {"ab"}, {0, 0}},
        {"backspace joins the previous line", {"ab", "cd"}, {0, 1}, Qt::Key_Backspace, "", {"abcd"}, {2, 0}},
        {"backspace on an empty line", {"ab", ""}, {0, 1}, Qt::Key_Backspace, "", {"ab"}, {2, 0}},
        {"backspace below an empty line", {"x", "", "cd"}, {0, 2}, Qt::Key_Backspace, "", {"x", "cd"}, {0, 1}},
        {"enter at column 0", {"ab"}, {0, 0}, Qt::Key_Return, "", {"", "ab"}, {0, 1}},
        {"enter at the line end", {"ab", "c"}, {2, 0}, Qt::Key_Return, "", {"ab", "", "c"}, {0, 1}},
        {"enter splits the line", {"  abcd"}, {4, 0}, Qt::Key_Return, "", {"  ab", "cd"}, {0, 1}},
        {"other control codes are ignored", {"ab"}, {1, 0}, 0, QString(QChar(2)), {"ab"}, {1, 0}},
    };
    for (const EditCase& c : cases) {
        auto view = MakeView(c.before);
        view->SetWantTabs(true);
        view->MoveCaretTo(c.caret.x(), c.caret.y());
        if (c.key == 0)
            codeedit::Type(*view, c.text);
        else if (c.key == Qt::Key_G)
            Key(*view, Qt::Key_G, Qt::ControlModifier);
        else
            Key(*view, c.key, Qt::NoModifier, c.text);
        EXPECT_EQ(TextOf(*view), c.after) << c.name;
        EXPECT_EQ(Caret(*view), c.caretAfter) << c.name;
        EXPECT_FALSE(view->HasSelection()) << c.name;
        ExpectOffsetsMatchText(*view);
    }
}

struct SelectionCase {
    const char* name;
    Lines before;
    QPoint from, to;  // selection as (column, line)
    int key;
    QString text;
    Lines after;
    QPoint caretAfter;
};

TEST(TCodeEditEditTest, KeysReplaceTheSelection)
{
    const SelectionCase cases[] = {
        {"delete within a line", {"abcdef"}, {1, 0}, {4, 0}, Qt::Key_Delete, "", {"aef"}, {1, 0}},
        {"backspace across lines", {"abc", "def", "ghi"}, {1, 0}, {2, 2}, Qt::Key_Backspace, "", {"ai"}, {1, 0}},
        {"delete from column 0 across lines",
         {"abc", "def", "ghi"},
         {0, 0},
         {1, 2},
         Qt::Key_Delete,
         "",
         {"hi"},
         {0, 0}},
        {"typing replaces", {"abc", "def"}, {2, 0}, {1, 1}, 0, "X", {"abXef"}, {3, 0}},
        {"enter replaces", {"abc", "def"}, {1, 0}, {2, 1}, Qt::Key_Return, "", {"a", "f"}, {0, 1}},
        {"selecting everything and typing", {"abc", "def"}, {0, 0}, {3, 1}, 0, "z", {"z"}, {1, 0}},
        {"selecting everything and enter", {"abc", "def"}, {0, 0}, {3, 1}, Qt::Key_Return, "", {""}, {0, 0}},
    };
    for (const SelectionCase& c : cases) {
        auto view = MakeView(c.before);
        codeedit::Select(*view, c.from.x(), c.from.y(), c.to.x(), c.to.y());
        ASSERT_TRUE(view->HasSelection()) << c.name;
        if (c.key == 0)
            codeedit::Type(*view, c.text);
        else
            Key(*view, c.key);
        EXPECT_EQ(TextOf(*view), c.after) << c.name;
        EXPECT_EQ(Caret(*view), c.caretAfter) << c.name;
        EXPECT_FALSE(view->HasSelection()) << c.name;
        ExpectOffsetsMatchText(*view);
    }
}

TEST(TCodeEditEditTest, SelectAllThenTypeLeavesOneLine)
{
    auto view = MakeView({"first", "", "third line"});
    Key(*view, Qt::Key_A, Qt::ControlModifier);
    codeedit::Type(*view, "q");
    EXPECT_EQ(TextOf(*view), (Lines{"q"}));
    EXPECT_EQ(view->MaxLineLen(), 60) << "the lines were cleared";
    ExpectOffsetsMatchText(*view);
}

struct PasteCase {
    const char* name;
    Lines before;
    QPoint caret;
    std::string text;
    Lines after;
    QPoint caretAfter;
};

TEST(TCodeEditEditTest, InsertingText)
{
    const PasteCase cases[] = {
        {"into the middle of a line", {"ab"}, {1, 0}, "x\ny", {"ax", "yb"}, {1, 1}},
        {"ending with a break, mid line", {"ab"}, {1, 0}, "x\r\n", {"ax", "b"}, {0, 1}},
        {"at column 0", {"ab"}, {0, 0}, "x\ny", {"x", "yab"}, {1, 1}},
        {"at column 0 ending with a break", {"ab"}, {0, 0}, "x\ry\n", {"x", "y", "ab"}, {0, 2}},
        {"without breaks", {"ab"}, {2, 0}, "cd", {"abcd"}, {4, 0}},
        {"into an empty view", {}, {0, 0}, "p\nq", {"p", "q"}, {1, 1}},
        {"nothing", {"ab"}, {1, 0}, "", {"ab"}, {1, 0}},
    };
    for (const PasteCase& c : cases) {
        auto view = MakeView(c.before);
        view->MoveCaretTo(c.caret.x(), c.caret.y());
        view->InsertText(c.text);
        EXPECT_EQ(TextOf(*view), c.after) << c.name;
        EXPECT_EQ(Caret(*view), c.caretAfter) << c.name;
        ExpectOffsetsMatchText(*view);
    }
}

TEST(TCodeEditEditTest, CutAndPasteThroughTheClipboard)
{
    auto view = MakeView({"hello", "world"});
    codeedit::Select(*view, 3, 0, 2, 1);
    Key(*view, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("lo\nwo"));
    EXPECT_EQ(TextOf(*view), (Lines{"helrld"}));
    ExpectOffsetsMatchText(*view);
    view->MoveCaretTo(6, 0);
    Key(*view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(TextOf(*view), (Lines{"helrldlo", "wo"}));
    EXPECT_EQ(Caret(*view), QPoint(2, 1));
    ExpectOffsetsMatchText(*view);
}

// Drags the selection with the mouse from inside it to the cell (column, line).
void DragSelectionTo(TCodeEdit& view, QPoint grab, QPoint drop)
{
    Mouse(view, QEvent::MouseButtonPress, CellPoint(view, grab.x(), grab.y()));
    Mouse(view, QEvent::MouseMove, CellPoint(view, drop.x(), drop.y()));
    Mouse(view, QEvent::MouseButtonRelease, CellPoint(view, drop.x(), drop.y()), Qt::NoButton);
}

TEST(TCodeEditEditTest, AClickInsideTheSelectionWithoutADragPlacesTheCaret)
{
    for (bool readOnly : {false, true}) {
        auto view = MakeView({"abcdef", "ghijkl"});
        view->SetReadOnly(readOnly);
        codeedit::Select(*view, 1, 0, 5, 0);
        Mouse(*view, QEvent::MouseButtonPress, CellPoint(*view, 2, 0));
        Mouse(*view, QEvent::MouseButtonRelease, CellPoint(*view, 2, 0), Qt::NoButton);
        EXPECT_EQ(Caret(*view), QPoint(2, 0)) << "read-only " << readOnly;
        EXPECT_FALSE(view->HasSelection()) << "read-only " << readOnly;
        EXPECT_EQ(TextOf(*view), (Lines{"abcdef", "ghijkl"}));
    }
}

struct DragCase {
    const char* name;
    QPoint from, to;  // selection
    QPoint drop;
    Lines after;
    std::string selectedAfter;
};

TEST(TCodeEditEditTest, MovingTheSelectionByDragging)
{
    const Lines text{"abcdef", "ghijkl"};
    const DragCase cases[] = {
        {"inside itself", {1, 0}, {4, 0}, {3, 0}, text, "bcd"},
        {"onto its own end", {1, 0}, {4, 0}, {4, 0}, text, "bcd"},
        {"before itself", {3, 0}, {5, 0}, {1, 0}, {"adebcf", "ghijkl"}, "de"},
        {"after itself", {1, 0}, {3, 0}, {5, 0}, {"adebcf", "ghijkl"}, "bc"},
        {"across lines, after itself", {4, 0}, {1, 1}, {4, 1}, {"abcdhijef", "gkl"}, "ef\r\ng"},
        {"onto the next line", {0, 0}, {2, 0}, {2, 1}, {"cdef", "ghabijkl"}, "ab"},
    };
    for (const DragCase& c : cases) {
        auto view = MakeView(text);
        codeedit::Select(*view, c.from.x(), c.from.y(), c.to.x(), c.to.y());
        const QPoint grab =
            c.from.y() == c.to.y() ? QPoint(c.from.x() + 1, c.from.y()) : QPoint(c.from.x() + 1, c.from.y());
        DragSelectionTo(*view, grab, c.drop);
        EXPECT_EQ(TextOf(*view), c.after) << c.name;
        if (c.after != text) {
            EXPECT_EQ(view->SelectedText(), c.selectedAfter) << c.name;
            EXPECT_EQ(view->SelCaret(), std::max(view->SelAnchor(), view->SelCaret()))
                << c.name << ": caret after the text";
        }
        ExpectOffsetsMatchText(*view);
    }
}

TEST(TCodeEditEditTest, ReadOnlyRefusesEveryChange)
{
    const Lines text{"abc", "def"};
    auto view = MakeView(text);
    view->SetReadOnly(true);
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    view->MoveCaretTo(1, 0);
    for (int key : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Tab}) Key(*view, key);
    codeedit::Type(*view, "xyz");
    Key(*view, Qt::Key_V, Qt::ControlModifier);
    view->InsertText("more");
    view->CharInput('q');
    codeedit::Select(*view, 1, 0, 2, 1);
    view->DeleteSelection();
    Key(*view, Qt::Key_X, Qt::ControlModifier);
    DragSelectionTo(*view, QPoint(2, 0), QPoint(3, 1));
    EXPECT_EQ(TextOf(*view), text);
    EXPECT_LE(view->CaretY(), 1);
    EXPECT_LE(view->CaretX(), 3);
    EXPECT_FALSE(view->Lines().Modified());
}

}  // namespace
