#include "app/window/client_area.h"

#include "app/window/scroll_steps.h"

namespace tarnwick {
namespace {

QScrollBar* MakeBar(QWidget& window, Qt::Orientation orientation, const char* name) {
    auto* bar = new QScrollBar(orientation, &window);
    bar->setObjectName(QString::fromLatin1(name));
    // A window's own scroll bars take no keyboard focus: the tab order is the template's.
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setSingleStep(kLineStep);
    bar->setPageStep(kPageStep);
    bar->hide();
    return bar;
}

void PlaceBar(QScrollBar& bar, int range, const QRect& place) {
    bar.setRange(0, range);
    bar.setGeometry(place);
    bar.setVisible(range > 0);
}

}  // namespace

ClientArea::ClientArea(QWidget& window)
    : m_viewport(new QWidget(&window)),
      m_content(new QWidget(m_viewport)),
      m_horizontal(MakeBar(window, Qt::Horizontal, "horizontal_scroll_bar")),
      m_vertical(MakeBar(window, Qt::Vertical, "vertical_scroll_bar")) {
    m_viewport->setObjectName(QStringLiteral("client_viewport"));
    m_content->setObjectName(QStringLiteral("client_area"));
    for (QScrollBar* bar : {m_horizontal, m_vertical}) {
        QObject::connect(bar, &QScrollBar::valueChanged, m_content, [this] { Follow(); });
    }
}

void ClientArea::Fit(const WindowFit& fit) {
    const QSize view = fit.viewport;
    m_viewport->setGeometry(QRect(QPoint(0, 0), view));
    PlaceBar(*m_horizontal, fit.horizontalRange,
             QRect(0, view.height(), view.width(), fit.window.height() - view.height()));
    PlaceBar(*m_vertical, fit.verticalRange,
             QRect(view.width(), 0, fit.window.width() - view.width(), view.height()));
}

void ClientArea::Follow() {
    m_content->move(-m_horizontal->value() * kScrollUnitPx, -m_vertical->value() * kScrollUnitPx);
}

void StepScrollBar(QScrollBar& bar, int action) {
    const int position = ScrollPosition(
        {bar.minimum(), bar.maximum()}, bar.value(),
        ScrollActionOf(static_cast<QAbstractSlider::SliderAction>(action)), bar.sliderPosition());
    bar.setSliderPosition(position);
}

}  // namespace tarnwick
