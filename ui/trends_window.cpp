#include "ui/trends_window.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <optional>
#include <thread>

#include "monitor/alarm_events.h"
#include "monitor/panes.h"
#include "monitor/supply_rails.h"
#include "monitor/chart_plan.h"

namespace {

// Which chart a series is drawn in, and how. The series are named as the
// panes name them; `suffix`, when not null, follows the pane's name.
struct TracePlan {
    Series series;
    const char* label;
    const char* suffix;
    int chart;
    bool right_axis;
    double nominal;  // a rail's nominal voltage: drawn as a percentage of it; 0: as it is
};

// A rail is named, and drawn against its nominal voltage, as the rail table says.
constexpr TracePlan rail_plan(Series series, Param row) {
    const RailSpec& rail = kSupplyRails[supply_rail_index(row)];
    return {series, rail.label, nullptr, 1, false, rail.nominal_volts};
}

constexpr int kChartCount = 6;
constexpr TracePlan kTracePlans[] = {
    {Series::kTemperature1, kTemperatureNames[0], nullptr, 0, false, 0},
    {Series::kTemperature2, kTemperatureNames[1], nullptr, 0, false, 0},
    {Series::kTemperature3, kTemperatureNames[2], nullptr, 0, false, 0},
    rail_plan(Series::kSupply24V, Param::kSupply24V),
    rail_plan(Series::kSupply12V, Param::kSupply12V),
    rail_plan(Series::kSupply9V, Param::kSupply9V),
    rail_plan(Series::kSupplyMinus12V, Param::kSupplyMinus12V),
    rail_plan(Series::kSupply5V, Param::kSupply5V),
    rail_plan(Series::kSupply3V3, Param::kSupply3V3),
    rail_plan(Series::kSupply5VStandby, Param::kSupply5VStandby),
    {Series::kMse, kMseName, nullptr, 2, false, 0},
    {Series::kAttenuation, kAttenuationName, nullptr, 2, false, 0},
    {Series::kLock, kReceiverName, nullptr, 2, true, 0},
    {Series::kQuality, kQualityName, nullptr, 2, true, 0},
    {Series::kUpLinkMbps, kUpLinkName, nullptr, 3, false, 0},
    {Series::kDownLinkMbps, kDownLinkName, nullptr, 3, false, 0},
    {Series::kPhyToRadioRate, kPhyToRadioName, kPacketsPerSecond, 4, false, 0},
    {Series::kRadioToPhyRate, kRadioToPhyName, kPacketsPerSecond, 4, false, 0},
    {Series::kDropQ1Rate, kDropQ1Name, kPacketsPerSecond, 4, false, 0},
    {Series::kDropTxRate, kDropTxName, kPacketsPerSecond, 4, false, 0},
    {Series::kFecFails, kFecFailsName, nullptr, 5, false, 0},
    {Series::kPacketErrorRatio, kPerName, nullptr, 5, true, 0},
};

QString trace_name(const TracePlan& plan) {
    return QString::fromLatin1(plan.label) +
           (plan.suffix != nullptr ? QString::fromLatin1(plan.suffix) : QString());
}

// Every axis holds one quantity.
struct ChartPlan {
    const char* title;
    const char* left_title;
    const char* right_title;  // null: no right axis
};
constexpr ChartPlan kChartPlans[kChartCount] = {
    {"Temperatures", "deg C", nullptr}, {"Supply rails", "% of nominal", nullptr},
    {"Receiver", "dB", "1 = yes"},      {"Link rates", "Mbps", nullptr},
    {"Packets", "packets/s", nullptr},  {"Errors", "FEC fails since Reset", "PER"},
};

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

// About this many ticks on a value axis.
constexpr int kValueTicks = 5;
// About this many pixels between the time axis's ticks, at least.
constexpr double kTimeTickSpacing = 90;
// A rail counts as out of its lamp limits beyond this (in percent of its
// nominal voltage): the lamp's own rounding is finer.
constexpr double kLimitSlack = 1e-9;
// A column of min and max is two pixels wide: as fine as the eye follows a
// line, and half the points Qt Charts lays out (and strokes) per series.
constexpr int kPixelsPerColumn = 2;
// The newest column's points (its minimum and maximum) and the point before
// them, drawn as a piece of their own.
constexpr qsizetype kTailPoints = 3;
// One step of the mouse wheel narrows the shown time by this factor.
constexpr double kZoomStep = 0.8;
constexpr double kShortestView = 10;  // seconds
// Room around each plot area for the axes, their titles and the legend.
constexpr QMargins kPlotMargins(90, 36, 230, 30);
// The progress of a log being read: its steps, how often it is shown, and
// how long a load may take before the dialog shows at all.
constexpr int kProgressSteps = 1000;
constexpr int kProgressPeriodMs = 100;
constexpr int kProgressDelayMs = 300;
// A chart's least height, and what its legend needs beyond its entries'
// text: the gap between entries and the chart's title and margins.
constexpr int kMinChartHeight = 150;
constexpr int kLegendRowGap = 8;
constexpr int kLegendFrame = 70;

// A value range that grows to take points; empty until it takes one.
struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void take(double v) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    // Sets the axis to trends::value_scale() of the range. The axis is
    // touched only when it changes, since a new range lays out every series
    // of its chart again.
    void apply(QValueAxis* axis) const {
        const trends::ValueScale scale = trends::value_scale(low, high, kValueTicks);
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
};

}  // namespace

