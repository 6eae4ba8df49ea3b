#pragma once

// What one action on a scroll bar of the main window does to the bar's position, counted in
// units of kScrollUnitPx pixels.

#include <QAbstractSlider>

namespace tarnwick {

enum class ScrollAction {
    LineBack,
    LineForward,
    PageBack,
    PageForward,
    Track,  // the thumb dragged to a position
    ToMinimum,
    ToMaximum,
    None,  // the thumb released, the end of scrolling, and the like
};

inline constexpr int kLineStep = 1;
inline constexpr int kPageStep = 5;

struct ScrollRange {
    int minimum = 0;
    int maximum = 0;
};

// The position after action; thumb is where a Track action put the thumb. A line or page step
// that would leave the range is dropped whole: there is no partial step up to the end.
[[nodiscard]] int ScrollPosition(ScrollRange range, int position, ScrollAction action, int thumb);

[[nodiscard]] ScrollAction ScrollActionOf(QAbstractSlider::SliderAction action);

// A wheel turn as line steps: one notch (120 eighths of a degree) is one line step, back for
// a turn away from the operator. What falls short of a notch waits for the next turn.
struct WheelLines {
    int lines = 0;  // negative: back
    int pending = 0;
    bool operator==(const WheelLines&) const = default;
};
[[nodiscard]] WheelLines WheelTurn(int pending, int angleDelta);

// The position nearest to position at which the pixels from begin to end of the content are
// in a view viewPx long, within range. When they cannot all be: no move while they fill the
// view, else their beginning.
[[nodiscard]] int PositionShowing(ScrollRange range, int position, int viewPx, int begin, int end);

}  // namespace tarnwick
