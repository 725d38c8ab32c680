// The trends window: its controls, the history it shows, the charts'
// widgets and their layout, and saving them at a size of their own. The
// charts are drawn in trends_charts.cpp, the mouse is handled in
// trends_mouse.cpp and the files in trends_files.cpp.
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
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "ui/quality_chart_view.h"
#include "ui/trends_charts.h"
#include "ui/trends_markers.h"

namespace {

// Room around each plot area for the axes, their titles and the legend.
constexpr QMargins kPlotMargins(90, 36, 230, 30);
// A chart's least height, and what its legend needs beyond its entries'
// text: the gap between entries and the chart's title and margins.
constexpr int kMinChartHeight = 150;
constexpr int kMinRailChartHeight = 140;
constexpr int kLegendRowGap = 8;
constexpr int kLegendFrame = 70;

}  // namespace

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
    for (const trends::SpanChoice& s : trends::kSpans) {
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
    if (index >= 0 && index < static_cast<int>(std::size(trends::kSpans))) {
        span_ = trends::kSpans[index].span;
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

void TrendsWindow::set_live_markers(std::vector<charts::ChartMarker> markers) {
    live_markers_ = std::move(markers);
}

void TrendsWindow::add_live_marker(charts::ChartMarker marker) {
    live_markers_.push_back(std::move(marker));
}

std::vector<int> TrendsWindow::marker_columns(int chart) const {
    return charts_list_[static_cast<size_t>(chart)].markers->columns();
}
