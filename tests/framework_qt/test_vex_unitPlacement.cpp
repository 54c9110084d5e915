// Window placement: the first placement and fitting a placement, frame included, into the
// screen's available area.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "framework/qt/vex_unitPlacement.h"

namespace {

std::string Text(const QRect& r)
{
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

TEST(Placement, FirstPlacementIsTwoThirdsOfTheAreaCentred)
{
    EXPECT_EQ(Text(vex::FirstPlacement(QRect(0, 0, 1200, 900))), "200,150 800x600");
    EXPECT_EQ(Text(vex::FirstPlacement(QRect(1920, 30, 1920, 1050))), "2240,205 1280x700")
        << "a second screen beside the first, below a panel";
}

TEST(Placement, FitKeepsTheWholeFrameInTheArea)
{
    const QRect area(0, 24, 1280, 776);  // a top panel of 24 pixels
    const QMargins frame(4, 30, 4, 4);
    struct Case {
        const char* name;
        QRect place;
        const char* expected;
    };
    const Case cases[] = {
        {"fits already", QRect(100, 100, 800, 500), "100,100 800x500"},
        {"inner area as large as the screen", QRect(0, 0, 1280, 800), "0,24 1272x742"},
        {"off the right and bottom", QRect(1000, 700, 600, 400), "672,366 600x400"},
        {"left of the screen", QRect(-300, 50, 600, 400), "0,50 600x400"},
        {"on a screen that is gone", QRect(3000, 2000, 640, 480), "632,286 640x480"},
        {"above the panel", QRect(10, 0, 640, 480), "10,24 640x480"},
    };
    for (const Case& c : cases) {
        const QRect fitted = vex::FitPlacement(c.place, area, frame);
        EXPECT_EQ(Text(fitted), c.expected) << c.name;
        const QRect whole = fitted.marginsAdded(frame).translated(frame.left(), frame.top());
        EXPECT_TRUE(area.contains(whole)) << c.name << ": frame " << Text(whole);
    }
}

TEST(Placement, PlaceOnScreenBringsAWindowInsideTheAvailableArea)
{
    QWidget window;
    vex::PlaceOnScreen(&window, QRect(-5000, -5000, 100000, 100000));
    const QRect area = vex::AvailableArea(&window);
    const QMargins frame = vex::EstimatedFrame(&window);
    EXPECT_LE(window.width() + frame.left() + frame.right(), area.width());
    EXPECT_LE(window.height() + frame.top() + frame.bottom(), area.height());
    EXPECT_GE(window.x(), area.left());
    EXPECT_GE(window.y(), area.top());
}

}  // namespace
