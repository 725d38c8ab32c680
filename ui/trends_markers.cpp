#include "ui/trends_markers.h"

#include <QChart>
#include <QPainter>
#include <cmath>

ChartMarkerLayer::ChartMarkerLayer(QChart* chart) : QGraphicsObject(chart), chart_(chart) {
    // Over the series, whose items Qt Charts stacks below this.
    setZValue(100);
    setAcceptedMouseButtons(Qt::NoButton);
    connect(chart, &QChart::plotAreaChanged, this, [this] { lay_out(); });
}

void ChartMarkerLayer::set_markers(const std::vector<charts::ChartMarker>& markers, double from,
                                   double to) {
    std::vector<double> times;
    times.reserve(markers.size());
    for (const charts::ChartMarker& m : markers) {
        times.push_back(m.seconds);
    }
    if (times == times_ && from == from_ && to == to_) {
        return;
    }
    times_ = std::move(times);
    from_ = from;
    to_ = to;
    lay_out();
}

void ChartMarkerLayer::lay_out() {
    prepareGeometryChange();
    columns_.clear();
    const QRectF area = chart_->plotArea();
    const double length = to_ - from_;
    if (length > 0) {
        for (double t : times_) {
            const int x = static_cast<int>(std::lround((t - from_) / length * area.width()));
            // Markers closer than a pixel share a line.
            if (x >= 0 && x <= area.width() && (columns_.empty() || columns_.back() != x)) {
                columns_.push_back(x);
            }
        }
    }
    update();
}

QRectF ChartMarkerLayer::boundingRect() const {
    return chart_->plotArea();
}

void ChartMarkerLayer::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const QRectF area = chart_->plotArea();
    painter->setPen(QPen(QColor(static_cast<QRgb>(charts::kMarkerColor)), 1));
    for (int x : columns_) {
        const double at = area.left() + x + 0.5;
        painter->drawLine(QPointF(at, area.top()), QPointF(at, area.bottom()));
    }
}
