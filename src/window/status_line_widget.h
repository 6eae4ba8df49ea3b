#pragma once

// The counters' place: a strip below the window's scrolled content, outside the template, so
// the designed controls keep their places, with the records-a-second chart at its right. It
// holds three lines, enough for every counter at thirteen digits on the narrowest window
// beside the chart, and wraps at spaces.

#include <QLabel>

namespace tarnwick {

// A label named "status_line", owned by window.
[[nodiscard]] QLabel* MakeStatusLine(QWidget& window);

// The strip's height: three lines of its font and its margin.
[[nodiscard]] int StatusLineHeight(const QLabel& statusLine);

}  // namespace tarnwick
