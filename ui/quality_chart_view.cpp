#include "ui/quality_chart_view.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr int kTitleHeight = 22;
constexpr int kTimeLabels = 20;
constexpr int kLeftRoom = 70;
constexpr int kLegendRoom = 110;
constexpr int kLegendRow = 16;
constexpr int kMinHeight = 220;

QColor segment_color(charts::QualitySegment segment) {
    return QColor(static_cast<QRgb>(0xFF000000u | charts::quality_segment_color(segment)));
}

}  // namespace

QualityChartView::QualityChartView(QWidget* parent)
    : QWidget(parent), subject_(tr("15-minute bins")) {
    setMinimumHeight(kMinHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void QualityChartView::set_subject(const QString& subject) {
    subject_ = subject;
    update();
}

void QualityChartView::show_bins(const std::vector<charts::QualityBar>& bins, double from,
                                 double to) {
    std::vector<charts::QualityBar> shown;
    for (const charts::QualityBar& bar : bins) {
        if (from >= to || (bar.start < to && bar.start + bar.seconds > from)) {
            shown.push_back(bar);
        }
    }
    const bool same = shown.size() == shown_.size() &&
                      std::equal(shown.begin(), shown.end(), shown_.begin(),
                                 [](const charts::QualityBar& a, const charts::QualityBar& b) {
                                     return a.start == b.start && a.errored == b.errored &&
                                            a.severe == b.severe &&
                                            a.unavailable == b.unavailable &&
                                            a.unknown == b.unknown;
                                 });
    if (same) {
        return;
    }
    shown_ = std::move(shown);
    replan();
    update();
}

charts::PlotBox QualityChartView::plot_box() const {
    return {static_cast<double>(kLeftRoom), static_cast<double>(kTitleHeight),
            static_cast<double>(std::max(width() - kLeftRoom - kLegendRoom, 10)),
            static_cast<double>(std::max(height() - kTitleHeight - kTimeLabels, 10))};
}

void QualityChartView::replan() {
    plan_ = charts::plan_quality_chart(shown_, static_cast<int>(plot_box().width));
}

void QualityChartView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    replan();
}

void QualityChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const charts::PlotBox box = plot_box();
    const QRectF plot(box.left, box.top, box.width, box.height);
    QFont title_font = font();
    title_font.setBold(true);
    painter.setFont(title_font);
    painter.drawText(QRectF(0, 0, width(), kTitleHeight), Qt::AlignCenter,
                     tr("Error performance (%1)").arg(subject_));
    painter.setFont(font());
    if (plan_.bars.empty()) {
        painter.setPen(Qt::gray);
        painter.drawRect(plot);
        painter.drawText(plot, Qt::AlignCenter, tr("No second counted yet"));
        return;
    }
    for (int k = 0; k < plan_.scale.ticks; ++k) {
        const double v = charts::TrendPlan::tick_value(plan_.scale, k);
        const double y = charts::y_at(plan_.scale, box, v);
        painter.setPen(QColor(0xE0, 0xE0, 0xE0));
        painter.drawLine(QPointF(box.left, y), QPointF(box.left + box.width, y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, y - 8, box.left - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(static_cast<long long>(v)));
    }
    painter.save();
    painter.translate(14, box.top + box.height / 2);
    painter.rotate(-90);
    painter.drawText(QRectF(-50, -8, 100, 16), Qt::AlignCenter, tr("seconds"));
    painter.restore();
    const double length = std::max(plan_.view.to - plan_.view.from, 1.0);
    for (const charts::TimeTick& tick : plan_.ticks) {
        const double x = box.left + (tick.seconds - plan_.view.from) / length * box.width;
        painter.drawText(QRectF(x - 50, box.top + box.height + 2, 100, kTimeLabels - 2),
                         Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(tick.label));
    }
    for (std::size_t b = 0; b < plan_.bars.size(); ++b) {
        for (int s = 0; s < charts::kQualitySegmentCount; ++s) {
            const auto segment = static_cast<charts::QualitySegment>(s);
            const charts::BarRect r = charts::quality_bar_rect(plan_, box, b, segment);
            if (r.bottom - r.top > 0) {
                painter.fillRect(QRectF(r.left, r.top, r.right - r.left, r.bottom - r.top),
                                 segment_color(segment));
            }
        }
    }
    painter.setPen(Qt::gray);
    painter.drawRect(plot);
    painter.setPen(Qt::black);
    for (int s = 0; s < charts::kQualitySegmentCount; ++s) {
        const auto segment = static_cast<charts::QualitySegment>(s);
        const double y = box.top + 6 + s * kLegendRow;
        painter.fillRect(QRectF(box.left + box.width + 16, y, 12, 10), segment_color(segment));
        painter.drawText(QRectF(box.left + box.width + 34, y - 3, kLegendRoom - 34, kLegendRow),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(charts::quality_segment_name(segment)));
    }
}
