#include "app/window/scroll_steps.h"

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

}  // namespace tarnwick
