// Internal state of TKNShowDifferencesForm, shared by the files of the kn_frmShowDifferences
// unit: building and loading (kn_frmShowDifferences.cpp), comparing, filling and finding
// the way (kn_frmShowDifferencesFill.cpp), editing and saving (kn_frmShowDifferencesEdit.cpp).
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

#include "diff/kn_unitBinaryFile.h"
#include "diff/kn_unitInlineDiff.h"
#include "diff/kn_unitTextEncoding.h"
#include "diff/kn_unitTextFile.h"
#include "ui/kn_frmShowDifferences.h"

class QSplitter;
class QToolBar;

namespace vex {
class TvexStatusBar;
}

namespace kn {

// A surface painted by its owner, which also gets its mouse presses and drags.
class TPaintBox : public QWidget {
public:
    explicit TPaintBox(QWidget* parent) : QWidget(parent) {}
    std::function<void(QPainter&)> OnPaint;
    std::function<void(QPoint)> OnMouse;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (OnPaint) OnPaint(painter);
    }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

// A row of the views: a file line on each side or a filler (-1).
constexpr int32_t FillerTag = -1;

struct TDiffSide {
    TDiffSideSource Source;
    std::string Bytes;  // the file as read (or last saved)
    TFileStamp Stamp;
    TTextFormat Format;
    bool Text = false;                              // decoded as text (not binary)
    bool Clean = true;                              // decoded without replacement characters
    std::string Content;                            // the text: decoded, or as edited
    std::string Saved;                              // the text the file holds
    std::vector<std::string_view> Lines, Compared;  // views into Content: without and with breaks
    QLabel* Caption = nullptr;
    QLabel* Format_ = nullptr;
    QComboBox* Encoding = nullptr;
    TCodeEdit* View = nullptr;

    bool Modified() const { return Content != Saved; }
    bool Editable() const { return Text && Clean; }
    void Split();
};

struct TUndoStep {
    bool Left = true;
    std::string Content;
};

struct TKNShowDifferencesForm::Impl {
    TKNShowDifferencesForm* q = nullptr;
    // The comparison runs on Worker, which alone touches Result and Marks until it posts its
    // end; closing the window sets Stop, which the search checks at every step.
    std::atomic<bool> Stop{false};
    std::thread Worker;
    TTextDiffResult Result;
    std::vector<TInlineMarks> Marks;  // per modified row pair, in order
    bool Found = false;
    std::string CompareError;  // why the last comparison failed
    bool Comparing = false;
    int Run = 0;  // the number of the comparison in work, so late reports of earlier ones are dropped
    TDiffSide Left, Right;
    TDiffWindowSettings Settings;
    std::function<void(QSize, const TDiffWindowSettings&)> OnClosed;
    std::vector<TUndoStep> UndoSteps, RedoSteps;
    QTimer CommitTimer;
    bool Filling = false;

    QToolBar* ToolBar = nullptr;
    QAction *tbRotate = nullptr, *tbNext = nullptr, *tbPrev = nullptr, *btnExit = nullptr;
    QAction *tbWhitespace = nullptr, *tbSave = nullptr;
    std::vector<std::pair<QAction*, bool TIgnoreOptions::*>> IgnoreActions;
    QLineEdit *PatternEdit = nullptr, *FindEdit = nullptr;
    vex::TvexStatusBar* StatusBar = nullptr;
    TPaintBox* pbDiffMarker = nullptr;
    QSplitter* pnlMain = nullptr;
    TCodeEdit* LastFocused = nullptr;
    QImage MarkerBitmap;
    // The first and one-past-last row of each change record that is not ignored, in order:
    // the stops of next and previous difference and the changes that can be copied.
    std::vector<std::pair<int, int>> Blocks;
    QString SummaryText;
    QStringList ServerNotices;  // what the servers said while fetching or saving: after the summary
    bool Scrolling = false;

    // Building (kn_frmShowDifferences.cpp).
    QToolBar* BuildToolBar();
    void BuildIgnoreTools();
    QSplitter* BuildHalves();
    QWidget* BuildHeader(TDiffSide& side, QWidget* parent);
    QFrame* BuildDisplay();
    vex::TvexStatusBar* BuildStatusBar();
    bool LoadSide(TDiffSide& side, QString& errorText);
    // Runs `work` on a connection to the server of `file`, on a worker while a box says `doing`,
    // and adds what the server said to the summary.
    TKNSideResult OnServer(const QString& doing, const TKNSideFile& file,
                           const std::function<TKNSideResult(TKNSide& server)>& work);
    // Fetches a side's file from its server into `bytes`, its entry into `file`.
    bool FetchSide(const TDiffSide& side, TKNSideFile& file, std::string& bytes, QString& errorText);
    // Decodes side.Bytes as the text they are (false for none), ready to compare.
    bool DecodeSide(TDiffSide& side);
    void ShowSideHeader(TDiffSide& side);
    void UpdateTitle();
    void SettingsChanged();
    TDiffSide& SideOf(const TCodeEdit* view) { return view == Right.View ? Right : Left; }
    // Comparing and filling (kn_frmShowDifferencesFill.cpp).
    void StartComparison();
    void WaitForComparison();
    void ComparisonDone(int run);
    void StopComparison();
    void FillViews();
    void ShowBinary(const TBinaryComparison& binary);
    void SetSummary(const QString& text);
    // Adds what a server said to the summary.
    void TakeNotices(const std::vector<std::string>& notices);
    void AppendRow(int64_t& counter, TColor color, int leftLine, int rightLine);
    TColor ColorOf(const TDiffChange& change) const;
    void Recolour();
    void BuildMarkerBitmap();
    void PaintOverview(QPainter& painter);
    void PaintGutter(TCodeEdit* sender, QPainter& canvas, const QRect& rec, int line, int tag);
    void ViewScrolled(TCodeEdit* sender);
    TCodeEdit* FocusedView() const;
    int BlockAt(int row) const;
    void HalveSplit();
    // Editing (kn_frmShowDifferencesEdit.cpp).
    void ViewEdited();
    std::string RowsText(const TDiffSide& side) const;
    void ReplaceContent(TDiffSide& side, std::string content);
    bool SaveSide(TDiffSide& side);
    // Writes a side's encoded text through its side; a file changed since it was fetched is
    // replaced only if the user says so, or reloaded.
    bool SaveToServer(TDiffSide& side, const std::string& bytes, std::string& reason);
    // Fetches a server side anew; the text it had becomes a step that can be undone.
    void ReloadSide(TDiffSide& side);
};

}  // namespace kn
