// Internal state of TCodeEdit, shared by the files of the kn_unitCodeEditor unit.
#pragma once

#include <QMouseEvent>
#include <QRect>
#include <QString>
#include <QTimer>

#include "ui/kn_unitCodeEditor.h"

namespace kn {

// Bytes of the character starting at text[i] (1 for a byte that starts no valid sequence).
size_t Utf8CharBytes(std::string_view text, size_t i);
// Byte index of character `column` (the text's size when the line is shorter).
size_t Utf8ByteOffset(std::string_view text, int32_t column);
// The characters [from, to) of a line.
std::string Utf8Mid(std::string_view text, int32_t from, int32_t to = INT32_MAX);
// Code points of a line, one per character (U+FFFD for an invalid byte).
std::u32string Utf8Decode(std::string_view text);
// Every tab replaced by TabWidth blanks, as shown.
QString ExpandTabs(std::string_view text);

enum class TDragState { None, Selecting, Moving };

struct TCodeEdit::Impl {
    explicit Impl(TCodeEdit* owner) : q(owner), lines(owner) {}

    TCodeEdit* q;
    TLines lines;
    TColor color = clWindow;
    TColor modifiedLineColor = clEdited;
    bool autoLineNum = true;
    bool readOnly = false;
    bool wantTabs = false;
    bool showWhitespace = false;
    int gutterWidth = 0;

    int charWidth = 8;
    int lineHeight = 16;
    int topLine = 0;
    int leftCol = 0;
    int visibleLines = 0;
    int visibleCols = 0;
    int maxLineLen = 60;
    int scrollShift = 0;

    int caretX = 0;
    int caretY = 0;
    int desiredCol = 0;
    int64_t selAnchor = 0;
    int64_t selCaret = 0;
    TDragState dragState = TDragState::None;
    // Where a press inside the selection was: a release there without a move is a plain click.
    QPoint movePressCaret;

    bool caretInView = false;
    QPoint caretPos;
    bool caretBlinkOn = true;
    QTimer caretBlink;

    bool hasReportedCaret = false;
    int reportedCaretX = 0, reportedCaretY = 0;
    int64_t reportedSelStart = 0, reportedSelEnd = 0;
    bool settingScrollBars = false;
    bool destroying = false;

    TDropFilesEvent onDropFiles;
    TPaintMargin onPaintLeftMargin;
    TNotifyEvent onScroll, onSelectionChange, onCaretPtChange;
    TKeyEvent onKeyDown;
    TGutterClick onGutterClick;

    // Metrics, geometry, scrolling (kn_unitCodeEditor.cpp).
    void ReadFontMetrics();
    void ResizeGutter();
    void UpdateGeometry();
    void UpdateScrollBars();
    int WholeVisibleLines() const;
    int PageCols() const;
    void StoreTopLine(int line);
    void StoreLeftCol(int col);
    void ApplyTopLine(int line);
    void ApplyLeftCol(int col);
    void VScrollAction(int action);
    void HScrollAction(int action);
    void ScrollToCaret();
    // Caret and selection.
    void PlaceCaret();
    void SetCaret(int x, int y, bool extend);
    void MoveVertical(int line, bool extend);
    void ReportChanges();
    void InvalidateCaret();
    // Called by TLines.
    void LinesChanged();
    void LinesCleared();
    void LineLengthSeen(int32_t length);
    // Input (kn_unitCodeEditorInput.cpp).
    bool HandleNavigationKey(QKeyEvent* event);
    void WordLeft();
    void WordRight();
    void SelectWordAt(int x, int y);
    void AutoScroll(QPoint point);
    // The start shared by a press and a double click of the left button: takes the focus and
    // begins a selecting drag. False for any other button, which the view ignores.
    bool StartLeftClick(const QMouseEvent* event);
    // Painting (kn_unitCodeEditorPaint.cpp).
    void Paint(QPainter& painter);
    void PaintRow(QPainter& painter, int line, int y);
    void PaintMarks(QPainter& painter, int line, const QRect& row);
    void PaintWhitespace(QPainter& painter, int line, const QRect& row);
    QColor GutterColor() const;
    QColor LineBackground(int line) const;
    // Editing (kn_unitCodeEditorEdit.cpp).
    void DeleteForward();
    void Backspace();
    void Enter();
    void InsertCharacter(char32_t code);
    void FinishMove();
    void AfterCharInput();

    int64_t SelStart() const { return std::min(selAnchor, selCaret); }
    int64_t SelEnd() const { return std::max(selAnchor, selCaret); }
    int LineLength(int line) const { return lines.GetLineObj(line).CharCount; }
};

}  // namespace kn
