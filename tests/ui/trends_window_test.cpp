// The trends window: opened from the console's menus and Ctrl+T, following
// live polls, saved as PNG, and showing a log written by the console.
#include "ui/trends_window.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChartView>
#include <QDir>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "device/panes.h"
#include "device/supply_rails.h"
#include "logbook/measurement_log.h"
#include "monitor/alarm_events.h"
#include "ui/quality_chart_view.h"
#include "window_fixture.h"

namespace {

class TrendsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        open_window();
        point_at_simulator();
        ASSERT_TRUE(dir_.isValid());
    }
    std::string path(const char* name) {
        return dir_.filePath(QString::fromLatin1(name)).toStdString();
    }
    QTemporaryDir dir_;
};

constexpr std::time_t kLogStart = 1700000000;

// The y values of every piece together.
std::vector<double> values(const std::vector<QList<QPointF>>& runs) {
    std::vector<double> v;
    for (const auto& run : runs) {
        for (const QPointF& p : run) {
            v.push_back(p.y());
        }
    }
    return v;
}

TEST_F(TrendsTest, OpensFromTheContextMenuTheTrayMenuAndCtrlT) {
    const struct {
        const char* entry;
        std::function<void(CTarvikDlg&)> open;
    } cases[] = {
        {"context menu",
         [](CTarvikDlg& w) {
             ASSERT_TRUE(w.actions().contains(w.trends_action()));
             w.trends_action()->trigger();
         }},
        {"tray menu",
         [](CTarvikDlg& w) {
             ASSERT_TRUE(w.tray_icon()->contextMenu()->actions().contains(w.trends_action()));
             w.trends_action()->trigger();
         }},
        {"Ctrl+T",
         [](CTarvikDlg& w) {
             w.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
             QTest::keyClick(&w, Qt::Key_T, Qt::ControlModifier);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        open_window();
        EXPECT_EQ(window_->trends_window(), nullptr);
        c.open(*window_);
        ASSERT_NE(window_->trends_window(), nullptr);
        EXPECT_TRUE(window_->trends_window()->isVisible());
        EXPECT_TRUE(window_->isVisible()) << "the console stays open beside it";
    }
    EXPECT_EQ(window_->trends_action()->text().toStdString(), "&Trends...");
}

TEST_F(TrendsTest, FollowsEveryLivePollFailedOnesToo) {
    window_->trends_action()->trigger();
    TrendsWindow* trends = window_->trends_window();
    trends->set_span(TrendsWindow::Span::kAll);
    set_text(ControlId::kIntervalField, "3600000");
    click(ControlId::kStartButton);
    for (int i = 0; i < 5; ++i) {
        window_->monitor().on_timer(kPollTimerId);
        settle();
    }
    EXPECT_EQ(window_->history().polls(), 6u) << "Start's poll and five ticks";
    const std::vector<double> shown = values(trends->drawn(Series::kTemperature1));
    ASSERT_FALSE(shown.empty());
    EXPECT_NEAR(*std::max_element(shown.begin(), shown.end()), readings_.temperature[0] / 100.0,
                0.01);

    sim_.stop();
    window_->monitor().on_timer(kPollTimerId);
    settle();
    EXPECT_EQ(window_->history().polls(), 7u) << "a poll without answer counts too";
}

// Ten answered polls a second apart, ten without answer, ten answered;
// T1 rises by 0.1 deg C a poll from 20.0.
void write_test_log(const std::string& log) {
    DeviceReadings r;
    ASSERT_EQ(write_log_header(log, r), LogWrite::kWritten);
    for (int i = 0; i < 30; ++i) {
        r.temperature[0] = 2000 + 10 * i;
        const bool answered = i < 10 || i >= 20;
        ASSERT_EQ(write_log_line(log, r, answered, kLogStart + i), LogWrite::kWritten);
    }
}

TEST_F(TrendsTest, LiveGoesBackToThePollsFromALog) {
    set_text(ControlId::kIntervalField, "3600000");
    click(ControlId::kStartButton);
    window_->trends_action()->trigger();
    TrendsWindow* trends = window_->trends_window();
    trends->set_span(TrendsWindow::Span::kAll);
    EXPECT_TRUE(trends->live_button()->isHidden()) << "nothing to go back to";
    const std::string log = path("run.log");
    write_test_log(log);
    ASSERT_TRUE(trends->open_log(QString::fromStdString(log)));
    EXPECT_EQ(trends->drawn(Series::kTemperature1).size(), 2u) << "the log, with its gap";
    ASSERT_FALSE(trends->live_button()->isHidden());

    QTest::mouseClick(trends->live_button(), Qt::LeftButton);
    EXPECT_TRUE(trends->live_button()->isHidden());
    EXPECT_TRUE(trends->windowTitle().endsWith(QStringLiteral("live")));
    const std::vector<double> shown = values(trends->drawn(Series::kTemperature1));
    ASSERT_FALSE(shown.empty());
    EXPECT_NEAR(shown.back(), readings_.temperature[0] / 100.0, 0.01) << "the device's poll";
}

TEST_F(TrendsTest, SavesTheChartsAsAPngOfTheWidgetsSize) {
    window_->trends_action()->trigger();
    TrendsWindow* trends = window_->trends_window();
    const QString file = QString::fromStdString(path("trends.png"));
    ASSERT_TRUE(trends->save_png(file));
    const QImage image(file);
    ASSERT_FALSE(image.isNull());
    const qreal ratio = trends->charts_widget()->devicePixelRatioF();
    EXPECT_EQ(image.size(), trends->charts_widget()->size() * ratio);
}

// --save OUT.png: exactly the size asked for, and every chart drawn with the
// same time ticks (charts out of the window's sight kept one stale label).
TEST_F(TrendsTest, SavesAPngOfTheSizeAskedForWithEveryChartsTimeTicks) {
    const std::string log = path("run.log");
    write_test_log(log);
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    ASSERT_TRUE(trends.open_log(QString::fromStdString(log)));
    const QString file = QString::fromStdString(path("sized.png"));
    for (const QSize size : {QSize(800, 600), QSize(1200, 1400)}) {
        ASSERT_TRUE(trends.save_png(file, size, trends.view_from(), trends.view_to()));
        EXPECT_EQ(QImage(file).size(), size);
        const QList<QChartView*> views = trends.charts_widget()->findChildren<QChartView*>();
        ASSERT_FALSE(views.empty());
        const auto ticks = [](QChartView* view) {
            return static_cast<QCategoryAxis*>(view->chart()->axes(Qt::Horizontal).front())
                ->categoriesLabels();
        };
        EXPECT_GT(ticks(views.front()).size(), 1);
        for (QChartView* view : views) {
            EXPECT_EQ(ticks(view), ticks(views.front())) << view->chart()->title().toStdString();
        }
    }
}

// Save as PNG and Open log open their file dialogs without a loop of their
// own (the console may be inside an exchange's wait); choosing a file acts,
// and a refusal is told the same way.
TEST_F(TrendsTest, TheFileDialogsAndBoxesRunNoLoopOfTheirOwn) {
    window_->trends_action()->trigger();
    TrendsWindow* trends = window_->trends_window();
    const QString png = QString::fromStdString(path("chosen.png"));
    const QString fifo = QString::fromStdString(path("not-a-log"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const struct {
        const char* button;
        QString chosen;
        bool box_after;  // a box tells of a refusal
    } cases[] = {{"save_png", png, false}, {"open_log", fifo, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        trends->findChild<QPushButton*>(QString::fromLatin1(c.button))->click();
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "the click returned with the dialog open";
        dialog->fileSelected(c.chosen);
        dialog->close();
        QApplication::processEvents();
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        EXPECT_EQ(box != nullptr, c.box_after);
        if (box != nullptr) {
            EXPECT_TRUE(box->text().contains(fifo)) << box->text().toStdString();
            box->close();
        }
    }
    EXPECT_FALSE(QImage(png).isNull());
}

TEST_F(TrendsTest, ShowsTheRecordedPointsOfALogWithItsGap) {
    const std::string log = path("run.log");
    write_test_log(log);
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    LogLoad load;
    ASSERT_TRUE(trends.open_log(QString::fromStdString(log), &load));
    EXPECT_EQ(load.totals.records, 30u);
    EXPECT_EQ(load.totals.problems, 0u);
    const auto runs = trends.drawn(Series::kTemperature1);
    EXPECT_EQ(runs.size(), 2u) << "broken where the device did not answer";
    const std::vector<double> shown = values(runs);
    ASSERT_FALSE(shown.empty());
    EXPECT_NEAR(*std::min_element(shown.begin(), shown.end()), 20.0, 0.01);
    EXPECT_NEAR(*std::max_element(shown.begin(), shown.end()), 22.9, 0.01);
    EXPECT_TRUE(trends.windowTitle().contains(QStringLiteral("run.log")));

    EXPECT_FALSE(trends.open_log(QString::fromStdString(path("missing.log"))));
    EXPECT_EQ(trends.drawn(Series::kTemperature1).size(), 2u) << "what was shown stays";
}

TEST_F(TrendsTest, WheelZoomsAroundTheCursorDragPansAndHoverShowsTheValues) {
    const std::string log = path("run.log");
    write_test_log(log);
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    trends.show();
    ASSERT_TRUE(trends.open_log(QString::fromStdString(log)));
    EXPECT_DOUBLE_EQ(trends.view_to() - trends.view_from(), 29.0);

    const auto views = trends.charts_widget()->findChildren<QChartView*>();
    ASSERT_EQ(views.size(), charts::kChartCount);
    QWidget* plot = views.front()->viewport();
    const QPointF middle(plot->width() / 2.0, plot->height() / 2.0);
    QWheelEvent wheel(middle, plot->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    const double zoomed = trends.view_to() - trends.view_from();
    EXPECT_NEAR(zoomed, 29.0 * 0.8, 1e-6);

    const double from = trends.view_from();
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, middle.toPoint());
    QTest::mouseMove(plot, middle.toPoint() + QPoint(40, 0));
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, middle.toPoint() + QPoint(40, 0));
    EXPECT_LT(trends.view_from(), from) << "dragging right shows earlier polls";
    EXPECT_NEAR(trends.view_to() - trends.view_from(), zoomed, 1e-6);

    const QString answered = trends.cursor_text(kLogStart + 5.0);
    const QString t1 = QString::fromLatin1(kTemperatureNames[0]);
    EXPECT_TRUE(answered.contains(t1 + QStringLiteral(": 20."))) << answered.toStdString();
    EXPECT_FALSE(trends.cursor_text(kLogStart + 15.0).contains(t1 + QStringLiteral(":")))
        << "nothing where the device did not answer";
}

TEST_F(TrendsTest, TheTimeWindowBoxSetsTheTimeShown) {
    const std::string log = path("run.log");
    write_test_log(log);
    TrendsWindow trends;
    ASSERT_TRUE(trends.open_log(QString::fromStdString(log)));
    const struct {
        TrendsWindow::Span span;
        double seconds;
    } cases[] = {
        {TrendsWindow::Span::kFiveMinutes, 300},
        {TrendsWindow::Span::kOneHour, 3600},
        {TrendsWindow::Span::kOneDay, 86400},
        {TrendsWindow::Span::kAll, 29},
    };
    // Every time window is longer than the log's 29 seconds: each shows
    // them from the first point to the last (choose_view's table has the
    // rest).
    for (const auto& c : cases) {
        trends.set_span(c.span);
        EXPECT_DOUBLE_EQ(trends.view_from(), kLogStart) << c.seconds;
        EXPECT_DOUBLE_EQ(trends.view_to(), kLogStart + 29.0) << c.seconds;
    }
}

TEST_F(TrendsTest, ALegendClickHidesTheSeriesAndASecondShowsIt) {
    const std::string log = path("run.log");
    write_test_log(log);
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    trends.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trends));
    ASSERT_TRUE(trends.open_log(QString::fromStdString(log)));
    QLineSeries* t1 = nullptr;
    QChart* chart = nullptr;
    for (QChartView* view : trends.charts_widget()->findChildren<QChartView*>()) {
        for (QAbstractSeries* series : view->chart()->series()) {
            if (series->name() == QString::fromLatin1(kTemperatureNames[0]) && t1 == nullptr) {
                t1 = qobject_cast<QLineSeries*>(series);
                chart = view->chart();
            }
        }
    }
    ASSERT_NE(t1, nullptr);
    QLegendMarker* marker = chart->legend()->markers(t1).front();
    EXPECT_TRUE(t1->isVisible());
    // The legend shows its entries once it is laid out.
    ASSERT_TRUE(QTest::qWaitFor([marker] { return marker->isVisible(); }));
    emit marker->clicked();
    EXPECT_FALSE(t1->isVisible());
    EXPECT_TRUE(marker->isVisible()) << "the entry stays, to show it again";
    EXPECT_FALSE(trends.cursor_text(kLogStart + 5.0)
                     .contains(QString::fromLatin1(kTemperatureNames[0]) + QStringLiteral(":")));
    emit marker->clicked();
    EXPECT_TRUE(t1->isVisible());

    // A real click on the legend's top entry reaches it through the chart's
    // mouse handling.
    QChartView* view = qobject_cast<QChartView*>(chart->scene()->views().front());
    const QRectF legend = chart->mapRectToScene(chart->legend()->geometry());
    for (qreal y = legend.top(); y < legend.bottom() && t1->isVisible(); y += 2) {
        for (qreal x = legend.left(); x < legend.left() + 30 && t1->isVisible(); x += 3) {
            const QPoint at = view->mapFromScene(QPointF(x, y));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        }
    }
    EXPECT_FALSE(t1->isVisible());
}

// The series of `trends` named `name`, or null.
QLineSeries* named_series(const TrendsWindow& trends, const QString& name) {
    for (QChartView* view : trends.charts_widget()->findChildren<QChartView*>()) {
        for (QAbstractSeries* series : view->chart()->series()) {
            if (series->name() == name) {
                return qobject_cast<QLineSeries*>(series);
            }
        }
    }
    return nullptr;
}

TEST_F(TrendsTest, RailLampLimitsAreDrawnInVoltsWithinTheRailsAxis) {
    const std::string log = path("run.log");
    write_test_log(log);
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    ASSERT_TRUE(trends.open_log(QString::fromStdString(log)));
    // The log's rails read 0 V: every lamp is out of its limits, which are
    // shown, bold.
    const struct {
        const char* rail;
        const char* name;
        double volts;
    } cases[] = {
        {kSupplyRails[0].label, " low limit", 22},  {kSupplyRails[0].label, " high limit", 35},
        {kSupplyRails[3].label, " low limit", -14}, {kSupplyRails[3].label, " high limit", -8},
        {kSupplyRails[5].label, " low limit", 2.5}, {kSupplyRails[5].label, " high limit", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QLineSeries* line = named_series(trends, QString::fromLatin1(c.rail) + c.name);
        ASSERT_NE(line, nullptr);
        EXPECT_TRUE(line->isVisible());
        EXPECT_EQ(line->pen().widthF(), 2.5);
        ASSERT_EQ(line->count(), 2);
        EXPECT_EQ(line->at(0).y(), c.volts);
        EXPECT_EQ(line->at(1).y(), c.volts);
        const auto* axis = static_cast<const QValueAxis*>(line->attachedAxes().back());
        EXPECT_TRUE(axis->min() <= c.volts && c.volts <= axis->max()) << "within the axis";
        EXPECT_DOUBLE_EQ(line->at(1).x() - line->at(0).x(), 29000.0) << "across the time shown";
    }
}

// The test log, all of it, in a shown window.
void show_test_log(TrendsWindow& trends) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string log = dir.filePath(QStringLiteral("run.log")).toStdString();
    write_test_log(log);
    trends.set_span(TrendsWindow::Span::kAll);
    trends.show();
    ASSERT_TRUE(trends.open_log(QString::fromStdString(log)));
}

// A history of `polls` answered polls at `seconds`, T1 20 deg C and the
// PHY->radio rate 100 packets/s except where `rates` says otherwise.
std::unique_ptr<ReadingHistory> history_at(const std::vector<double>& seconds,
                                           const std::vector<double>& rates = {},
                                           std::size_t buckets_per_level = 3600) {
    auto history = std::make_unique<ReadingHistory>(buckets_per_level);
    DeviceReadings r;
    r.temperature[0] = 2000;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        r.phy_to_radio_rate = i < rates.size() ? rates[i] : 100;
        history->add(seconds[i], r, true);
    }
    return history;
}

// Scrolls the window's charts until `chart` is in sight.
void scroll_into_sight(TrendsWindow& trends, QChart* chart) {
    auto* scroll = trends.findChild<QScrollArea*>(QStringLiteral("charts_scroll"));
    for (QChartView* view : trends.charts_widget()->findChildren<QChartView*>()) {
        if (view->chart() == chart) {
            scroll->ensureWidgetVisible(view);
        }
    }
}

TEST_F(TrendsTest, AChartScrolledIntoSightShowsWhatIsHeldNow) {
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    trends.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trends));
    auto* scroll = trends.findChild<QScrollArea*>(QStringLiteral("charts_scroll"));
    ASSERT_GT(scroll->verticalScrollBar()->maximum(), 0) << "charts out of sight";
    const std::vector<double> seconds = {kLogStart + 0.0, kLogStart + 10.0, kLogStart + 20.0};
    trends.take_history(history_at(seconds, {100, 100, 100}), QStringLiteral("first.log"));
    trends.take_history(history_at(seconds, {200, 200, 200}), QStringLiteral("second.log"));
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    const std::vector<double> shown = values(trends.drawn(Series::kPhyToRadioRate));
    ASSERT_FALSE(shown.empty());
    for (double v : shown) {
        EXPECT_EQ(v, 200);
    }
}

