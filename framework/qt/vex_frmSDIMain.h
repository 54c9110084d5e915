// The base of a single-document main window: a menu bar, an image list of 16x16 images shared
// by menus and buttons, the list of the window's actions, a pop-up menu and a panelled status
// bar. Hints of actions and widgets are routed to ShowHint instead of a temporary message.
#pragma once

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <vector>

#include "framework/qt/vex_unitImageList.h"
#include "framework/qt/vex_unitStatusBar.h"

namespace vex {

class TvexSDIMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TvexSDIMainForm(QWidget* parent = nullptr);

    QAction* FindAction(const QString& name) const;
    const std::vector<QAction*>& Actions() const { return MainAction; }

protected:
    // Creates an action owned by the window, named `name` (QObject name), listed in MainAction
    // and active wherever the window has focus.
    QAction* AddAction(const QString& name, const QString& caption, const QKeySequence& shortcut, const QString& hint,
                       int imageIndex);
    // Called with every hint text (an empty text when the mouse leaves a hinted item).
    virtual void ShowHint(const QString& hint);
    bool event(QEvent* event) override;

    QMenuBar* MainMenu;
    TvexImageList MainImage;
    std::vector<QAction*> MainAction;
    QMenu* MainPopupMenu;
    TvexStatusBar* StatusBar;
};

}  // namespace vex
