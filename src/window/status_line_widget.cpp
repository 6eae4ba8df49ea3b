#include "window/status_line_widget.h"

namespace tarnwick {
namespace {

constexpr int kLines = 3;
constexpr int kMarginPx = 1;
constexpr int kIndentPx = 6;

}  // namespace

QLabel* MakeStatusLine(QWidget& window) {
    auto* label = new QLabel(&window);
    label->setObjectName(QStringLiteral("status_line"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMargin(kMarginPx);
    label->setIndent(kIndentPx);
    // A point smaller than the controls': the strip takes as little of a small screen as it can.
    QFont small = window.font();
    small.setPointSize(small.pointSize() - 1);
    label->setFont(small);
    return label;
}

int StatusLineHeight(const QLabel& statusLine) {
    return kLines * statusLine.fontMetrics().lineSpacing() + 2 * kMarginPx;
}

}  // namespace tarnwick
