#include "window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <chrono>

namespace {

constexpr int kSettleMs = 5000;

}  // namespace

void WindowTest::SetUp() {
    // Fixed values, so that panes can be compared with the readings.
    sim_.freeze_time(100.0);
    ASSERT_TRUE(sim_.start());
}

void WindowTest::TearDown() {
    window_.reset();
    sim_.stop();
}

CTarvikDlg& WindowTest::open_window(SettingsStore* settings) {
    window_ = std::make_unique<CTarvikDlg>(readings_);
    if (record_messages_) {
        window_->set_message_box_hook(
            [this](const std::string& text) { messages_.push_back(text); });
    }
    window_->set_tray_check([this] { return tray_available_; });
    window_->monitor().set_default_port(sim_.port());
    // The real two-second wait is the link's own test; here a silence need
    // only outlast a loopback answer.
    window_->monitor().link().answer_wait = std::chrono::milliseconds(500);
    window_->initialise(settings);
    window_->show();
    return *window_;
}

void WindowTest::point_at_simulator() {
    window_->set_text(ControlId::kAddressBox, "127.0.0.1");
}

void WindowTest::activate() {
    window_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
}

void WindowTest::click(ControlId id) {
    QTest::mouseClick(widget(id), Qt::LeftButton);
    settle();
}

void WindowTest::settle() {
    // The loop itself, not qWaitFor, whose sleeps between looks would hold
    // every answer back.
    QElapsedTimer waited;
    waited.start();
    while (window_->monitor().busy() && waited.elapsed() < kSettleMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, kSettleMs);
    }
    EXPECT_FALSE(window_->monitor().busy());
}

void WindowTest::press_key(QWidget* target, int key) {
    QTest::keyClick(target, static_cast<Qt::Key>(key));
}
