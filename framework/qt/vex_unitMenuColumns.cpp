#include "framework/qt/vex_unitMenuColumns.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QMenu>
#include <QPushButton>
#include <QWidgetAction>

namespace vex {

namespace {

// Closes the menu and every menu it was opened from, as choosing a menu item does.
void CloseMenus()
{
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

QWidget* MakeItem(QAction* action, QWidget* parent)
{
    if (action->isSeparator()) {
        auto* line = new QFrame(parent);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setVisible(action->isVisible());
        return line;
    }
    // A flat button drawn like a menu item: left-aligned, highlighted under the mouse.
    auto* button = new QPushButton(action->icon(), action->text(), parent);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(action->isEnabled());
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setStyleSheet(
        QStringLiteral("QPushButton { text-align: left; padding: 4px 18px 4px 8px; border: none; }"
                       "QPushButton:hover { background: palette(highlight); color: palette(highlighted-text); }"
                       "QPushButton:disabled { color: palette(mid); }"));
    QObject::connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
    QObject::connect(button, &QPushButton::clicked, action, [action] {
        CloseMenus();
        action->trigger();
    });
    return button;
}

}  // namespace

TvexMenuColumns::TvexMenuColumns(const QList<QAction*>& actions, int columnLength, QWidget* parent) : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setSpacing(0);
    for (qsizetype i = 0; i < actions.size(); ++i) {
        int column = static_cast<int>(i / columnLength);
        if (column >= columns_.size()) columns_.append(QList<QAction*>());
        QWidget* item = MakeItem(actions[i], this);
        columns_[column].append(actions[i]);
        grid->addWidget(item, static_cast<int>(i % columnLength), column, Qt::AlignTop);
    }
    grid->setRowStretch(columnLength, 1);
    columnCount_ = static_cast<int>(columns_.size());
}

QStringList TvexMenuColumns::ColumnCaptions(int column) const
{
    QStringList captions;
    if (column < 0 || column >= columns_.size()) return captions;
    for (QAction* action : columns_[column]) captions << (action->isSeparator() ? QString() : action->text());
    return captions;
}

void ArrangeMenuColumns(QMenu* menu, int columnLength)
{
    const QList<QAction*> actions = menu->actions();
    if (columnLength <= 0 || actions.size() <= columnLength) return;
    auto* columns = new TvexMenuColumns(actions, columnLength);
    for (QAction* action : actions) menu->removeAction(action);
    auto* holder = new QWidgetAction(menu);
    holder->setDefaultWidget(columns);
    menu->addAction(holder);
}

}  // namespace vex