// The error performance chart draws the bins within the time shown, each
// class in its colour where the plan puts it.
TEST_F(TrendsTest, TheErrorPerformanceChartDrawsTheBinsShownInTheirColours) {
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    trends.resize(900, 700);
    trends.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trends));
    const std::vector<charts::QualityBar> bins = {
        {kLogStart + 0.0, 900, 40, 0, 0, 0},
        {kLogStart + 900.0, 900, 5, 10, 300, 100},
        {kLogStart + 90000.0, 900, 1, 0, 0, 0},  // beyond the log's time
    };
    trends.take_history(history_at({kLogStart + 0.0, kLogStart + 1700.0}, {100, 100}),
                        QStringLiteral("q.log"), bins);
    QualityChartView* chart = trends.quality_view();
    ASSERT_EQ(chart->plan().bars.size(), 2u);
    const QImage picture = chart->grab().toImage();
    const struct {
        std::size_t bar;
        charts::QualitySegment segment;
    } cases[] = {{0, charts::QualitySegment::kErrored},
                 {1, charts::QualitySegment::kUnavailable},
                 {1, charts::QualitySegment::kUnknown}};
    for (const auto& c : cases) {
        const charts::BarRect r =
            charts::quality_bar_rect(chart->plan(), chart->plot_box(), c.bar, c.segment);
        const QPoint middle(static_cast<int>((r.left + r.right) / 2),
                            static_cast<int>((r.top + r.bottom) / 2));
        EXPECT_EQ(picture.pixelColor(middle * picture.devicePixelRatio()).rgb() & 0xFFFFFFu,
                  charts::quality_segment_color(c.segment))
            << charts::quality_segment_name(c.segment);
    }
}

