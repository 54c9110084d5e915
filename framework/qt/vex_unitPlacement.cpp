#include "framework/qt/vex_unitPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace vex {

namespace {

// Fits the window again when the window manager's real frame shows on its first activation
// or move, then goes.
class TFrameFitter : public QObject {
public:
    explicit TFrameFitter(QWidget* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool settled = event->type() == QEvent::WindowActivate || event->type() == QEvent::Move;
        if (watched == window_ && settled && window_->isVisible() && !window_->isMaximized()) {
            const QMargins frame(window_->geometry().left() - window_->frameGeometry().left(),
                                 window_->geometry().top() - window_->frameGeometry().top(),
                                 window_->frameGeometry().right() - window_->geometry().right(),
                                 window_->frameGeometry().bottom() - window_->geometry().bottom());
            if (!frame.isNull()) {
                const QRect place(window_->pos(), window_->size());
                const QRect fitted = FitPlacement(place, AvailableArea(window_), frame);
                if (fitted != place) {
                    window_->resize(fitted.size());
                    window_->move(fitted.topLeft());
                }
                deleteLater();
                window_->removeEventFilter(this);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* window_;
};

}  // namespace

QRect FirstPlacement(const QRect& area)
{
    const QSize size(area.width() * 2 / 3, area.height() * 2 / 3);
    return QRect(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2,
                 size.width(), size.height());
}

QRect FitPlacement(const QRect& place, const QRect& area, const QMargins& frame)
{
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const QSize size(std::clamp(place.width(), 1, std::max(1, area.width() - frameWidth)),
                     std::clamp(place.height(), 1, std::max(1, area.height() - frameHeight)));
    const int x = std::max(area.left(), std::min(place.x(), area.left() + area.width() - size.width() - frameWidth));
    const int y = std::max(area.top(), std::min(place.y(), area.top() + area.height() - size.height() - frameHeight));
    return QRect(QPoint(x, y), size);
}

QRect AvailableArea(const QWidget* window)
{
    QScreen* screen = window ? QGuiApplication::screenAt(window->frameGeometry().center()) : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QMargins EstimatedFrame(const QWidget* window)
{
    const QStyle* style = window ? window->style() : QApplication::style();
    const int border = 4;
    const int title = style ? style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window) : 24;
    return QMargins(border, title + border, border, border);
}

void PlaceOnScreen(QWidget* window, const QRect& place)
{
    QScreen* screen = QGuiApplication::screenAt(place.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect fitted = FitPlacement(place, area, EstimatedFrame(window));
    window->resize(fitted.size());
    window->move(fitted.topLeft());
    window->installEventFilter(new TFrameFitter(window));
}

}  // namespace vex
