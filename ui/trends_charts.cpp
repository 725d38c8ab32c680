// The trends window's charts drawn from the plan: each trace's pieces
// between gaps, a rail's limits, the time axis and the value scales, for
// the charts in sight.
#include "ui/trends_charts.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScrollArea>
#include <QValueAxis>

#include "device/supply_rails.h"
#include "ui/quality_chart_view.h"
#include "ui/trends_markers.h"
#include "ui/trends_window.h"

namespace {

// The newest column's points (up to four) and the point before them, drawn
// as a piece of their own.
constexpr qsizetype kTailPoints = 5;

QString trace_text(const charts::TraceSpec& def) {
    return QString::fromStdString(charts::trace_name(def));
}

// Whether setting the axis to the scale moves it (which lays out every
// series on it again).
bool moves(const QValueAxis* axis, const charts::ValueScale& scale) {
    return axis->min() != scale.low || axis->max() != scale.high;
}

// Sets the axis to the plan's scale. The axis is touched only when it
// changes, since a new range lays out every series of its chart again.
void apply_scale(QValueAxis* axis, const charts::ValueScale& scale) {
    if (axis->tickCount() != scale.ticks) {
        axis->setTickCount(scale.ticks);
    }
    const QString format = QStringLiteral("%.%1f").arg(scale.decimals);
    if (axis->labelFormat() != format) {
        axis->setLabelFormat(format);
    }
    if (axis->min() != scale.low || axis->max() != scale.high) {
        axis->setRange(scale.low, scale.high);
    }
}

}  // namespace

QLineSeries* TrendsWindow::add_piece(Trace& trace) {
    Chart& c = charts_list_[static_cast<size_t>(trace.plan.chart)];
    auto* piece = new QLineSeries;
    piece->setName(trace_text(trace.plan));
    QPen pen(trace.color);
    pen.setWidthF(1.5);
    piece->setPen(pen);
    c.chart->addSeries(piece);
    piece->attachAxis(c.time_axis);
    piece->attachAxis(trace.plan.right_axis && c.right != nullptr ? c.right : c.left);
    piece->setVisible(trace.shown);
    const QList<QLegendMarker*> markers = c.chart->legend()->markers(piece);
    if (trace.pieces.empty()) {
        // The first piece's legend entry stands for the whole series: a
        // click hides or shows every piece.
        Trace* target = &trace;
        for (QLegendMarker* marker : markers) {
            connect(marker, &QLegendMarker::clicked, this, [this, target, marker] {
                target->shown = !target->shown;
                for (QLineSeries* p : target->pieces) {
                    p->setVisible(target->shown);
                    for (QLegendMarker* m : charts_list_[static_cast<size_t>(target->plan.chart)]
                                                .chart->legend()
                                                ->markers(p)) {
                        m->setVisible(p == target->pieces.front());
                    }
                }
                QColor label = marker->labelBrush().color();
                label.setAlphaF(target->shown ? 1.0 : 0.4);
                marker->setLabelBrush(label);
                refresh();
            });
        }
    } else {
        for (QLegendMarker* marker : markers) {
            marker->setVisible(false);
        }
    }
    trace.pieces.push_back(piece);
    return piece;
}

void TrendsWindow::add_limits(Trace& trace) {
    const SeriesInfo info = series_info(trace.plan.series);
    if (!info.has_limits) {
        return;
    }
    Chart& c = charts_list_[static_cast<size_t>(trace.plan.chart)];
    const struct {
        const char* name;
        double value;
    } lines[] = {{" low limit", info.low}, {" high limit", info.high}};
    for (const auto& l : lines) {
        auto* line = new QLineSeries;
        line->setName(trace_text(trace.plan) + QString::fromLatin1(l.name));
        QPen pen(trace.color);
        pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        line->setVisible(false);  // until the rail has values in view
        c.chart->addSeries(line);
        line->attachAxis(c.time_axis);
        line->attachAxis(c.left);
        for (QLegendMarker* marker : c.chart->legend()->markers(line)) {
            marker->setVisible(false);
        }
        trace.limits.emplace_back(line, l.value);
    }
}