TEST_F(TrendsTest, AnEmptyHistoryDrawsEmptyCharts) {
    const std::string log = path("run.log");
    write_test_log(log);
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    ASSERT_TRUE(trends.open_log(QString::fromStdString(log)));
    ASSERT_FALSE(trends.drawn(Series::kTemperature1).empty());
    trends.take_history(std::make_unique<ReadingHistory>(), QStringLiteral("empty.log"));
    EXPECT_TRUE(trends.drawn(Series::kTemperature1).empty()) << "no stale points";
}

TEST_F(TrendsTest, AllShowsTheWholeSpanHeldWhateverTheLineOrder) {
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    trends.take_history(history_at({kLogStart + 500.0, kLogStart + 600.0, kLogStart + 100.0}),
                        QStringLiteral("stepped back.log"));
    EXPECT_DOUBLE_EQ(trends.view_from(), kLogStart + 100.0);
    EXPECT_DOUBLE_EQ(trends.view_to(), kLogStart + 600.0);
}

TEST_F(TrendsTest, ValuesTooLargeToDrawAreGaps) {
    TrendsWindow trends;
    trends.set_span(TrendsWindow::Span::kAll);
    std::vector<double> seconds;
    for (int i = 0; i < 9; ++i) {
        seconds.push_back(kLogStart + i * 10.0);
    }
    const double huge = std::numeric_limits<double>::max();
    trends.take_history(history_at(seconds, {100, 100, 100, huge, 100, -huge, 100, 100, 100}),
                        QStringLiteral("huge.log"));
    const auto runs = trends.drawn(Series::kPhyToRadioRate);
    EXPECT_GE(runs.size(), 2u) << "broken where a value is too large";
    const std::vector<double> shown = values(runs);
    ASSERT_FALSE(shown.empty());
    for (double v : shown) {
        EXPECT_EQ(v, 100);
    }
}

