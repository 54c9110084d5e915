// A status bar of panels, each with a text, a width and an alignment, that can also host a
// control (a progress gauge, for instance) at the panel's left, centred vertically.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <vector>

namespace vex {

class TvexStatusPanel : public QWidget {
    Q_OBJECT
public:
    TvexStatusPanel(int width, Qt::Alignment alignment, QWidget* parent);

    QString Text() const { return label_->text(); }
    void SetText(const QString& text);
    Qt::Alignment Alignment() const { return label_->alignment(); }
    // A panel that fits its text keeps its width as a minimum and grows with the text, so a
    // status message is never cut; others cut their text at their width.
    void SetFitsText(bool fits);
    // A panel that wraps its text grows in height to show it whole, a line more at a time,
    // instead of cutting it at its width (which the window's width sets).
    void SetWraps(bool wraps);
    // The hosted control: the panel becomes its parent and keeps it in place.
    void SetControl(QWidget* control);
    QWidget* Control() const { return control_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceControl();
    void FitHeight();

    QLabel* label_;
    bool wraps_ = false;
    QWidget* control_ = nullptr;
};

class TvexStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TvexStatusBar(QWidget* parent = nullptr);

    // Appends a panel. A width of 0 makes the panel take the rest of the bar.
    TvexStatusPanel* AddPanel(int width, Qt::Alignment alignment = Qt::AlignLeft);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    // The panel at `index`, or nullptr when out of range.
    TvexStatusPanel* Panel(int index) const;

private:
    std::vector<TvexStatusPanel*> panels_;
};

}  // namespace vex