void TrendsWindow::update_limits(Trace& trace) {
    const bool show = trace.shown && trace.has_points;
    for (const auto& limit : trace.limits) {
        QLineSeries* line = limit.first;
        // Limits that the rail crossed are drawn bold.
        const double width = trace.out_of_limits ? 2.5 : 1.0;
        if (line->pen().widthF() != width) {
            QPen pen = line->pen();
            pen.setWidthF(width);
            line->setPen(pen);
        }
        if (line->isVisible() != show) {
            line->setVisible(show);
            // Showing a series shows its legend entry too; the limits are
            // named in the hover text instead, and the legend keeps its room.
            for (QLegendMarker* marker :
                 charts_list_[static_cast<size_t>(trace.plan.chart)].chart->legend()->markers(
                     line)) {
                marker->setVisible(false);
            }
        }
    }
}

void TrendsWindow::set_time_ticks(Chart& c, const QStringList& labels, const QList<double>& at) {
    const double from = view_from_ * 1000;
    const double to = view_to_ * 1000;
    QCategoryAxis* axis = c.time_axis;
    // The categories' ends are the ticks; they are made again only when
    // the ticks change, since that lays the chart out again.
    if (axis->categoriesLabels() != labels || axis->startValue() > from) {
        for (const QString& label : axis->categoriesLabels()) {
            axis->remove(label);
        }
        axis->setStartValue(from);
        for (qsizetype i = 0; i < labels.size(); ++i) {
            axis->append(labels[i], at[i]);
        }
    }
    if (axis->min() != from || axis->max() != to) {
        axis->setRange(from, to);
    }
}

void TrendsWindow::draw_empty() {
    plan_ = charts::TrendPlan();
    for (Chart& c : charts_list_) {
        c.stale = false;
    }
    for (Trace& t : traces_) {
        t.has_points = false;
        t.out_of_limits = false;
        update_limits(t);
        for (QLineSeries* piece : t.pieces) {
            if (piece->count() > 0) {
                piece->clear();
            }
        }
    }
    const charts::ValueScale none = charts::value_scale(1, 0, charts::kValueTicks);
    for (Chart& c : charts_list_) {
        c.markers->set_markers({}, 0, 0);
        apply_scale(c.left, none);
        if (c.right != nullptr) {
            apply_scale(c.right, none);
        }
    }
    view_columns_ = 0;
}

void TrendsWindow::refresh() {
    draw(false);
}

bool TrendsWindow::in_sight(const Chart& c) const {
    // Out of the scroll area (an image being saved) every chart is in sight.
    if (!isVisible() || scroll_->widget() != charts_) {
        return true;
    }
    const QRect area(c.view->mapTo(scroll_->viewport(), QPoint(0, 0)), c.view->size());
    return scroll_->viewport()->rect().intersects(area);
}

void TrendsWindow::draw_quality() {
    if (history_ != nullptr && history_ == live_history_ && live_quality_ != nullptr) {
        // What is still pending shows as it stands now.
        ErrorPerformance now = *live_quality_;
        now.finish();
        quality_view_->show_bins(quality_bars(now), view_from_, view_to_);
    } else {
        quality_view_->show_bins(
            history_ != nullptr ? log_quality_ : std::vector<charts::QualityBar>(), view_from_,
            view_to_);
    }
}

void TrendsWindow::draw(bool everything) {
    const uint64_t polls = history_ != nullptr ? history_->held_polls() : 0;
    if (polls == 0) {
        draw_empty();
        draw_quality();
        return;
    }
    const charts::View before{view_from_, view_to_, view_columns_};
    charts::PlanRequest request;
    request.span = trends::kSpans[static_cast<int>(span_)].seconds;
    request.zoom = zoomed_ ? &before : nullptr;
    request.plot_pixels = static_cast<int>(charts_list_.front().chart->plotArea().width());
    request.pixels_per_column = trends::kPixelsPerColumn;
    request.resolution = resolution_;
    request.markers = own_history_ != nullptr ? &log_markers_ : &live_markers_;
    for (const Trace& t : traces_) {
        request.hidden[static_cast<std::size_t>(t.index)] = !t.shown;
    }
    // A chart scrolled out of sight is neither planned nor laid out; it is
    // drawn when it comes into sight.
    for (size_t i = 0; i < charts_list_.size(); ++i) {
        Chart& c = charts_list_[i];
        c.stale = !everything && !in_sight(c);
        request.charts[i] = !c.stale;
    }
    plan_ = charts::plan_trends(*history_, request);
    view_from_ = plan_.view.from;
    view_to_ = plan_.view.to;
    view_columns_ = plan_.view.columns;
    QStringList labels;
    QList<double> at;
    for (const charts::TimeTick& tick : plan_.ticks) {
        at.append(tick.seconds * 1000);
        labels.append(QString::fromStdString(tick.label));
    }
    for (size_t i = 0; i < charts_list_.size(); ++i) {
        if (!charts_list_[i].stale) {
            draw_chart(charts_list_[i], plan_.charts[i], labels, at);
        }
    }
    draw_quality();
}