TEST_F(TrendsTest, ColumnsFollowThePollsStillHeld) {
    // Two buckets a level: most of 10000 polls a second apart are dropped.
    std::vector<double> seconds;
    for (int i = 0; i < 10000; ++i) {
        seconds.push_back(kLogStart + i);
    }
    TrendsWindow trends;
    trends.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trends));
    // Wide enough for more columns than fit the view's polls.
    const QChart* chart = trends.charts_widget()->findChildren<QChartView*>().front()->chart();
    ASSERT_TRUE(QTest::qWaitFor([chart] { return chart->plotArea().width() > 400; }));
    // A live history: its time stamps have no step of their own.
    const auto history = history_at(seconds, {}, 2);
    trends.show_history(history.get(), QStringLiteral("live"));
    const double newest = kLogStart + 9999.0;
    trends.set_view(newest - 100, newest);
    EXPECT_EQ(trends.drawn(Series::kTemperature1).size(), 1u)
        << "no column narrower than a poll interval, so no false gaps";
}

TEST_F(TrendsTest, ALiveRedrawDrawsWhatAFullRedrawDraws) {
    // Small levels and four polls a second, so that polls fold into buckets
    // wider than a column within the view while the grid stays put.
    ReadingHistory history(32);
    TrendsWindow live;
    TrendsWindow full;
    for (TrendsWindow* w : {&live, &full}) {
        w->resize(400, 600);  // a narrow plot: wide columns
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        w->show_history(&history, QStringLiteral("live"));
        w->set_span(TrendsWindow::Span::kFiveMinutes);
    }
    QApplication::processEvents();
    DeviceReadings r;
    for (int i = 0; i < 2400; ++i) {
        r.temperature[0] = (i * 37) % 1000;
        r.supply_24v = 22000 + (i * 7919) % 4000;
        history.add(kLogStart + i / 4.0, r, i % 41 != 3);
        live.refresh();
        if (i % 7 != 6) {
            continue;
        }
        // Another time window and back: every point laid out again.
        full.set_span(TrendsWindow::Span::kOneHour);
        full.set_span(TrendsWindow::Span::kFiveMinutes);
        ASSERT_EQ(live.view_from(), full.view_from()) << i;
        for (Series s : {Series::kTemperature1, Series::kSupply24V}) {
            ASSERT_EQ(live.drawn(s), full.drawn(s)) << "after poll " << i;
        }
    }
}

