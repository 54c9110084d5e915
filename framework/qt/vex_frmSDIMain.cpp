#include "framework/qt/vex_frmSDIMain.h"

#include <QAction>
#include <QStatusTipEvent>

namespace vex {

TvexSDIMainForm::TvexSDIMainForm(QWidget* parent)
    : QMainWindow(parent), MainMenu(menuBar()), MainPopupMenu(new QMenu(this)), StatusBar(new TvexStatusBar(this))
{
    setStatusBar(StatusBar);
}

QAction* TvexSDIMainForm::AddAction(const QString& name, const QString& caption, const QKeySequence& shortcut,
                                    const QString& hint, int imageIndex)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setStatusTip(hint);
    action->setToolTip(hint);
    if (imageIndex >= 0) action->setIcon(MainImage.Icon(imageIndex));
    // Shortcuts work without the action being in a visible menu.
    addAction(action);
    MainAction.push_back(action);
    return action;
}

QAction* TvexSDIMainForm::FindAction(const QString& name) const
{
    for (QAction* action : MainAction)
        if (action->objectName() == name) return action;
    return nullptr;
}

void TvexSDIMainForm::ShowHint(const QString&) {}

bool TvexSDIMainForm::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

}  // namespace vex
