#pragma once

// How large the main window opens on a screen: just large enough for its whole content where
// the screen has room, otherwise as large as the screen allows, with a scroll bar for each
// direction that overflows.

#include <QSize>

namespace tarnwick {

// The content moves by this many pixels for each unit of a scroll bar's position.
inline constexpr int kScrollUnitPx = 10;

struct WindowFit {
    QSize window;             // the client area, scroll bars included
    QSize viewport;           // the part of it that shows the content
    int horizontalRange = 0;  // the horizontal bar's maximum in scroll units; 0: no bar
    int verticalRange = 0;
    bool operator==(const WindowFit&) const = default;
};

// available: the room the screen leaves for the client area; barExtent: a scroll bar's
// thickness. At its maximum a bar shows the content's far edge.
[[nodiscard]] WindowFit FitWindow(QSize available, QSize content, int barExtent);

}  // namespace tarnwick
