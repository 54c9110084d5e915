// Helpers for driving a TCodeEdit offscreen: filling it, sending keys and mouse events, and
// checking the line objects against the text.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <memory>
#include <string>
#include <vector>

#include "ui/kn_unitCodeEditor.h"

namespace codeedit {

using Lines = std::vector<std::string>;

// A shown, sized view holding `lines`; the caret at (0, 0).
inline std::unique_ptr<kn::TCodeEdit> MakeView(const Lines& lines = {}, QSize size = QSize(400, 300))
{
    auto view = std::make_unique<kn::TCodeEdit>();
    view->resize(size);
    view->show();
    view->Lines().Assign(lines);
    return view;
}

inline Lines TextOf(const kn::TCodeEdit& view)
{
    Lines lines;
    for (int i = 0; i < view.Lines().Count(); ++i) lines.push_back(view.Lines().Get(i));
    return lines;
}

// The line objects must agree with a fresh computation from the text.
inline void ExpectOffsetsMatchText(const kn::TCodeEdit& view)
{
    int64_t offset = 0;
    for (int i = 0; i < view.Lines().Count(); ++i) {
        const kn::TLineObj& obj = view.Lines().GetLineObj(i);
        const int32_t chars = kn::Utf8CharCount(view.Lines().Get(i));
        EXPECT_EQ(obj.CharCount, chars) << "line " << i;
        EXPECT_EQ(obj.StartOffset, offset) << "line " << i;
        EXPECT_GE(view.MaxLineLen(), chars) << "line " << i;
        offset += chars + 2;
    }
}

inline void Key(kn::TCodeEdit& view, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {})
{
    QKeyEvent event(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(&view, &event);
}

inline void Type(kn::TCodeEdit& view, const QString& text)
{
    for (QChar c : text) Key(view, 0, Qt::NoModifier, QString(c));
}

inline void Mouse(kn::TCodeEdit& view, QEvent::Type type, QPoint at, Qt::MouseButtons held = Qt::LeftButton)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), view.viewport()->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &event);
}

// Viewport point in the middle of character cell (column, line) of an unscrolled view without tabs.
inline QPoint CellPoint(const kn::TCodeEdit& view, int column, int line)
{
    return {view.GutterWidth() + kn::TCodeEdit::LeftMargin + column * view.CharWidth() + view.CharWidth() / 2,
            kn::TCodeEdit::TopMargin + line * view.LineHeight() + view.LineHeight() / 2};
}

inline void Select(kn::TCodeEdit& view, int x1, int y1, int x2, int y2)
{
    view.MoveCaretTo(x1, y1);
    for (int y = y1; y < y2; ++y) Key(view, Qt::Key_Down, Qt::ShiftModifier);
    Key(view, Qt::Key_Home, Qt::ShiftModifier);
    for (int x = 0; x < x2; ++x) Key(view, Qt::Key_Right, Qt::ShiftModifier);
}

}  // namespace codeedit
