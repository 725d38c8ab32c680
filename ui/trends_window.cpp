#include "ui/trends_window.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "charts/chart_plan.h"
#include "device/panes.h"
#include "device/supply_rails.h"
#include "monitor/alarm_events.h"
#include "ui/quality_chart_view.h"
#include "ui/trends_markers.h"

namespace {

struct SpanChoice {
    const char* text;
    TrendsWindow::Span span;
    double seconds;  // 0: everything held
};
constexpr SpanChoice kSpans[] = {
    {"5 min", TrendsWindow::Span::kFiveMinutes, 5 * 60.0},
    {"1 h", TrendsWindow::Span::kOneHour, 3600.0},
    {"24 h", TrendsWindow::Span::kOneDay, 24 * 3600.0},
    {"all", TrendsWindow::Span::kAll, 0},
};

// A column of up to four points is two pixels wide: as fine as the eye
// follows a line, and half the points Qt Charts lays out (and strokes) per
// series.
constexpr int kPixelsPerColumn = 2;
// The newest column's points (up to four) and the point before them, drawn
// as a piece of their own.
constexpr qsizetype kTailPoints = 5;
// One step of the mouse wheel narrows the shown time by this factor.
constexpr double kZoomStep = 0.8;
constexpr double kShortestView = 10;  // seconds
// Room around each plot area for the axes, their titles and the legend.
constexpr QMargins kPlotMargins(90, 36, 230, 30);
// A chart's least height, and what its legend needs beyond its entries'
// text: the gap between entries and the chart's title and margins.
constexpr int kMinChartHeight = 150;
constexpr int kMinRailChartHeight = 140;
constexpr int kLegendRowGap = 8;
constexpr int kLegendFrame = 70;

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

struct TrendsWindow::Trace {
    int index;  // in charts::kTraceSpecs
    charts::TraceSpec plan;
    QColor color;
    bool shown = true;
    std::vector<QLineSeries*> pieces;  // one per run of points between gaps
    // A rail's lamp limits, as dashed lines within its axis, while it has
    // values in view; bold while it is out of them in the time shown.
    std::vector<std::pair<QLineSeries*, double>> limits;
    bool out_of_limits = false;
    bool has_points = false;  // any value in the time shown
};

struct TrendsWindow::Chart {
    QChart* chart = nullptr;
    QChartView* view = nullptr;
    QCategoryAxis* time_axis = nullptr;  // ticks at round times, set by refresh()
    QValueAxis* left = nullptr;
    QValueAxis* right = nullptr;
    ChartMarkerLayer* markers = nullptr;
    // Out of sight when the charts were last drawn: drawn once it comes
    // into sight.
    bool stale = false;
};

TrendsWindow::TrendsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("trends_window"));
    // A usual size, no larger than the screen leaves room for.
    QSize size(900, 860);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size());
    }
    resize(size);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    span_box_ = new QComboBox(this);
    span_box_->setObjectName(QStringLiteral("span_box"));
    for (const SpanChoice& s : kSpans) {
        span_box_->addItem(QString::fromLatin1(s.text));
    }
    span_box_->setCurrentIndex(static_cast<int>(span_));
    open_button_ = new QPushButton(QStringLiteral("&Open log..."), this);
    open_button_->setObjectName(QStringLiteral("open_log"));
    live_button_ = new QPushButton(QStringLiteral("&Live"), this);
    live_button_->setObjectName(QStringLiteral("live"));
    live_button_->setToolTip(QStringLiteral("Show the console's polls again"));
    live_button_->hide();
    save_button_ = new QPushButton(QStringLiteral("&Save as PNG..."), this);
    save_button_->setObjectName(QStringLiteral("save_png"));
    bar->addWidget(span_box_);
    bar->addStretch();
    bar->addWidget(live_button_);
    bar->addWidget(open_button_);
    bar->addWidget(save_button_);
    layout->addLayout(bar);

    // The charts scroll when the window is too low for every legend entry,
    // rather than letting the legends drop some.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("charts_scroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    charts_ = new QWidget;
    charts_->setObjectName(QStringLiteral("charts"));
    scroll_->setWidget(charts_);
    layout->addWidget(scroll_, 1);
    build_charts();
    build_progress();
    setup_connections();
    update_title();
}

