// The window driven as the operator drives it, against the simulated
// transceiver: Start fills the panes and keeps polling on the timer, the
// lamps latch, the check boxes follow the device and Set writes them, Get
// and Send KEY, and a silent device.
#include <QCheckBox>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <functional>

#include "device/panes.h"
#include "ui/dialog_builder.h"
#include "window_fixture.h"
#include "window_texts.h"

namespace {

class PollingTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        open_window();
        point_at_simulator();
    }
    QTimer* poll_timer() { return window_->findChild<QTimer*>(QStringLiteral("poll_timer")); }
    // A long interval: the test delivers the ticks itself.
    void start_without_ticks() {
        set_text(ControlId::kIntervalField, "3600000");
        click(ControlId::kStartButton);
    }
    void tick() {
        window_->monitor().on_timer(kPollTimerId);
        settle();
    }
};

TEST_F(PollingTest, StartFillsEveryPaneFromTheDeviceAndStopEndsPolling) {
    start_without_ticks();
    EXPECT_TRUE(messages_.empty());
    for (const ReadingPane& pane : kReadingPanes) {
        SCOPED_TRACE(pane.title);
        EXPECT_NE(pane.text(readings_), kNoConnection);
        EXPECT_EQ(text(pane.id), pane.text(readings_));
    }
    // The readings are the device's: 20.00 degrees and up, not zero.
    EXPECT_NE(readings_.temperature[0], 0);
    EXPECT_FALSE(widget(ControlId::kLogCheckBox)->isEnabled());
    EXPECT_FALSE(widget(ControlId::kLogFileField)->isEnabled());
    EXPECT_TRUE(poll_timer()->isActive());
    EXPECT_EQ(poll_timer()->interval(), 3600000);

    click(ControlId::kStopButton);
    EXPECT_FALSE(poll_timer()->isActive());
    EXPECT_TRUE(widget(ControlId::kLogCheckBox)->isEnabled());
    EXPECT_TRUE(widget(ControlId::kLogFileField)->isEnabled());
}

// An unlit lamp's tip: its rail and limits, as the monitor words it.
std::string clear_tip(ControlId lamp) {
    for (int rail = 0; rail < kVoltageAlarmCount; ++rail) {
        if (kVoltageLamps[rail] == lamp) {
            return lamp_tip(LampState::kClear, rail);
        }
    }
    return "(not a lamp)";
}

TEST_F(PollingTest, LampLightsForTheRailOutOfLimitsAndStaysLitUntilReset) {
    const struct {
        SupplyRail rail;
        int32_t millivolts;
        ControlId lamp;
        const char* tip;  // while lit
    } cases[] = {
        {SupplyRail::k24V, 36000, ControlId::kVoltageLamp1,
         "U +24V went outside 22.0..35.0 V; lit until Reset"},
        {SupplyRail::k12V, 9000, ControlId::kVoltageLamp2,
         "U +12V went outside 10.0..14.0 V; lit until Reset"},
        {SupplyRail::k9V, 11500, ControlId::kVoltageLamp3,
         "U +9V went outside 8.0..11.0 V; lit until Reset"},
        {SupplyRail::kMinus12V, 7000, ControlId::kVoltageLamp4,
         "U -12V went outside -14.0..-8.0 V; lit until Reset"},
        {SupplyRail::k5V, 6500, ControlId::kVoltageLamp5,
         "U +5V went outside 4.0..6.0 V; lit until Reset"},
        {SupplyRail::k3V3, 2000, ControlId::kVoltageLamp6,
         "U +3.3V went outside 2.5..4.0 V; lit until Reset"},
    };
    // Drawn red with the rail's tip while lit; as the dialog made it after.
    const auto expect_drawn = [this](ControlId lamp, const char* tip) {
        auto* box = widget_as<QCheckBox>(lamp);
        const QImage drawn = box->grab().toImage();
        int red = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                const QRgb pixel = drawn.pixel(x, y);
                red += qRed(pixel) > 200 && qGreen(pixel) < 80 && qBlue(pixel) < 80 ? 1 : 0;
            }
        }
        // Lit: most of it red. Unlit: none.
        EXPECT_EQ(red * 2 > drawn.width() * drawn.height(), tip != nullptr) << red;
        EXPECT_EQ(red == 0, tip == nullptr) << red;
        EXPECT_EQ(box->toolTip().toStdString(), tip == nullptr ? clear_tip(lamp) : tip);
    };
    for (ControlId lamp : kVoltageLamps) {
        expect_drawn(lamp, nullptr);  // before any poll too
    }
    start_without_ticks();
    for (ControlId lamp : kVoltageLamps) {
        EXPECT_EQ(checked(lamp), 0);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.lamp));
        sim_.set_rail(c.rail, c.millivolts);
        tick();
        for (ControlId lamp : kVoltageLamps) {
            EXPECT_EQ(checked(lamp), lamp == c.lamp ? 1 : 0);
            expect_drawn(lamp, lamp == c.lamp ? c.tip : nullptr);
        }
        sim_.clear_rails();
        tick();
        EXPECT_EQ(checked(c.lamp), 1) << "latched";
        click(ControlId::kResetButton);
        EXPECT_EQ(checked(c.lamp), 0);
        expect_drawn(c.lamp, nullptr);
    }
}

