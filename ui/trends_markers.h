// The journal's events on a trends chart: a thin vertical line across the
// plot area at each marker's time, drawn over the series. One item draws
// every marker of its chart, so thousands of events (a flapping link over a
// day) cost one paint, a line a pixel column at most.
#pragma once

#include <QGraphicsObject>
#include <vector>

#include "charts/chart_plan.h"

class QChart;

class ChartMarkerLayer : public QGraphicsObject {
    Q_OBJECT

public:
    // Lies over `chart`'s plot area, following it as the chart is laid out.
    explicit ChartMarkerLayer(QChart* chart);

    // Draws `markers` on the time axis [from, to] (seconds since the epoch).
    void set_markers(const std::vector<charts::ChartMarker>& markers, double from, double to);
    // The pixel columns drawn, in plot area coordinates, left to right.
    const std::vector<int>& columns() const { return columns_; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    void lay_out();

    QChart* chart_;
    std::vector<double> times_;
    double from_ = 0;
    double to_ = 0;
    std::vector<int> columns_;
};