TrendsWindow::~TrendsWindow() {
    cancel_load();
    // The charts are destroyed after the traces; a legend entry going away
    // still says it is no longer hovered, which must no longer reach them.
    for (Chart& c : charts_list_) {
        for (QLegendMarker* marker : c.chart->legend()->markers()) {
            marker->disconnect(this);
        }
        for (QAbstractSeries* series : c.chart->series()) {
            series->disconnect(this);
        }
    }
}

void TrendsWindow::build_charts() {
    auto* column = new QVBoxLayout(charts_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < charts::kChartCount; ++i) {
        const charts::ChartSpec& plan = charts::kChartSpecs[i];
        Chart c;
        c.chart = new QChart;
        c.chart->setTitle(QString::fromLatin1(plan.title));
        c.chart->legend()->setAlignment(Qt::AlignRight);
        // Smaller legend entries, so that eight fit beside a chart.
        QFont legend_font = c.chart->legend()->font();
        if (legend_font.pointSizeF() > 0) {
            legend_font.setPointSizeF(legend_font.pointSizeF() * 0.85);
            c.chart->legend()->setFont(legend_font);
        }
        c.chart->setMargins(QMargins(4, 2, 4, 2));
        c.time_axis = new QCategoryAxis;
        c.time_axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        c.time_axis->setRange(static_cast<double>(now - 3600 * 1000), static_cast<double>(now));
        c.chart->addAxis(c.time_axis, Qt::AlignBottom);
        c.left = new QValueAxis;
        c.left->setTitleText(QString::fromLatin1(plan.left_title));
        c.chart->addAxis(c.left, Qt::AlignLeft);
        if (plan.right_title != nullptr) {
            c.right = new QValueAxis;
            c.right->setTitleText(QString::fromLatin1(plan.right_title));
            c.chart->addAxis(c.right, Qt::AlignRight);
        }
        c.markers = new ChartMarkerLayer(c.chart);
        c.view = new QChartView(c.chart, charts_);
        c.view->setRenderHint(QPainter::Antialiasing);
        c.view->viewport()->setMouseTracking(true);
        c.view->viewport()->installEventFilter(this);
        column->addWidget(c.view, 1);
        charts_list_.push_back(c);
    }
    quality_view_ = new QualityChartView(charts_);
    column->addWidget(quality_view_, 1);
    int in_chart[charts::kChartCount] = {};
    for (int i = 0; i < charts::kTraceCount; ++i) {
        Trace t;
        t.index = i;
        t.plan = charts::kTraceSpecs[i];
        t.color = QColor(static_cast<QRgb>(charts::trace_color(i)));
        ++in_chart[t.plan.chart];
        traces_.push_back(t);
    }
    for (Trace& t : traces_) {
        add_piece(t);
        add_limits(t);
    }
    // Each chart at least as high as its legend's entries need; a rail's
    // chart of one series is smaller.
    for (int i = 0; i < charts::kChartCount; ++i) {
        Chart& c = charts_list_[static_cast<size_t>(i)];
        const int rows = std::max(in_chart[i], 3);
        const int row = QFontMetrics(c.chart->legend()->font()).height() + kLegendRowGap;
        const int least = in_chart[i] == 1 ? kMinRailChartHeight : kMinChartHeight;
        c.view->setMinimumHeight(in_chart[i] == 1 ? least
                                                  : std::max(least, rows * row + kLegendFrame));
    }
}

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

void TrendsWindow::setup_connections() {
    connect(save_button_, &QPushButton::clicked, this, &TrendsWindow::on_save_clicked);
    connect(open_button_, &QPushButton::clicked, this, &TrendsWindow::on_open_clicked);
    connect(live_button_, &QPushButton::clicked, this, &TrendsWindow::show_live);
    connect(span_box_, &QComboBox::currentIndexChanged, this, &TrendsWindow::on_span_changed);
    connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &TrendsWindow::on_charts_scrolled);
    connect(progress_, &QProgressDialog::canceled, this, &TrendsWindow::cancel_load);
    connect(progress_timer_, &QTimer::timeout, this, &TrendsWindow::show_load_progress);
    connect(this, &TrendsWindow::log_load_finished, this, &TrendsWindow::on_log_load_finished);
}

