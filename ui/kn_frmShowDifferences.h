// TKNShowDifferencesForm: two text files side by side (or one above the other), aligned line
// by line, with added, modified and deleted lines coloured and the changed words inside
// modified lines marked, filler rows opposite lines that exist on one side only, file line
// numbers in the gutters, scrolling linked both ways, next/previous difference (Alt+Down,
// Alt+Up), a strip showing where the differences lie that can be clicked and dragged, search
// (Ctrl+F, F3), differences ignored as chosen in the tool bar, each side's encoding and line
// ends (another encoding can be chosen), and editing: copying a change to the other side
// (Alt+Left, Alt+Right, the gutter's arrows), undo and redo, saving (Ctrl+S) atomically in the
// file's own encoding and line ends. A pair of which one file is binary is compared byte for
// byte instead. Windows are not modal: several may be open at once.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>
#include <optional>

#include "diff/kn_unitTextDiff.h"
#include "diff/kn_unitTextEncoding.h"
#include "engine/kn_unitSideFile.h"
#include "ui/kn_unitCodeEditor.h"

class QSplitter;
class QToolBar;
class QLabel;
class QAction;

namespace vex {
class TvexStatusBar;
}

namespace kn {

struct TKNConfigHeader;

// One side of a window: a local file, or a file on a server that the window fetches and saves
// back through its side.
struct TDiffSideSource {
    QString FileName;   // the local file (unused for a file on a server)
    QString ShownName;  // what the side's header shows: the file's name or its server location
    std::optional<TKNSideFile> Server;
};

// The settings a window starts with and hands back when it closes.
struct TDiffWindowSettings {
    TIgnoreOptions Ignore;  // at most one pattern
    bool ShowWhitespace = false;
};
TDiffWindowSettings ReadDiffWindowSettings(const TKNConfigHeader& header);
void WriteDiffWindowSettings(const TDiffWindowSettings& settings, TKNConfigHeader& header);

// Opens a differences window for two files and returns at once; the window deletes itself
// when closed, then calls onClosed with its size and settings. A file that cannot be read or
// has no lines is reported in a box instead (returns nullptr).
// `windowSize` is the size to open with (an empty size: a first placement).
class TKNShowDifferencesForm;
TKNShowDifferencesForm* ShowFileDifferences(QWidget* parent, const TDiffSideSource& left, const TDiffSideSource& right,
                                            QSize windowSize, const TDiffWindowSettings& settings,
                                            std::function<void(QSize, const TDiffWindowSettings&)> onClosed);

class TKNShowDifferencesForm : public QDialog {
    Q_OBJECT
public:
    // Block colours on a light window colour, and on a dark one.
    static constexpr TColor AddedColor = 0xF0CCA8;
    static constexpr TColor ModifiedColor = 0x6FFB8A;
    static constexpr TColor DeletedColor = 0xBB77FF;
    static constexpr TColor IgnoredColor = 0xE8E8E8;
    static constexpr TColor DarkAddedColor = 0x663F1E;
    static constexpr TColor DarkModifiedColor = 0x22552A;
    static constexpr TColor DarkDeletedColor = 0x442266;
    static constexpr TColor DarkIgnoredColor = 0x3A3A3A;

    explicit TKNShowDifferencesForm(QWidget* parent = nullptr);
    ~TKNShowDifferencesForm() override;

    // Loads both files, captions and title, and starts comparing on a worker thread; the views
    // are filled when it ends (Comparing() turns false). False, with the reason in errorText,
    // when a file cannot be read or has no lines. A failed comparison leaves the views empty
    // and still returns true.
    bool LoadFiles(const QString& leftFileName, const QString& rightFileName, QString& errorText);
    bool LoadSides(const TDiffSideSource& left, const TDiffSideSource& right, QString& errorText);
    bool Comparing() const;

    TCodeEdit* LeftView() const;
    TCodeEdit* RightView() const;
    vex::TvexStatusBar* StatusBar() const;
    // The comparison's summary, and what the summary's panel shows now (a hint may cover it).
    QString Summary() const;
    QString StatusLine() const;
    // A side's header: its name, encoding, line ends and, for a side that cannot be saved, why.
    QString SideHeader(bool left) const;
    // Sizes the window and centres it on its parent's screen, the frame inside the available
    // area; an empty or tiny size gives the first placement (two thirds of the area).
    void SetWindowSize(const QSize& size);
    const QImage& MarkerBitmap() const;
    bool SideBySide() const;

    TDiffWindowSettings Settings() const;
    // Called once when the window closes, with its size and settings.
    void SetOnClosed(std::function<void(QSize, const TDiffWindowSettings&)> handler);
    // Applies settings and compares again.
    void SetSettings(const TDiffWindowSettings& settings);
    // Reads a side again in another encoding and compares again; false while it has unsaved
    // changes.
    bool SetSideEncoding(bool left, TTextEncoding encoding);
    // The side's text as it would be saved, and whether it differs from the file.
    std::string SideText(bool left) const;
    bool SideModified(bool left) const;
    // Takes pending typing in as one step (the window does so itself after a pause).
    void CommitEdits();
    // Copies the change at the focused view's caret (or the next one) to the other side:
    // toRight copies left to right. False when there is none or the target side is read-only.
    bool CopyChange(bool toRight);
    bool Undo();
    bool Redo();
    // Saves every changed side; false, after saying why in a box, when one could not be saved.
    // A file changed on its server since it was fetched is not replaced: a box offers to reload
    // it (the edits can be undone) or to save over it.
    bool SaveChanges();
    // Selects the next (or previous) occurrence of text in the focused view.
    bool Find(const QString& text, bool forward = true);
    // Scrolls both views so that the overview strip's point y (of its height) is in the middle.
    void ShowOverviewPoint(int y);

signals:
    // A side was written to its file: what a comparison found of the pair no longer holds.
    void Saved();

public slots:
    void tbNextClick();
    void tbPrevClick();
    void tbRotateClick();
    void btnExitClick();
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace kn
