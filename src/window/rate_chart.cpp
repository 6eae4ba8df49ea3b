#include "window/rate_chart.h"

#include <QChart>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>

namespace tarnwick {
namespace {

constexpr int kWidthPerHeight = 6;
const QColor kRecordsColour(40, 120, 200);
const QColor kDroppedColour(210, 50, 40);
const QColor kPlotColour(246, 246, 246);

QValueAxis* BareAxis(QChart& chart, Qt::Alignment side, QAbstractSeries& first,
                     QAbstractSeries& second) {
    auto* axis = new QValueAxis(&chart);
    axis->setLabelsVisible(false);
    axis->setGridLineVisible(false);
    axis->setLineVisible(false);
    axis->setTickCount(2);
    chart.addAxis(axis, side);
    first.attachAxis(axis);
    second.attachAxis(axis);
    return axis;
}

QLineSeries* Series(QChart& chart, const QString& name, const QColor& colour) {
    auto* series = new QLineSeries(&chart);
    series->setName(name);
    QPen pen(colour);
    pen.setWidthF(1.5);
    series->setPen(pen);
    chart.addSeries(series);
    return series;
}

// The latest second at x 0, the oldest at -(n - 1).
QList<QPointF> Line(const std::vector<RatePoint>& points, std::uint64_t RatePoint::*member) {
    QList<QPointF> line;
    line.reserve(static_cast<qsizetype>(points.size()));
    const auto last = static_cast<double>(points.size()) - 1;
    for (std::size_t i = 0; i < points.size(); ++i) {
        line.append({static_cast<double>(i) - last, static_cast<double>(points[i].*member)});
    }
    return line;
}

std::uint64_t Peak(const std::vector<RatePoint>& points, std::uint64_t RatePoint::*member) {
    std::uint64_t peak = 0;
    for (const RatePoint& point : points) {
        peak = std::max(peak, point.*member);
    }
    return peak;
}

}  // namespace

RateChart::RateChart(QWidget* parent) : QChartView(new QChart, parent) {
    setObjectName(QStringLiteral("rate_chart"));
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    QChart& plot = *chart();
    plot.legend()->hide();
    plot.setBackgroundVisible(false);
    // Room for the pen at the edges, so the latest second is not cut by the right one.
    plot.setMargins({2, 2, 3, 1});
    plot.layout()->setContentsMargins(0, 0, 0, 0);
    plot.setPlotAreaBackgroundBrush(kPlotColour);
    plot.setPlotAreaBackgroundVisible(true);
    m_records = Series(plot, QStringLiteral("records a second"), kRecordsColour);
    m_dropped = Series(plot, QStringLiteral("drops a second"), kDroppedColour);
    m_seconds = BareAxis(plot, Qt::AlignBottom, *m_records, *m_dropped);
    m_seconds->setRange(-static_cast<double>(RateHistory::kSeconds - 1), 0);
    m_perSecond = BareAxis(plot, Qt::AlignLeft, *m_records, *m_dropped);
    m_perSecond->setRange(0, 1);
    setToolTip(QString::fromStdString(RateChartTip({})));
}

int RateChart::WidthFor(int height) {
    return kWidthPerHeight * height;
}

void RateChart::Show(const std::vector<RatePoint>& points) {
    if (points == m_shown) {
        return;
    }
    m_shown = points;
    m_records->replace(Line(points, &RatePoint::records));
    m_dropped->replace(Line(points, &RatePoint::dropped));
    const std::uint64_t peak =
        std::max(Peak(points, &RatePoint::records), Peak(points, &RatePoint::dropped));
    // A little headroom over the peak, so that it does not run along the top edge.
    m_perSecond->setRange(0, std::max(1.0, static_cast<double>(peak) * 1.1));
    setToolTip(QString::fromStdString(RateChartTip(points)));
}

std::string RateChartTip(const std::vector<RatePoint>& points) {
    const RatePoint latest = points.empty() ? RatePoint{} : points.back();
    return "records a second over the last 10 minutes: latest " + std::to_string(latest.records) +
           ", peak " + std::to_string(Peak(points, &RatePoint::records)) + "; drops: latest " +
           std::to_string(latest.dropped) + ", peak " +
           std::to_string(Peak(points, &RatePoint::dropped));
}

}  // namespace tarnwick
