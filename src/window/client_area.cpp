#include "window/client_area.h"

#include <QApplication>
#include <QWheelEvent>
#include <cstdlib>

#include "window/scroll_steps.h"

namespace tarnwick {
namespace {

// Wheel turns that reach the content: over a control that has no use for them, or over the
// content itself.
class WheelFilter final : public QObject {
public:
    WheelFilter(QObject& content, ClientArea& area) : QObject(&content), m_area(area) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel) {
            return QObject::eventFilter(watched, event);
        }
        m_area.Wheel(static_cast<QWheelEvent*>(event)->angleDelta());
        return true;
    }

private:
    ClientArea& m_area;
};

// Steps bar one line at a time, each dropped whole at the end of the range.
void StepLines(QScrollBar& bar, int lines) {
    for (int step = 0; step < std::abs(lines); ++step) {
        StepScrollBar(bar, lines < 0 ? QAbstractSlider::SliderSingleStepSub
                                     : QAbstractSlider::SliderSingleStepAdd);
    }
}

void ShowSpan(QScrollBar& bar, int viewPx, int begin, int length) {
    bar.setSliderPosition(PositionShowing({bar.minimum(), bar.maximum()}, bar.value(), viewPx,
                                          begin, begin + length));
}

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
    m_content->installEventFilter(new WheelFilter(*m_content, *this));
    QObject::connect(qApp, &QApplication::focusChanged, m_content,
                     [this](QWidget* /*old*/, QWidget* now) {
                         if (now != nullptr && m_content->isAncestorOf(now)) {
                             Show(*now);
                         }
                     });
}

void ClientArea::Wheel(QPoint angleDelta) {
    const WheelLines across = WheelTurn(m_pendingWheel.x(), angleDelta.x());
    const WheelLines down = WheelTurn(m_pendingWheel.y(), angleDelta.y());
    m_pendingWheel = QPoint(across.pending, down.pending);
    StepLines(*m_horizontal, across.lines);
    StepLines(*m_vertical, down.lines);
}

void ClientArea::Show(const QWidget& control) {
    const QRect place(control.mapTo(m_content, QPoint(0, 0)), control.size());
    ShowSpan(*m_horizontal, m_viewport->width(), place.left(), place.width());
    ShowSpan(*m_vertical, m_viewport->height(), place.top(), place.height());
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