void TrendsWindow::show_history(const ReadingHistory* history, const QString& source,
                                const ErrorPerformance* quality) {
    live_history_ = history;
    live_source_ = source;
    live_quality_ = quality;
    use_history(history, source, 0);
}

bool TrendsWindow::show_live() {
    if (live_history_ == nullptr) {
        return false;
    }
    own_history_.reset();
    log_quality_.clear();
    log_markers_.clear();
    use_history(live_history_, live_source_, 0);
    return true;
}

void TrendsWindow::take_history(std::unique_ptr<ReadingHistory> history, const QString& source,
                                std::vector<charts::QualityBar> quality,
                                std::vector<charts::ChartMarker> markers) {
    own_history_ = std::move(history);
    log_quality_ = std::move(quality);
    log_markers_ = std::move(markers);
    // A log stamps its lines to the second.
    use_history(own_history_.get(), source, 1);
}

void TrendsWindow::use_history(const ReadingHistory* history, const QString& source,
                               double resolution) {
    history_ = history;
    source_ = source;
    resolution_ = resolution;
    live_button_->setVisible(live_history_ != nullptr && history_ != live_history_);
    update_title();
    refresh();
}

void TrendsWindow::update_title() {
    QString title = QStringLiteral("Tarvik trends");
    if (!source_.isEmpty()) {
        title += QStringLiteral(": ") + source_;
    }
    setWindowTitle(title);
}

void TrendsWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The chart views take their new size after this event.
    QTimer::singleShot(0, this, [this] {
        align_plot_areas();
        refresh();
    });
}

void TrendsWindow::align_plot_areas() {
    // Every chart's plot area has the same left and right edges, so one
    // moment is at the same x in all four.
    for (Chart& c : charts_list_) {
        const QSizeF size = c.chart->size();
        const QRectF area(kPlotMargins.left(), kPlotMargins.top(),
                          size.width() - kPlotMargins.left() - kPlotMargins.right(),
                          size.height() - kPlotMargins.top() - kPlotMargins.bottom());
        if (area.width() > 0 && area.height() > 0) {
            c.chart->setPlotArea(area);
        }
    }
}

void TrendsWindow::set_span(Span span) {
    span_box_->setCurrentIndex(static_cast<int>(span));
}

void TrendsWindow::on_span_changed(int index) {
    if (index >= 0 && index < static_cast<int>(std::size(kSpans))) {
        span_ = kSpans[index].span;
        zoomed_ = false;
        refresh();
    }
}

