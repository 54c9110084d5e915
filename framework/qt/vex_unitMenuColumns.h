// Menus whose items run in columns: every item at a position that is a positive multiple of
// the column length (counted from 0, fixed items included) starts a new column. Qt menus
// break into columns only where the screen ends, so a long menu is shown as one grid of
// menu-like buttons instead; a menu that fits one column stays a plain menu.
#pragma once

#include <QList>
#include <QWidget>

class QAction;
class QMenu;

namespace vex {

// Lays out the menu's current actions in columns of `columnLength` when they need more than
// one column. The actions stay owned where they were; a separator becomes a line.
void ArrangeMenuColumns(QMenu* menu, int columnLength);

// The grid a long menu shows: one column per `columnLength` items.
class TvexMenuColumns : public QWidget {
    Q_OBJECT
public:
    TvexMenuColumns(const QList<QAction*>& actions, int columnLength, QWidget* parent = nullptr);

    int ColumnCount() const { return columnCount_; }
    // The captions of one column, top to bottom (separators as empty texts).
    QStringList ColumnCaptions(int column) const;

private:
    int columnCount_ = 0;
    QList<QList<QAction*>> columns_;
};

}  // namespace vex
