#pragma once

// The main window's client area: the template's controls sit on one content widget, which a
// viewport clips and two scroll bars move, kScrollUnitPx pixels per unit of a bar's position.
// At position 0 of both bars every control is exactly where the template puts it. The mouse
// wheel over the content moves the bars by line steps (the lists keep the wheel for their own
// rows), and a control that takes the keyboard focus is brought into view.

#include <QScrollBar>
#include <QWidget>

#include "window/window_sizing.h"

namespace tarnwick {

class ClientArea {
public:
    // window: the owner of every widget made here.
    explicit ClientArea(QWidget& window);

    // Where the template's controls go.
    [[nodiscard]] QWidget& Content() const { return *m_content; }
    [[nodiscard]] QScrollBar& Horizontal() const { return *m_horizontal; }
    [[nodiscard]] QScrollBar& Vertical() const { return *m_vertical; }

    // Sizes the viewport and shows the bars that fit asks for, with their ranges.
    void Fit(const WindowFit& fit);

    // A wheel turn over the content.
    void Wheel(QPoint angleDelta);
    // Moves the bars as little as brings control (a widget on the content) into view.
    void Show(const QWidget& control);

private:
    void Follow();

    QWidget* m_viewport;
    QWidget* m_content;
    QScrollBar* m_horizontal;
    QScrollBar* m_vertical;
    QPoint m_pendingWheel;  // turned, short of a notch
};

// Moves bar as action asks, in the window's own scroll steps rather than the bar's; called
// while the bar announces the action, before it takes its new value.
void StepScrollBar(QScrollBar& bar, int action);

}  // namespace tarnwick