// A log being read on a thread of its own into a history of its own; until
// the thread is joined, the window's thread only reads `bytes` and sets
// `cancel`.
struct TrendsWindow::Load {
    uint64_t number = 0;  // which load it is: a late call for an older one is known
    QString path;
    uint64_t size = 0;  // as found before the thread started
    std::unique_ptr<ReadingHistory> history = std::make_unique<ReadingHistory>();
    LogLoad result;  // the thread's own until it is joined
    std::atomic<uint64_t> bytes{0};
    std::atomic<bool> cancel{false};
    std::thread thread;
};

struct TrendsWindow::Trace {
    TracePlan plan;
    QColor color;
    bool shown = true;
    std::vector<QLineSeries*> pieces;  // one per run of points between gaps
    // A rail's lamp limits, as dashed lines; they do not widen the axis, so
    // they show when the rail comes near them.
    // They show only while the rail is hovered (its line or legend entry),
    // and always, bold, while it is out of them in the time shown.
    std::vector<std::pair<QLineSeries*, double>> limits;
    bool hovered = false;
    bool out_of_limits = false;
    bool has_points = false;  // any value in the time shown
};

struct TrendsWindow::Chart {
    QChart* chart = nullptr;
    QChartView* view = nullptr;
    QCategoryAxis* time_axis = nullptr;  // ticks at round times, set by refresh()
    QValueAxis* left = nullptr;
    QValueAxis* right = nullptr;
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
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("charts_scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    charts_ = new QWidget;
    charts_->setObjectName(QStringLiteral("charts"));
    scroll->setWidget(charts_);
    layout->addWidget(scroll, 1);
    build_charts();
    // Modal to this window alone: the console goes on meanwhile.
    progress_ = new QProgressDialog(this);
    progress_->setObjectName(QStringLiteral("log_progress"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setRange(0, kProgressSteps);
    progress_->setMinimumDuration(kProgressDelayMs);
    progress_->reset();  // not shown until a load starts
    progress_timer_ = new QTimer(this);
    progress_timer_->setInterval(kProgressPeriodMs);
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
    for (const ChartPlan& plan : kChartPlans) {
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
        c.view = new QChartView(c.chart, charts_);
        c.view->setRenderHint(QPainter::Antialiasing);
        c.view->viewport()->setMouseTracking(true);
        c.view->viewport()->installEventFilter(this);
        column->addWidget(c.view, 1);
        charts_list_.push_back(c);
    }
    // Distinct colours within each chart, from Qt's own palette order.
    const Qt::GlobalColor palette[] = {Qt::blue,     Qt::red,     Qt::darkGreen,  Qt::magenta,
                                       Qt::darkCyan, Qt::darkRed, Qt::darkYellow, Qt::black};
    int in_chart[kChartCount] = {};
    for (const TracePlan& plan : kTracePlans) {
        Trace t;
        t.plan = plan;
        t.color = QColor(palette[in_chart[plan.chart]++ % std::size(palette)]);
        traces_.push_back(t);
    }
    for (Trace& t : traces_) {
        add_piece(t);
        add_limits(t);
    }
    // Each chart at least as high as its legend's entries need.
    for (int i = 0; i < kChartCount; ++i) {
        Chart& c = charts_list_[static_cast<size_t>(i)];
        const int rows = std::max(in_chart[i], 3);
        const int row = QFontMetrics(c.chart->legend()->font()).height() + kLegendRowGap;
        c.view->setMinimumHeight(std::max(kMinChartHeight, rows * row + kLegendFrame));
    }
}

QLineSeries* TrendsWindow::add_piece(Trace& trace) {
    Chart& c = charts_list_[static_cast<size_t>(trace.plan.chart)];
    auto* piece = new QLineSeries;
    piece->setName(trace_name(trace.plan));
    QPen pen(trace.color);
    pen.setWidthF(1.5);
    piece->setPen(pen);
    c.chart->addSeries(piece);
    piece->attachAxis(c.time_axis);
    piece->attachAxis(trace.plan.right_axis && c.right != nullptr ? c.right : c.left);
    piece->setVisible(trace.shown);
    // Hovering the line shows the rail's lamp limits too.
    Trace* hovered = &trace;
    connect(piece, &QLineSeries::hovered, this, [this, hovered](const QPointF&, bool over) {
        hovered->hovered = over;
        update_limits(*hovered);
    });
    const QList<QLegendMarker*> markers = c.chart->legend()->markers(piece);
    if (trace.pieces.empty()) {
        // The first piece's legend entry stands for the whole series: a
        // click hides or shows every piece.
        Trace* target = &trace;
        for (QLegendMarker* marker : markers) {
            // Hovering the entry shows the rail's lamp limits.
            connect(marker, &QLegendMarker::hovered, this, [this, target](bool over) {
                target->hovered = over;
                update_limits(*target);
            });
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
    if (trace.plan.nominal == 0 || !info.has_limits) {
        return;
    }
    Chart& c = charts_list_[static_cast<size_t>(trace.plan.chart)];
    const struct {
        const char* name;
        double value;
    } lines[] = {{" low limit", info.low}, {" high limit", info.high}};
    for (const auto& l : lines) {
        auto* line = new QLineSeries;
        line->setName(trace_name(trace.plan) + QString::fromLatin1(l.name));
        QPen pen(trace.color);
        pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        line->setVisible(false);  // until the rail is hovered or out of them
        c.chart->addSeries(line);
        line->attachAxis(c.time_axis);
        line->attachAxis(c.left);
        for (QLegendMarker* marker : c.chart->legend()->markers(line)) {
            marker->setVisible(false);
        }
        trace.limits.emplace_back(line, l.value / trace.plan.nominal * 100);
    }
}

void TrendsWindow::update_limits(Trace& trace) {
    const bool show = trace.shown && trace.has_points && (trace.hovered || trace.out_of_limits);
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

void TrendsWindow::set_time_ticks(double from, double to, double earliest, double latest) {
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(from * 1000));
    const int most = std::max(
        2, static_cast<int>(charts_list_.front().chart->plotArea().width() / kTimeTickSpacing));
    const trends::TimeTicks ticks =
        trends::time_ticks(from, to, most, start.offsetFromUtc(), earliest, latest);
    const QString format = QString::fromLatin1(ticks.format);
    QStringList labels;
    QList<double> at;
    for (double t = ticks.first; t <= to; t += ticks.step) {
        at.append(t * 1000);
        labels.append(QDateTime::fromMSecsSinceEpoch(std::llround(t * 1000)).toString(format));
    }
    for (Chart& c : charts_list_) {
        QCategoryAxis* axis = c.time_axis;
        // The categories' ends are the ticks; they are made again only when
        // the ticks change, since that lays the chart out again.
        if (axis->categoriesLabels() != labels || axis->startValue() > from * 1000) {
            for (const QString& label : axis->categoriesLabels()) {
                axis->remove(label);
            }
            axis->setStartValue(from * 1000);
            for (qsizetype i = 0; i < labels.size(); ++i) {
                axis->append(labels[i], at[i]);
            }
        }
        if (axis->min() != from * 1000 || axis->max() != to * 1000) {
            axis->setRange(from * 1000, to * 1000);
        }
    }
}

void TrendsWindow::setup_connections() {
    connect(save_button_, &QPushButton::clicked, this, &TrendsWindow::on_save_clicked);
    connect(open_button_, &QPushButton::clicked, this, &TrendsWindow::on_open_clicked);
    connect(live_button_, &QPushButton::clicked, this, &TrendsWindow::show_live);
    connect(span_box_, &QComboBox::currentIndexChanged, this, &TrendsWindow::on_span_changed);
    connect(progress_, &QProgressDialog::canceled, this, &TrendsWindow::cancel_load);
    connect(progress_timer_, &QTimer::timeout, this, [this] {
        if (load_ != nullptr && load_->size > 0) {
            const double share =
                static_cast<double>(load_->bytes.load()) / static_cast<double>(load_->size);
            progress_->setValue(static_cast<int>(std::min(share, 1.0) * (kProgressSteps - 1)));
        }
    });
    connect(this, &TrendsWindow::log_load_finished, this, &TrendsWindow::on_log_load_finished);
}

void TrendsWindow::show_history(const ReadingHistory* history, const QString& source) {
    live_history_ = history;
    live_source_ = source;
    use_history(history, source, 0);
}

bool TrendsWindow::show_live() {
    if (live_history_ == nullptr) {
        return false;
    }
    use_history(live_history_, live_source_, 0);
    own_history_.reset();
    return true;
}

void TrendsWindow::take_history(std::unique_ptr<ReadingHistory> history, const QString& source) {
    own_history_ = std::move(history);
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

void TrendsWindow::draw_empty() {
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
    for (Chart& c : charts_list_) {
        Range().apply(c.left);
        if (c.right != nullptr) {
            Range().apply(c.right);
        }
    }
    view_columns_ = 0;
}

void TrendsWindow::refresh() {
    const uint64_t polls = history_ != nullptr ? history_->held_polls() : 0;
    if (polls == 0) {
        draw_empty();
        return;
    }
    // The span held, whatever order a log's lines came in.
    const ReadingHistory::TimeSpan span = history_->held_span();
    const trends::Held held{span.earliest, span.latest, polls, resolution_};
    const trends::View before{view_from_, view_to_, view_columns_};
    const trends::ViewChoice choice = trends::choose_view(
        held, kSpans[static_cast<int>(span_)].seconds,
        static_cast<int>(charts_list_.front().chart->plotArea().width()) / kPixelsPerColumn,
        zoomed_ ? &before : nullptr);
    const double from = choice.view.from;
    const double to = choice.view.to;
    const int width = choice.view.columns;
    view_from_ = from;
    view_to_ = to;
    view_columns_ = width;
    column_seconds_ = (to - from) / width;
    set_time_ticks(from, to, span.earliest, span.latest);
    const std::vector<std::vector<ChartPoint>> points = history_->extract_all(from, to, width);
    for (Trace& t : traces_) {
        for (const auto& [line, percent] : t.limits) {
            const QList<QPointF> ends{{from * 1000, percent}, {to * 1000, percent}};
            if (line->points() != ends) {
                line->replace(ends);
            }
        }
        draw_trace(t, points[static_cast<size_t>(t.plan.series)]);
    }
    // Each value axis spans what its shown series hold. A series with no
    // value in view (such as another family's) leaves the legend, and an
    // axis none of whose series has one is hidden.
    std::vector<Range> left(kChartCount);
    std::vector<Range> right(kChartCount);
    std::vector<bool> right_used(kChartCount, false);
    for (Trace& t : traces_) {
        Range values;
        for (const QLineSeries* p : t.pieces) {
            for (const QPointF& point : p->points()) {
                values.take(point.y());
            }
        }
        const size_t chart = static_cast<size_t>(t.plan.chart);
        t.has_points = values.low <= values.high;
        for (QLegendMarker* marker :
             charts_list_[chart].chart->legend()->markers(t.pieces.front())) {
            // Asked unconditionally: a legend not yet laid out reports its
            // entries hidden.
            marker->setVisible(t.has_points);
        }
        t.out_of_limits = false;
        if (t.limits.size() == 2) {
            const double a = t.limits[0].second;
            const double b = t.limits[1].second;
            t.out_of_limits = t.has_points && (values.low < std::min(a, b) - kLimitSlack ||
                                               values.high > std::max(a, b) + kLimitSlack);
        }
        update_limits(t);
        if (t.plan.right_axis && t.has_points) {
            right_used[chart] = true;
        }
        if (t.shown && t.has_points) {
            Range& r = t.plan.right_axis ? right[chart] : left[chart];
            r.take(values.low);
            r.take(values.high);
        }
    }
    for (size_t i = 0; i < charts_list_.size(); ++i) {
        left[i].apply(charts_list_[i].left);
        if (QValueAxis* axis = charts_list_[i].right) {
            right[i].apply(axis);
            if (axis->isVisible() != right_used[i]) {
                axis->setVisible(right_used[i]);
            }
        }
    }
}

void TrendsWindow::draw_trace(Trace& trace, const std::vector<ChartPoint>& points) {
    std::vector<QList<QPointF>> runs(1);
    for (const ChartPoint& p : points) {
        // Beyond kLargestChartValue an axis's range arithmetic would
        // overflow: such a value is a gap.
        if (std::isnan(p.value) || std::fabs(p.value) > kLargestChartValue) {
            if (!runs.back().isEmpty()) {
                runs.emplace_back();
            }
            continue;
        }
        const double value = trace.plan.nominal != 0 ? p.value / trace.plan.nominal * 100 : p.value;
        runs.back().append(QPointF(p.seconds * 1000, value));
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

bool TrendsWindow::start_log_load(const QString& path, LogLoad* refusal) {
    cancel_load();
    auto load = std::make_unique<Load>();
    load->path = path;
    // What the file is, and its size, are checked here: a file refused at
    // once never reaches the thread.
    LogLoad checked = check_log_file(QFile::encodeName(path).toStdString());
    if (checked.status != LogLoad::Status::kRead) {
        last_load_ = checked;
        if (refusal != nullptr) {
            *refusal = std::move(checked);
        }
        return false;
    }
    load->size = checked.bytes;
    load->number = ++loads_started_;
    Load* raw = load.get();
    load->thread = std::thread([this, raw] {
        raw->result = load_log_file(QFile::encodeName(raw->path).toStdString(), *raw->history,
                                    [raw](uint64_t bytes) {
                                        raw->bytes = bytes;
                                        return !raw->cancel;
                                    });
        // Dropped by Qt when the window is gone; a cancelled load is
        // joined before that, and its call finds it no longer current.
        const uint64_t number = raw->number;
        QMetaObject::invokeMethod(
            this, [this, number] { finish_load(number); }, Qt::QueuedConnection);
    });
    load_ = std::move(load);
    progress_->setLabelText(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()));
    progress_->setValue(0);
    progress_timer_->start();
    return true;
}

void TrendsWindow::cancel_load() {
    if (load_ == nullptr) {
        return;
    }
    load_->cancel = true;
    // The thread looks at the flag after every chunk it reads.
    load_->thread.join();
    load_.reset();
    progress_timer_->stop();
    progress_->reset();
    last_load_ = LogLoad();
    last_load_.status = LogLoad::Status::kStopped;
    report_load_ = false;
    emit log_load_finished();
}

void TrendsWindow::finish_load(uint64_t number) {
    if (load_ == nullptr || load_->number != number) {
        return;  // cancelled, or replaced by a newer load
    }
    load_->thread.join();
    std::unique_ptr<Load> done = std::move(load_);
    progress_timer_->stop();
    progress_->reset();
    last_load_ = std::move(done->result);
    if (last_load_.status == LogLoad::Status::kRead) {
        take_history(std::move(done->history), QFileInfo(done->path).fileName());
    }
    emit log_load_finished();
}

bool TrendsWindow::open_log(const QString& path, LogLoad* load) {
    bool started = start_log_load(path);
    if (started) {
        QEventLoop loop;
        connect(this, &TrendsWindow::log_load_finished, &loop, &QEventLoop::quit);
        if (loading()) {
            loop.exec();
        }
    }
    if (load != nullptr) {
        *load = last_load_;
    }
    return started && last_load_.status == LogLoad::Status::kRead;
}

bool TrendsWindow::save_png(const QString& path) {
    return charts_->grab().save(path, "PNG");
}

void TrendsWindow::on_save_clicked() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save as PNG"),
                                                      QStringLiteral("trends.png"),
                                                      QStringLiteral("PNG images (*.png)"));
    if (!path.isEmpty() && !save_png(path)) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Could not save ") + path);
    }
}

void TrendsWindow::on_open_clicked() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open log"), QString(), QStringLiteral("Logs (*.log);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    LogLoad refusal;
    if (!start_log_load(path, &refusal)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Could not open %1: %2")
                                 .arg(path, QString::fromLocal8Bit(refusal.error.c_str())));
        return;
    }
    report_load_ = true;
}

void TrendsWindow::on_log_load_finished() {
    if (!report_load_) {
        return;
    }
    report_load_ = false;
    const LogLoad& load = last_load_;
    if (load.status == LogLoad::Status::kCannotOpen) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Could not read the log: %1")
                                 .arg(QString::fromLocal8Bit(load.error.c_str())));
        return;
    }
    QStringList notes;
    if (load.totals.problems > 0) {
        notes << QStringLiteral("%1 lines could not be read; the first: %2")
                     .arg(load.totals.problems)
                     .arg(QString::fromStdString(load.problems.front()));
    }
    const std::string notice = log_load_notice(load);
    if (!notice.empty()) {
        notes << QString::fromStdString(notice);
    }
    if (!notes.isEmpty()) {
        QMessageBox::information(this, windowTitle(), notes.join(QStringLiteral("\n")));
    }
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
    const double ms = seconds * 1000;
    // A value counts as at the cursor within one chart column of it.
    const double reach = column_seconds_ * 1000;
    QString text = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms))
                       .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    for (const Trace& t : traces_) {
        if (!t.shown) {
            continue;
        }
        // points() hands out a copy: the nearest point is kept by value.
        std::optional<QPointF> nearest;
        for (const QLineSeries* p : t.pieces) {
            for (const QPointF& point : p->points()) {
                if (std::abs(point.x() - ms) <= reach &&
                    (!nearest || std::abs(point.x() - ms) < std::abs(nearest->x() - ms))) {
                    nearest = point;
                }
            }
        }
        if (nearest) {
            const bool rail = t.plan.nominal != 0;
            const double value = rail ? nearest->y() * t.plan.nominal / 100 : nearest->y();
            text += QStringLiteral("\n%1: %2 %3")
                        .arg(trace_name(t.plan))
                        .arg(value, 0, 'g', 6)
                        .arg(QString::fromLatin1(series_info(t.plan.series).unit));
            // A rail names its lamp limits while they are drawn.
            const SeriesInfo info = series_info(t.plan.series);
            if (!t.limits.empty() && t.limits.front().first->isVisible()) {
                text += QStringLiteral(" (lamp limits %1..%2 %3)")
                            .arg(info.low, 0, 'f', 1)
                            .arg(info.high, 0, 'f', 1)
                            .arg(QString::fromLatin1(info.unit));
            }
        }
    }
    return text;
}
