// TCodeEdit: a line-oriented text view painted entirely by itself (gutter with line numbers
// or caller-drawn marks, fixed-pitch text with a background colour per line, caret, stream
// selection, scroll bars, keyboard and mouse navigation, clipboard) and, unless read-only,
// an editor. Its text lives in TLines: one UTF-8 string per line plus a TLineObj holding the
// line's colour, a caller's tag and its character offset in the whole text, and marked runs of
// characters drawn stronger than the line's colour. Colours follow the palette, so the view is
// readable in light and dark themes.
#pragma once

#include <QAbstractScrollArea>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diff/kn_unitInlineDiff.h"

class QPainter;

namespace kn {

// A colour as 0x00BBGGRR, or one of the system colours below (resolved from the palette).
using TColor = uint32_t;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clHighlight = 0x8000000D;
constexpr TColor clHighlightText = 0x8000000E;
// A line changed by editing: the window colour shaded a little towards the text colour.
constexpr TColor clEdited = 0x80000010;
QColor ToQColor(TColor color, const QPalette& palette);

// Characters are UTF-8 sequences; a byte that starts no valid sequence is one character.
int32_t Utf8CharCount(std::string_view text);

struct TLineObj {
    int32_t CharCount = 0;    // characters of the line, a tab counting as one
    int64_t StartOffset = 0;  // offset of the first character, line breaks counting 2
    bool Modified = false;    // set when the line is inserted or replaced
    TColor Color = clWindow;  // background of the line
    int32_t Tag = 0;          // the caller's value, handed to OnPaintLeftMargin
};

class TCodeEdit;

class TLines {
public:
    explicit TLines(TCodeEdit* owner);

    int Count() const { return static_cast<int>(Items.size()); }
    const std::string& Get(int index) const;
    // The marked runs of a line (kept until its text changes).
    const std::vector<TInlineMark>& Marks(int index) const;
    void SetMarks(int index, std::vector<TInlineMark> marks);
    int Add(const std::string& text);
    void Insert(int index, const std::string& text);
    void Put(int index, const std::string& text);  // replaces the text of a line
    void Delete(int index);
    void Clear();
    // Throws std::out_of_range("TLines.GetLineObj() - index out of bounds.") for a bad index.
    TLineObj& GetLineObj(int index);
    const TLineObj& GetLineObj(int index) const;

    bool Modified() const { return ListModified; }
    void SetModified(bool value);
    // Copies lines with their Color and Tag inside one update; then SetModified(false).
    void Assign(const TLines& source);
    void Assign(const std::vector<std::string>& source);

    // Room for this many lines, so that filling a long text does not reallocate.
    void SetCapacity(int capacity);
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return UpdateCount > 0; }
    void SetOnChange(std::function<void()> handler) { OnChange = std::move(handler); }

private:
    struct TLine {
        std::string Text;
        TLineObj Obj;
        std::vector<TInlineMark> Marks;
    };
    void CheckIndex(int index, bool allowEnd) const;
    void ShiftOffsets(int from, int64_t delta);
    void Changed();

    TCodeEdit* Owner;
    std::vector<TLine> Items;
    bool ListModified = false;
    int UpdateCount = 0;
    std::function<void()> OnChange;
};

class TCodeEdit : public QAbstractScrollArea {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TCodeEdit* sender)>;
    using TDropFilesEvent = std::function<void(TCodeEdit* sender, const QString& fileName, bool& dropAccepted)>;
    using TPaintMargin =
        std::function<void(TCodeEdit* sender, QPainter& canvas, const QRect& marginRec, int lineNo, int tag)>;
    // Runs before the view handles a key; returning true consumes the key.
    using TKeyEvent = std::function<bool(TCodeEdit* sender, QKeyEvent* event)>;
    // A left click in the gutter on line `line`.
    using TGutterClick = std::function<void(TCodeEdit* sender, int line)>;

    static constexpr int LeftMargin = 4;
    static constexpr int TopMargin = 4;
    static constexpr int TabWidth = 4;

    explicit TCodeEdit(QWidget* parent = nullptr);
    ~TCodeEdit() override;

    TLines& Lines();
    const TLines& Lines() const;

    TColor Color() const;
    void SetColor(TColor value);
    TColor ModifiedLineColor() const;
    void SetModifiedLineColor(TColor value);
    bool AutoLineNum() const;
    void SetAutoLineNum(bool value);
    int GutterWidth() const;
    void SetGutterWidth(int value);
    bool ReadOnly() const;
    void SetReadOnly(bool value);
    bool WantTabs() const;
    void SetWantTabs(bool value);
    // Tabs, blanks at line ends and the line ends themselves drawn as faint signs.
    bool ShowWhitespace() const;
    void SetShowWhitespace(bool value);

    void SetOnDropFiles(TDropFilesEvent handler);
    void SetOnPaintLeftMargin(TPaintMargin handler);
    void SetOnScroll(TNotifyEvent handler);
    void SetOnSelectionChange(TNotifyEvent handler);
    void SetOnCaretPtChange(TNotifyEvent handler);
    void SetOnKeyDown(TKeyEvent handler);
    void SetOnGutterClick(TGutterClick handler);

    int CharWidth() const;
    int LineHeight() const;
    int TopLine() const;
    int LeftCol() const;
    int VisibleLines() const;
    int VisibleCols() const;
    int MaxLineLen() const;
    int ScrollShift() const;
    int CaretX() const;
    int CaretY() const;
    int64_t SelAnchor() const;
    int64_t SelCaret() const;
    bool HasSelection() const;
    // The characters between the selection ends, lines joined by CR LF.
    std::string SelectedText() const;
    // Whether the caret lies in the visible columns and not above the first visible line,
    // and its top-left point in viewport coordinates.
    bool CaretInView() const;
    QPoint CaretPos() const;

    void SetTopLine(int line);
    void SetLeftCol(int col);
    void MoveCaretTo(int column, int line);
    void ScrollToCaret();
    void SelectAll();
    int64_t CaretToOffset(int x, int y) const;
    QPoint OffsetToCaret(int64_t offset) const;  // x = column, y = line
    QPoint PointToCaret(QPoint client) const;    // x = column, y = line
    // Selects the next occurrence of `text` after the selection or caret (the previous one
    // before it when !forward), going round the text's end; ASCII letters match either case
    // unless caseSensitive. False, changing nothing, when there is none.
    bool FindText(std::string_view text, bool forward = true, bool caseSensitive = false);

    void CopyToClipboard();
    // Editing; every one of these does nothing while ReadOnly is true.
    void CutToClipboard();
    void PasteFromClipboard();
    void CharInput(char32_t code);  // 7 delete forward, 8 backspace, 9 tab, 13 enter
    void DeleteSelection();
    void InsertText(std::string_view text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    friend class TLines;
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace kn
