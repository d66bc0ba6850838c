// A window that grows stays on its screen, moving no more than it must.
#include <gtest/gtest.h>

#include "ui/dialog_position.h"

namespace station::ui {
namespace {

struct PlacementCase {
    const char* name;
    QRect area;
    QPoint corner;
    QSize size;
    QPoint expected;
};

TEST(WindowPosition, KeptInsideMovesTheLeastThatBringsTheFrameBack) {
    const QRect screen(0, 0, 1280, 800);
    const QSize technical(1150, 410);
    const PlacementCase cases[] = {
        {"fits: the corner stays", screen, {100, 200}, technical, {100, 200}},
        {"past the right edge", screen, {190, 240}, technical, {130, 240}},
        {"past the bottom edge", screen, {0, 600}, technical, {0, 390}},
        {"left of the screen", screen, {-20, -5}, technical, {0, 0}},
        {"too large: top-left inside", QRect(0, 0, 1024, 300), {50, 50}, technical, {0, 0}},
        {"a second screen", QRect(1280, 0, 1920, 1080), {2900, 100}, technical, {2050, 100}},
    };
    for (const PlacementCase& c : cases) {
        EXPECT_EQ(KeptInside(c.area, c.corner, c.size), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace station::ui
