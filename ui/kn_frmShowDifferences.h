// TKNShowDifferencesForm: two text files side by side (or one above the other), aligned line
// by line, with added, modified and deleted lines coloured, filler rows opposite lines that
// exist on one side only, file line numbers in the gutters, synchronised vertical scrolling,
// next/previous difference (Alt+Down, Alt+Up) from the change records, a strip showing where the differences lie and a
// marker of the scroll position. A pair of which one file is binary is compared byte for byte instead.
#pragma once

#include <QDialog>
#include <QImage>
#include <memory>

#include "ui/kn_unitCodeEditor.h"

class QSplitter;
class QToolBar;
class QLabel;
class QAction;

namespace vex {
class TvexStatusBar;
}

namespace kn {

// Opens the differences window modally for two local files and returns when it is closed.
// A file that cannot be read or has no lines is reported in a box instead. `windowSize` is the
// size to open with (an empty size: a first placement) and, after the window was shown, the
// size it was closed with.
void ShowFileDifferences(QWidget* parent, const QString& leftFileName, const QString& rightFileName, QSize& windowSize);

class TKNShowDifferencesForm : public QDialog {
    Q_OBJECT
public:
    static constexpr TColor AddedColor = 0xF0CCA8;
    static constexpr TColor ModifiedColor = 0x6FFB8A;
    static constexpr TColor DeletedColor = 0xBB77FF;

    explicit TKNShowDifferencesForm(QWidget* parent = nullptr);
    ~TKNShowDifferencesForm() override;

    // Loads both files and starts comparing them, then shows the window modally and returns
    // when it is closed, which it may be while the comparison runs. False, with the reason in
    // errorText and nothing shown, when a file cannot be read or has no lines.
    bool ShowDifferences(const QString& leftFileName, const QString& rightFileName, QString& errorText);

    // The steps of ShowDifferences before the window is shown: load, captions, and the start
    // of the comparison on a worker thread; the views are filled when it ends (Comparing()
    // turns false). A failed comparison leaves the views empty and still returns true.
    bool LoadFiles(const QString& leftFileName, const QString& rightFileName, QString& errorText);
    bool Comparing() const;

    TCodeEdit* LeftView() const;
    TCodeEdit* RightView() const;
    vex::TvexStatusBar* StatusBar() const;
    // The comparison's summary, and what the summary's panel shows now (a hint may cover it).
    QString Summary() const;
    QString StatusLine() const;
    // Sizes the window and centres it on its parent's screen, the frame inside the available
    // area; an empty or tiny size gives the first placement (two thirds of the area).
    void SetWindowSize(const QSize& size);
    const QImage& MarkerBitmap() const;
    bool SideBySide() const;

public slots:
    void tbNextClick();
    void tbPrevClick();
    void tbRotateClick();
    void btnExitClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace kn
