#include "window/window_sizing.h"

namespace tarnwick {
namespace {

int Thickness(bool shown, int barExtent) {
    return shown ? barExtent : 0;
}

// The fewest scroll units that bring an overflow of this many pixels into view.
int UnitsToCover(int overflowPx) {
    return overflowPx > 0 ? (overflowPx + kScrollUnitPx - 1) / kScrollUnitPx : 0;
}

}  // namespace

WindowFit FitWindow(QSize available, QSize content, int barExtent) {
    bool horizontal = content.width() > available.width();
    bool vertical = content.height() > available.height();
    // A bar takes room from the other direction, which may overflow only because of it.
    vertical = vertical || (horizontal && content.height() + barExtent > available.height());
    horizontal = horizontal || (vertical && content.width() + barExtent > available.width());

    const QSize window(
        horizontal ? available.width() : content.width() + Thickness(vertical, barExtent),
        vertical ? available.height() : content.height() + Thickness(horizontal, barExtent));
    const QSize viewport(window.width() - Thickness(vertical, barExtent),
                         window.height() - Thickness(horizontal, barExtent));
    return {window, viewport, UnitsToCover(content.width() - viewport.width()),
            UnitsToCover(content.height() - viewport.height())};
}

}  // namespace tarnwick