TEST_F(PollingTest, SetWritesTheCheckBoxesAndPollsShowTheDevicesSwitches) {
    const struct {
        bool radio;
        bool heater;
    } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    start_without_ticks();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.radio) + std::to_string(c.heater));
        set_checked(ControlId::kRadioCheckBox, c.radio);
        set_checked(ControlId::kHeaterCheckBox, c.heater);
        click(ControlId::kSetButton);
        EXPECT_EQ(sim_.switch_state(kRadioSwitch), c.radio ? 1 : 0);
        EXPECT_EQ(sim_.switch_state(kHeaterSwitch), c.heater ? 1 : 0);

        // What the operator ticks is replaced by what the device reports.
        set_checked(ControlId::kRadioCheckBox, !c.radio);
        set_checked(ControlId::kHeaterCheckBox, !c.heater);
        tick();
        EXPECT_EQ(checked(ControlId::kRadioCheckBox), c.radio ? 1 : 0);
        EXPECT_EQ(checked(ControlId::kHeaterCheckBox), c.heater ? 1 : 0);
    }
}

TEST_F(PollingTest, GetFillsTheIdentificationPaneAndSendKeyWritesTheKey) {
    QTest::keyClicks(widget(ControlId::kKeyField), QString(120, QLatin1Char('k')));
    EXPECT_EQ(text(ControlId::kKeyField), std::string(99, 'k')) << "the field takes 99";
    set_text(ControlId::kKeyField, "");
    QTest::keyClicks(widget(ControlId::kKeyField), "K-7310");
    click(ControlId::kSendKeyButton);
    EXPECT_EQ(sim_.key(), "K-7310");

    click(ControlId::kGetButton);
    const std::string pane = text(ControlId::kIdentificationPane);
    EXPECT_EQ(pane, identification_pane_text(readings_));
    size_t lines = 0;
    for (size_t at = 0; (at = pane.find("\r\n", at)) != std::string::npos; at += 2) {
        ++lines;
    }
    EXPECT_EQ(lines, 8u);
    EXPECT_NE(pane.find("K-7310"), std::string::npos);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(PollingTest, SilentDeviceShowsNoConnection) {
    start_without_ticks();
    ASSERT_NE(text(ControlId::kTemperaturePane), kNoConnection);
    set_checked(ControlId::kRadioCheckBox, true);
    sim_.set_silent(true);
    tick();  // one wait of the exchange
    EXPECT_EQ(text(ControlId::kTemperaturePane), kNoConnection);
    EXPECT_EQ(text(ControlId::kVoltagePane), kNoConnection);
    EXPECT_EQ(checked(ControlId::kRadioCheckBox), 1) << "the box keeps its state";
    EXPECT_TRUE(messages_.empty()) << "a failed poll raises no message box";
}

TEST_F(PollingTest, AnAlarmShowsInTheTrayIconAndItsTipUntilItEnds) {
    start_without_ticks();
    const auto shown = [&] { return window_->tray_icon()->icon().pixmap(16).toImage(); };
    const QImage calm = shown();
    const QImage alarm = load_tray_alarm_icon().pixmap(16).toImage();
    ASSERT_NE(calm, alarm);
    const std::string rail = window_texts::kTrayTipRail12VHigh;
    const struct {
        const char* what;
        std::function<void()> act;
        bool alarm;
        std::string tip;
    } steps[] = {
        {"a rail out of range",
         [&] {
             sim_.set_rail(SupplyRail::k12V, window_texts::kRail12VHighMillivolts);
             tick();
         },
         true, rail},
        {"back in range, the lamp still lit",
         [&] {
             sim_.clear_rails();
             tick();
         },
         true, rail},
        {"reset", [&] { click(ControlId::kResetButton); }, false, window_texts::kTrayTip},
        {"no answer",
         [&] {
             sim_.set_silent(true);
             tick();
         },
         true, window_texts::kTrayTipNoAnswer},
        {"answered again",
         [&] {
             sim_.set_silent(false);
             tick();
         },
         false, window_texts::kTrayTip},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(shown() == alarm, step.alarm);
        EXPECT_EQ(window_->tray_icon()->toolTip().toStdString(), step.tip);
    }
}

}  // namespace