bool TrendsWindow::save_png(const QString& path, QSize size, double from, double to) {
    // Out of the scroll area, which would keep the window's width and every
    // chart's least height on screen, the charts take the size whole.
    scroll_->takeWidget();
    // Each chart's share of the height as on screen: a legend of four rows
    // keeps more room than a rail's one.
    auto* column = static_cast<QBoxLayout*>(charts_->layout());
    std::vector<int> least;
    for (Chart& c : charts_list_) {
        least.push_back(c.view->minimumHeight());
        c.view->setMinimumHeight(0);
        column->setStretchFactor(c.view, least.back());
    }
    const int quality_least = quality_view_->minimumHeight();
    quality_view_->setMinimumHeight(0);
    column->setStretchFactor(quality_view_, quality_least);
    charts_->setAttribute(Qt::WA_DontShowOnScreen);
    charts_->setFixedSize(size);
    charts_->show();
    QCoreApplication::processEvents();
    set_view(from, to);
    QCoreApplication::processEvents();
    set_view(from, to);  // the plot areas as laid out at this size
    draw(true);
    const bool saved = charts_->grab().save(path, "PNG");
    charts_->hide();
    charts_->setMinimumSize(0, 0);
    charts_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    for (size_t i = 0; i < least.size(); ++i) {
        charts_list_[i].view->setMinimumHeight(least[i]);
        column->setStretchFactor(charts_list_[i].view, 1);
    }
    quality_view_->setMinimumHeight(quality_least);
    column->setStretchFactor(quality_view_, 1);
    scroll_->setWidget(charts_);
    return saved;
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
    request.span = kSpans[static_cast<int>(span_)].seconds;
    request.zoom = zoomed_ ? &before : nullptr;
    request.plot_pixels = static_cast<int>(charts_list_.front().chart->plotArea().width());
    request.pixels_per_column = kPixelsPerColumn;
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

double TrendsWindow::time_at(const Chart& c, const QPoint& pos) const {
    const QPointF at = c.chart->mapFromScene(c.view->mapToScene(pos));
    const QRectF area = c.chart->plotArea();
    const double share = area.width() > 0 ? (at.x() - area.left()) / area.width() : 0;
    return view_from_ + share * (view_to_ - view_from_);
}

bool TrendsWindow::in_plot_area(const Chart& c, const QPoint& pos) const {
    return c.chart->plotArea().contains(c.chart->mapFromScene(c.view->mapToScene(pos)));
}

void TrendsWindow::zoom(double factor, double around) {
    double from = around - (around - view_from_) * factor;
    double to = around + (view_to_ - around) * factor;
    if (to - from < kShortestView) {
        return;
    }
    set_view(from, to);
}

void TrendsWindow::set_view(double from, double to) {
    zoomed_ = true;
    view_from_ = from;
    view_to_ = to;
    refresh();
}

bool TrendsWindow::eventFilter(QObject* watched, QEvent* event) {
    const Chart* chart = nullptr;
    for (const Chart& c : charts_list_) {
        if (c.view->viewport() == watched) {
            chart = &c;
        }
    }
    if (chart == nullptr || history_ == nullptr || history_->held_polls() == 0) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            // A notch is 120; fine wheels and touchpads send a part of one.
            const double steps = wheel->angleDelta().y() / 120.0;
            if (steps != 0) {
                zoom(std::pow(kZoomStep, steps), time_at(*chart, wheel->position().toPoint()));
            }
            return true;
        }
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            // Presses outside the plot area go on to the legend.
            if (mouse->button() == Qt::LeftButton &&
                in_plot_area(*chart, mouse->position().toPoint())) {
                drag_x_ = mouse->position().x();
                drag_from_ = view_from_;
                drag_to_ = view_to_;
                dragging_ = true;
                return true;
            }
            break;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const double width = chart->chart->plotArea().width();
            if (dragging_ && width > 0) {
                const double shift =
                    (mouse->position().x() - drag_x_) / width * (drag_to_ - drag_from_);
                set_view(drag_from_ - shift, drag_to_ - shift);
                return true;
            }
            if (!in_plot_area(*chart, mouse->position().toPoint())) {
                QToolTip::hideText();
                break;
            }
            QToolTip::showText(mouse->globalPosition().toPoint(),
                               cursor_text(time_at(*chart, mouse->position().toPoint())),
                               chart->view);
            break;
        }
        case QEvent::MouseButtonRelease:
            dragging_ = false;
            break;
        case QEvent::MouseButtonDblClick:
            // Back to the chosen time window, following new polls.
            zoomed_ = false;
            refresh();
            return true;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

QString TrendsWindow::cursor_text(double seconds) const {
    if (history_ == nullptr) {
        return QString();
    }
    QStringList rows;
    for (const std::string& row : charts::tooltip_rows(*history_, plan_, seconds, true)) {
        rows.append(QString::fromStdString(row));
    }
    // The events within a few pixels (a column is kPixelsPerColumn wide).
    const std::string events = charts::marker_text_near(plan_, seconds, plan_.column_seconds * 2);
    if (!events.empty()) {
        rows.append(QString::fromStdString(events));
    }
    return rows.join(QLatin1Char('\n'));
}

void TrendsWindow::set_live_markers(std::vector<charts::ChartMarker> markers) {
    live_markers_ = std::move(markers);
}

void TrendsWindow::add_live_marker(charts::ChartMarker marker) {
    live_markers_.push_back(std::move(marker));
}

std::vector<int> TrendsWindow::marker_columns(int chart) const {
    return charts_list_[static_cast<size_t>(chart)].markers->columns();
}
