// The trends window: opened from the console's menus and Ctrl+T, following
// live polls, saved as PNG, and showing a log written by the console.
#include "ui/trends_window.h"

#include <QAction>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <ctime>

#include "monitor/measurement_log.h"
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
    window_->set_text(ControlId::kIntervalField, "3600000");
    click(ControlId::kStartButton);
    for (int i = 0; i < 5; ++i) {
        window_->monitor().on_timer(kPollTimerId);
    }
    EXPECT_EQ(window_->history().polls(), 6u) << "Start's poll and five ticks";
    const std::vector<double> shown = values(trends->drawn(Series::kTemperature1));
    ASSERT_FALSE(shown.empty());
    EXPECT_NEAR(*std::max_element(shown.begin(), shown.end()), readings_.temperature[0] / 100.0,
                0.01);

    sim_.stop();
    window_->monitor().on_timer(kPollTimerId);
    EXPECT_EQ(window_->history().polls(), 7u) << "a poll without answer counts too";
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

TEST_F(TrendsTest, ShowsTheRecordedPointsOfALogWithItsGap) {
    const std::string log = path("run.log");
    DeviceReadings r;
    ASSERT_EQ(write_log_header(log, r), LogWrite::kWritten);
    const std::time_t start = 1700000000;
    // Ten answered polls, ten without answer, ten answered.
    for (int i = 0; i < 30; ++i) {
        r.temperature[0] = 2000 + 10 * i;
        const bool answered = i < 10 || i >= 20;
        ASSERT_EQ(write_log_line(log, r, answered, start + i), LogWrite::kWritten);
    }
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

}  // namespace
