#include "framework/qt/vex_unitStatusBar.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <algorithm>

namespace vex {

TvexStatusPanel::TvexStatusPanel(int width, Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), label_(new QLabel(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(label_);
    label_->setAlignment(alignment | Qt::AlignVCenter);
    // Long paths must not widen the window: the label is cut instead.
    label_->setMinimumWidth(0);
    label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    if (width > 0) setFixedWidth(width);
}

void TvexStatusPanel::SetFitsText(bool fits)
{
    const int width = std::max(minimumWidth(), maximumWidth() < QWIDGETSIZE_MAX ? maximumWidth() : 0);
    label_->setSizePolicy(fits ? QSizePolicy::Preferred : QSizePolicy::Ignored, QSizePolicy::Preferred);
    if (fits) {
        setMinimumWidth(width);
        setMaximumWidth(QWIDGETSIZE_MAX);
    } else if (width > 0) {
        setFixedWidth(width);
    }
    updateGeometry();
}

void TvexStatusPanel::SetText(const QString& text)
{
    label_->setText(text);
    FitHeight();
}

void TvexStatusPanel::SetWraps(bool wraps)
{
    wraps_ = wraps;
    label_->setWordWrap(wraps);
    FitHeight();
}

void TvexStatusPanel::FitHeight()
{
    if (!wraps_) return;
    const QMargins margins = layout()->contentsMargins();
    const int lines = label_->heightForWidth(std::max(1, width() - margins.left() - margins.right()));
    setMinimumHeight(std::max(lines, label_->fontMetrics().height()) + margins.top() + margins.bottom());
}

void TvexStatusPanel::SetControl(QWidget* control)
{
    control_ = control;
    if (control_) {
        control_->setParent(this);
        PlaceControl();
        control_->raise();
    }
}

void TvexStatusPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlaceControl();
    if (event->size().width() != event->oldSize().width()) FitHeight();
}

void TvexStatusPanel::PlaceControl()
{
    if (!control_) return;
    QSize size = control_->size().boundedTo(this->size());
    control_->setGeometry(layout()->contentsMargins().left(), (height() - size.height()) / 2, size.width(),
                          size.height());
}

TvexStatusBar::TvexStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(true);
}

TvexStatusPanel* TvexStatusBar::AddPanel(int width, Qt::Alignment alignment)
{
    auto* panel = new TvexStatusPanel(width, alignment, this);
    // The owning window routes hints to a panel, so no temporary message ever hides panels.
    addWidget(panel, width > 0 ? 0 : 1);
    panels_.push_back(panel);
    return panel;
}

TvexStatusPanel* TvexStatusBar::Panel(int index) const
{
    if (index < 0 || index >= PanelCount()) return nullptr;
    return panels_[static_cast<size_t>(index)];
}

}  // namespace vex