TEST_F(TrendsTest, LimitsOfARailShowWhileItHasValuesAndAFamilyShowsItsOwnAxes) {
    auto history = std::make_unique<ReadingHistory>();
    DeviceReadings r;
    r.supply_24v = 24000;
    for (int i = 0; i < 20; ++i) {
        history->add(kLogStart + i, r, true);
    }
    TrendsWindow trends;
    trends.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trends));
    trends.take_history(std::move(history), QStringLiteral("350"));
    const QString rail = QString::fromLatin1(kSupplyRails[0].label);
    QLineSeries* line = named_series(trends, rail);
    QLineSeries* low = named_series(trends, rail + QStringLiteral(" low limit"));
    ASSERT_NE(line, nullptr);
    ASSERT_NE(low, nullptr);
    QChart* chart = line->chart();
    QLegendMarker* marker = chart->legend()->markers(line).front();
    EXPECT_TRUE(low->isVisible());
    EXPECT_EQ(low->pen().widthF(), 1.0) << "in its limits";
    EXPECT_TRUE(trends.cursor_text(kLogStart + 5.0)
                    .contains(rail + QStringLiteral(": 24 V (lamp limits 22.0..35.0 V)")))
        << trends.cursor_text(kLogStart + 5.0).toStdString();
    EXPECT_TRUE(named_series(trends, QString::fromLatin1(kSupplyRails[1].label) +
                                         QStringLiteral(" low limit"))
                    ->isVisible())
        << "+12 V reads 0 V: out of its limits";

    // Family 350 has no lock or quality: their axis and entries are gone.
    QLineSeries* lock = named_series(trends, QString::fromLatin1(kReceiverName));
    ASSERT_NE(lock, nullptr);
    scroll_into_sight(trends, lock->chart());
    const auto right_axis = [lock] { return lock->attachedAxes().back(); };
    QLegendMarker* lock_entry = lock->chart()->legend()->markers(lock).front();
    ASSERT_TRUE(QTest::qWaitFor([marker] { return marker->isVisible(); }));
    EXPECT_FALSE(right_axis()->isVisible());
    EXPECT_FALSE(lock_entry->isVisible());
    r.family_rate_mbps = kFamily1000;
    r.receiver_lock = ReceiverLock::kLocked;
    auto history1000 = std::make_unique<ReadingHistory>();
    history1000->add(kLogStart, r, true);
    trends.take_history(std::move(history1000), QStringLiteral("1000"));
    EXPECT_TRUE(right_axis()->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([lock_entry] { return lock_entry->isVisible(); }));
}