void TrendsWindow::draw_chart(Chart& c, const charts::ChartPlan& plan, const QStringList& labels,
                              const QList<double>& at) {
    // When the axes move, every series on them is laid out again with the
    // points it holds; the lines are emptied first, so that each is laid
    // out once, with its new points.
    if (c.time_axis->min() != view_from_ * 1000 || c.time_axis->max() != view_to_ * 1000 ||
        moves(c.left, plan.left.scale) ||
        (c.right != nullptr && moves(c.right, plan.right.scale))) {
        for (int k : plan.traces) {
            for (QLineSeries* piece : traces_[static_cast<size_t>(k)].pieces) {
                if (piece->count() > 0) {
                    piece->clear();
                }
            }
        }
    }
    set_time_ticks(c, labels, at);
    c.markers->set_markers(plan_.markers, view_from_, view_to_);
    apply_scale(c.left, plan.left.scale);
    // An axis none of whose series has a value is hidden.
    if (c.right != nullptr) {
        apply_scale(c.right, plan.right.scale);
        if (c.right->isVisible() != plan.right.used) {
            c.right->setVisible(plan.right.used);
        }
    }
    for (int k : plan.traces) {
        Trace& t = traces_[static_cast<size_t>(k)];
        const charts::TracePlan& drawn = plan_.traces[static_cast<size_t>(k)];
        for (const auto& [line, value] : t.limits) {
            const QList<QPointF> ends{{view_from_ * 1000, value}, {view_to_ * 1000, value}};
            if (line->points() != ends) {
                line->replace(ends);
            }
        }
        draw_trace(t, drawn.runs);
        // A series with no value in view (such as another family's) leaves
        // the legend.
        t.has_points = drawn.has_points;
        for (QLegendMarker* marker : c.chart->legend()->markers(t.pieces.front())) {
            // Asked unconditionally: a legend not yet laid out reports its
            // entries hidden.
            marker->setVisible(t.has_points);
        }
        t.out_of_limits = drawn.out_of_limits;
        update_limits(t);
    }
}

void TrendsWindow::on_charts_scrolled() {
    for (const Chart& c : charts_list_) {
        if (c.stale && in_sight(c)) {
            refresh();
            return;
        }
    }
}

void TrendsWindow::draw_trace(Trace& trace, const std::vector<std::vector<ChartPoint>>& points) {
    std::vector<QList<QPointF>> runs(1);
    for (const std::vector<ChartPoint>& run : points) {
        if (!runs.back().isEmpty()) {
            runs.emplace_back();
        }
        for (const ChartPoint& p : run) {
            runs.back().append(QPointF(p.seconds * 1000, p.value));
        }
    }
    // The newest column changes with every poll; it is a piece of its own,
    // joined to the rest of the line at its first point, so that the rest,
    // unchanged, is not laid out again.
    if (runs.back().size() > kTailPoints) {
        QList<QPointF> tail = runs.back().mid(runs.back().size() - kTailPoints);
        runs.back().resize(runs.back().size() - kTailPoints + 1);
        runs.push_back(std::move(tail));
    }
    while (trace.pieces.size() < runs.size()) {
        add_piece(trace);
    }
    // Qt Charts lays out every point of a series it is handed again (its
    // hover shape is a stroke of the whole line), so a piece whose points
    // did not change is left alone.
    for (size_t i = 0; i < trace.pieces.size(); ++i) {
        const QList<QPointF> run = i < runs.size() ? runs[i] : QList<QPointF>();
        QLineSeries* piece = trace.pieces[i];
        if (piece->points() != run) {
            piece->replace(run);
        }
        // A lone point draws no line; it is shown as a dot.
        const bool dot = run.size() == 1;
        if (piece->pointsVisible() != dot) {
            piece->setPointsVisible(dot);
        }
    }
}

std::vector<QList<QPointF>> TrendsWindow::drawn(Series series) const {
    std::vector<QList<QPointF>> runs;
    for (const Trace& t : traces_) {
        if (t.plan.series != series) {
            continue;
        }
        for (const QLineSeries* p : t.pieces) {
            if (p->count() == 0) {
                continue;
            }
            const QList<QPointF> points = p->points();
            if (!runs.empty() && runs.back().back() == points.front()) {
                runs.back().append(points.mid(1));  // the newest column's piece
            } else {
                runs.push_back(points);
            }
        }
    }
    return runs;
}
