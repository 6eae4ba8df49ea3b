#pragma once

// Records and drops a second over the last ten minutes, as a small chart beside the counters
// strip: the latest second at the right, no text of its own; its tooltip gives the figures.

#include <QChartView>
#include <vector>

#include "session/rate_history.h"

class QLineSeries;
class QValueAxis;

namespace tarnwick {

class RateChart : public QChartView {
public:
    // Named "rate_chart".
    explicit RateChart(QWidget* parent);

    // The history as the centre has it now; nothing is redrawn when it has not changed.
    void Show(const std::vector<RatePoint>& points);

    // Its width beside a strip of this height.
    [[nodiscard]] static int WidthFor(int height);

private:
    QLineSeries* m_records = nullptr;
    QLineSeries* m_dropped = nullptr;
    QValueAxis* m_seconds = nullptr;
    QValueAxis* m_perSecond = nullptr;
    std::vector<RatePoint> m_shown;
};

// "records a second over the last 10 minutes: latest 12, peak 40; drops: latest 0, peak 3"
[[nodiscard]] std::string RateChartTip(const std::vector<RatePoint>& points);

}  // namespace tarnwick
