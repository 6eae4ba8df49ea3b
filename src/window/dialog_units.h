#pragma once

// The window templates are laid out in dialog units, which scale with the dialog font: a
// horizontal unit is a quarter of the font's average character width, a vertical unit an
// eighth of its height.

#include <QFont>
#include <QRect>

namespace tarnwick {

struct DialogBase {
    double averageCharWidth = 0;  // of "A".."Z" and "a".."z"
    int fontHeight = 0;
};

// x, y, width, height in dialog units.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

[[nodiscard]] DialogBase DialogBaseOf(const QFont& font);

// Each edge is placed by itself and rounded to the nearest pixel, so controls that touch in
// dialog units touch on screen.
[[nodiscard]] QRect ToPixels(const DialogRect& rect, const DialogBase& base);

}  // namespace tarnwick
