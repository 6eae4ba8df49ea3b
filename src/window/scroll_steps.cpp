#include "window/scroll_steps.h"

#include <algorithm>

#include "window/window_sizing.h"

namespace tarnwick {
namespace {

int Step(ScrollRange range, int position, int step) {
    const int next = position + step;
    return next < range.minimum || next > range.maximum ? position : next;
}

}  // namespace

int ScrollPosition(ScrollRange range, int position, ScrollAction action, int thumb) {
    switch (action) {
        case ScrollAction::LineBack:
            return Step(range, position, -kLineStep);
        case ScrollAction::LineForward:
            return Step(range, position, kLineStep);
        case ScrollAction::PageBack:
            return Step(range, position, -kPageStep);
        case ScrollAction::PageForward:
            return Step(range, position, kPageStep);
        case ScrollAction::Track:
            return thumb;
        case ScrollAction::ToMinimum:
            return range.minimum;
        case ScrollAction::ToMaximum:
            return range.maximum;
        case ScrollAction::None:
            break;
    }
    return position;
}

ScrollAction ScrollActionOf(QAbstractSlider::SliderAction action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return ScrollAction::LineBack;
        case QAbstractSlider::SliderSingleStepAdd:
            return ScrollAction::LineForward;
        case QAbstractSlider::SliderPageStepSub:
            return ScrollAction::PageBack;
        case QAbstractSlider::SliderPageStepAdd:
            return ScrollAction::PageForward;
        case QAbstractSlider::SliderMove:
            return ScrollAction::Track;
        case QAbstractSlider::SliderToMinimum:
            return ScrollAction::ToMinimum;
        case QAbstractSlider::SliderToMaximum:
            return ScrollAction::ToMaximum;
        case QAbstractSlider::SliderNoAction:
            break;
    }
    return ScrollAction::None;
}

WheelLines WheelTurn(int pending, int angleDelta) {
    constexpr int kNotch = 120;
    const int total = pending + angleDelta;
    return {-(total / kNotch) * kLineStep, total % kNotch};
}

int PositionShowing(ScrollRange range, int position, int viewPx, int begin, int end) {
    const int top = position * kScrollUnitPx;
    if (begin <= top && end >= top + viewPx) {
        return position;  // it fills the view already: a click into a tall list moves nothing
    }
    int wanted = position;
    if (end > wanted * kScrollUnitPx + viewPx) {
        wanted = (end - viewPx + kScrollUnitPx - 1) / kScrollUnitPx;
    }
    if (begin < wanted * kScrollUnitPx) {
        wanted = begin / kScrollUnitPx;
    }
    return std::clamp(wanted, range.minimum, range.maximum);
}

}  // namespace tarnwick
