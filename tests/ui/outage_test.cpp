// The window while the device does not answer: its event loop goes on
// during the answer wait, Stop ends the wait at once, and an outage after a
// lamp alarm is drawn as one (old panes greyed, the lamp not known now, the
// status line).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "ui/about_dlg.h"
#include "ui/stop_signals.h"
#include "window_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

class OutageTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        open_window();
        point_at_simulator();
        set_text(ControlId::kIntervalField, "3600000");  // the test ticks
    }
    void tick() {
        window_->monitor().on_timer(kPollTimerId);
        settle();
    }
    QColor text_colour(ControlId pane) {
        return widget(pane)->palette().color(QPalette::Active, QPalette::Text);
    }
    // The share of the lamp's pixels in `colour`.
    double share_in(ControlId lamp, QRgb colour) {
        const QImage drawn = widget(lamp)->grab().toImage();
        int count = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                count += (drawn.pixel(x, y) & 0xFFFFFF) == colour ? 1 : 0;
            }
        }
        return static_cast<double>(count) / (drawn.width() * drawn.height());
    }
};

// Events posted to the window from another thread every 20 ms while Start
// waits on a silent device are handled at once (the median within 50 ms;
// a waiting window would hold them for hundreds). Then Stop, posted
// the same way, ends the wait within 100 ms.
TEST_F(OutageTest, TheWindowAnswersWhileAnExchangeWaitsAndStopEndsTheWait) {
    step_silences_ = false;
    window_->monitor().link().answer_wait = std::chrono::seconds(2);
    sim_.set_silent(true);
    std::vector<double> delays_ms;
    Clock::time_point stop_posted;
    std::thread poster([&] {
        for (int i = 0; i < 40; ++i) {
            const Clock::time_point posted = Clock::now();
            QMetaObject::invokeMethod(
                window_.get(),
                [&delays_ms, posted] {
                    delays_ms.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop_posted = Clock::now();
        QMetaObject::invokeMethod(
            window_.get(), [this] { widget_as<QPushButton>(ControlId::kStopButton)->click(); },
            Qt::QueuedConnection);
    });
    const Clock::time_point begun = Clock::now();
    click(ControlId::kStartButton);
    const Clock::time_point ended = Clock::now();
    poster.join();
    ASSERT_GE(delays_ms.size(), 30u);
    // The median: a machine busy with other tests holds up some events (a
    // tenth of them took 100 ms under a load of 15), a window that waits
    // holds up them all.
    std::sort(delays_ms.begin(), delays_ms.end());
    std::printf("event delays while the wait runs: median %.1f ms, 90%% %.1f ms, max %.1f ms\n",
                delays_ms[delays_ms.size() / 2], delays_ms[delays_ms.size() * 9 / 10],
                delays_ms.back());
    EXPECT_LT(delays_ms[delays_ms.size() / 2], 50.0);
    EXPECT_LT(ended - stop_posted, std::chrono::milliseconds(100));
    EXPECT_LT(ended - begun, std::chrono::milliseconds(2000)) << "the wait was cut short";
    EXPECT_FALSE(window_->monitor().polling()) << "Stop ran after Start";
    EXPECT_EQ(window_->status_line()->text().toStdString(), "Stopped");
}

// Esc while Start waits on a silent device, with the stop-signal watcher
// installed as main() installs it: the window and its wait end within
// 100 ms, and nothing is logged once the window has closed.
TEST_F(OutageTest, EscDuringAWaitClosesAtOnceAndNothingIsLoggedAfter) {
    const QTemporaryDir folder;
    const std::string log = folder.filePath(QStringLiteral("run.log")).toStdString();
    const auto log_text = [&log] {
        std::ifstream in(log, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    };
    set_checked(ControlId::kLogCheckBox, true);
    set_text(ControlId::kLogFileField, log);
    const StopSignalWatcher stop_signals(*window_);
    window_->monitor().link().answer_wait = std::chrono::milliseconds(300);
    sim_.set_silent(true);
    QTest::mouseClick(widget(ControlId::kStartButton), Qt::LeftButton);
    ASSERT_TRUE(window_->monitor().waiting());
    const std::string written = log_text();
    const Clock::time_point pressed = Clock::now();
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return !window_->monitor().waiting() && !window_->isVisible(); }, 100));
    EXPECT_LT(Clock::now() - pressed, std::chrono::milliseconds(100));
    // The wait's deadline and the next tick's time pass.
    sim_.set_silent(false);
    QTest::qWait(400);
    EXPECT_EQ(log_text(), written);
    EXPECT_FALSE(window_->monitor().busy());
}

TEST_F(OutageTest, AnOutageAfterALampAlarmIsDrawnAsOne) {
    const ControlId kept[] = {ControlId::kRxPane, ControlId::kStatisticPane, ControlId::kLinkPane};
    sim_.set_rail(SupplyRail::k12V, 14500);
    click(ControlId::kStartButton);
    sim_.clear_rails();
    const QColor live = text_colour(ControlId::kTemperaturePane);
    std::vector<std::string> answered;
    for (ControlId pane : kept) {
        answered.push_back(text(pane));
        EXPECT_EQ(text_colour(pane), live);
    }
    EXPECT_GT(share_in(ControlId::kVoltageLamp2, 0xFF0000), 0.5);
    const std::string status = window_->status_line()->text().toStdString();
    EXPECT_EQ(status.rfind("Polling 127.0.0.1 every 3600000 ms", 0), 0u) << status;

    sim_.set_silent(true);
    tick();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(text(kept[i]), answered[i]) << "the text stays";
        EXPECT_NE(text_colour(kept[i]), live) << "drawn as old";
    }
    EXPECT_EQ(text_colour(ControlId::kTemperaturePane), live);
    auto* lamp = widget_as<QCheckBox>(ControlId::kVoltageLamp2);
    EXPECT_FALSE(lamp->isChecked());
    EXPECT_GT(share_in(ControlId::kVoltageLamp2, kNotKnownLampColour), 0.5);
    EXPECT_EQ(share_in(ControlId::kVoltageLamp2, 0xFF0000), 0.0);
    const std::string tip = lamp->toolTip().toStdString();
    EXPECT_NE(tip.find("not known now"), std::string::npos) << tip;
    EXPECT_EQ(tip.find("lit"), std::string::npos) << tip;
    const std::string outage = window_->status_line()->text().toStdString();
    EXPECT_EQ(outage.rfind("No answer from 127.0.0.1 since ", 0), 0u) << outage;
    EXPECT_EQ(outage.substr(outage.size() - 9), " (1 poll)") << outage;

    sim_.set_silent(false);
    tick();
    for (ControlId pane : kept) {
        EXPECT_EQ(text_colour(pane), live);
    }
    EXPECT_TRUE(lamp->isChecked()) << "the latch shows again";
    EXPECT_GT(share_in(ControlId::kVoltageLamp2, 0xFF0000), 0.5);
}

}  // namespace

// About chosen while an exchange waits opens at once without a loop of its
// own: the wait ends and the box is still open after it.
TEST_F(OutageTest, AboutChosenDuringAWaitDoesNotHoldTheWait) {
    sim_.set_silent(true);
    QTest::mouseClick(widget(ControlId::kStartButton), Qt::LeftButton);
    ASSERT_TRUE(window_->monitor().waiting());
    // A box run by a loop of its own would hold the trigger until this
    // closes it.
    QTimer::singleShot(5000, window_.get(), [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
        }
    });
    window_->about_action()->trigger();
    settle();
    auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr) << "the box held the wait";
    box->accept();
}