TEST_F(TrendsTest, FineWheelStepsZoomByTheirFraction) {
    TrendsWindow trends;
    show_test_log(trends);
    QWidget* plot = trends.charts_widget()->findChildren<QChartView*>().front()->viewport();
    const QPointF middle(plot->width() / 2.0, plot->height() / 2.0);
    const struct {
        int delta;
        double factor;
    } cases[] = {{120, 0.8}, {15, std::pow(0.8, 0.125)}, {60, std::sqrt(0.8)}, {-120, 1.25}};
    for (const auto& c : cases) {
        const double before = trends.view_to() - trends.view_from();
        QWheelEvent wheel(middle, plot->mapToGlobal(middle), QPoint(), QPoint(0, c.delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
        EXPECT_NEAR((trends.view_to() - trends.view_from()) / before, c.factor, 1e-6) << c.delta;
    }
}

TEST_F(TrendsTest, ALogIsReadOffTheWindowsThreadAndCancelKeepsWhatWasShown) {
    TrendsWindow trends;
    show_test_log(trends);
    const auto shown = trends.drawn(Series::kTemperature1);
    const QString title = trends.windowTitle();

    // Cancel, at once: nothing of the other log is shown, ever.
    const std::string other = path("other.log");
    write_test_log(other);
    ASSERT_TRUE(trends.start_log_load(QString::fromStdString(other)));
    EXPECT_TRUE(trends.loading()) << "start_log_load returns while the thread reads";
    auto* progress = trends.findChild<QProgressDialog*>(QStringLiteral("log_progress"));
    ASSERT_NE(progress, nullptr);
    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_FALSE(trends.loading());
    QCoreApplication::processEvents();
    EXPECT_EQ(trends.drawn(Series::kTemperature1), shown);
    EXPECT_EQ(trends.windowTitle(), title);

    // Left to finish, the load is shown once it has been read.
    ASSERT_TRUE(trends.start_log_load(QString::fromStdString(other)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !trends.loading(); }));
    EXPECT_TRUE(trends.windowTitle().endsWith(QStringLiteral("other.log")));
    EXPECT_EQ(trends.last_load().totals.records, 30u);
}

}  // namespace
