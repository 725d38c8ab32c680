// The monitor driven as an operator drives the window, against the simulated
// transceiver on loopback.
#include "monitor/device_monitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "answer_support.h"
#include "device/panes.h"
#include "fake_window.h"
#include "loopback_peer.h"
#include "sim/simulated_transceiver.h"
#include "test_names.h"

// The family by its rate; ADL finds this beside the simulator's enum.
void PrintTo(DeviceFamily family, std::ostream* out) {
    *out << "family " << static_cast<int>(family);
}

namespace {

using Clock = std::chrono::steady_clock;

class FakeSettings : public SettingsStore {
public:
    std::string read(const std::string& section, const std::string& key) override {
        return values[section + "/" + key];
    }
    bool write(const std::string& section, const std::string& key,
               const std::string& value) override {
        if (!trouble.empty()) {
            return false;
        }
        values[section + "/" + key] = value;
        return true;
    }
    bool remove(const std::string& section, const std::string& key) override {
        values.erase(section + "/" + key);
        return trouble.empty();
    }
    std::string error() const override { return trouble; }
    std::string notice() const override { return found; }
    std::map<std::string, std::string> values;
    std::string trouble;  // every write fails with this reason
    std::string found;
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<std::string> lines_of(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(bytes.substr(start, end - start));
    }
    EXPECT_EQ(start, bytes.size()) << "every line ends in CR LF";
    return lines;
}

size_t columns(const std::string& line) {
    size_t n = 1;
    for (char c : line) {
        n += c == '\t';
    }
    return n;
}

class MonitorTest : public testing::TestWithParam<DeviceFamily> {
protected:
    void SetUp() override {
        SimulatorOptions options;
        options.family = GetParam();
        sim_ = std::make_unique<SimulatedTransceiver>(options);
        sim_->freeze_time(100.0);
        ASSERT_TRUE(sim_->start());
        monitor_.set_default_port(sim_->port());
        // The real two-second wait is the link's own test; here a silence
        // need only outlast a loopback answer.
        monitor_.link().answer_wait = std::chrono::milliseconds(500);
        window_.attach(monitor_);
        // A silence is not waited out: the host's clock steps to the deadline.
        window_.set_silence([this] { return sim_->faults().silent; });
        monitor_.initialise(&settings_);
        window_.set_text(ControlId::kAddressBox, "127.0.0.1");
        // One file per test: ctest runs the cases of a family side by side.
        const std::string name =
            case_name(testing::UnitTest::GetInstance()->current_test_info()->name());
        log_path_ = testing::TempDir() + "tarvik-monitor-" + name + ".log";
        std::remove(log_path_.c_str());
    }
    void TearDown() override { std::remove(log_path_.c_str()); }

    bool family_1000() const { return GetParam() == DeviceFamily::k1000; }
    std::string text(ControlId id) { return window_.get_text(id); }

    std::unique_ptr<SimulatedTransceiver> sim_;
    FakeWindow window_;
    FakeSettings settings_;
    DeviceReadings readings_;
    DeviceMonitor monitor_{window_, readings_};
    std::string log_path_;
};

INSTANTIATE_TEST_SUITE_P(Families, MonitorTest,
                         testing::Values(DeviceFamily::k350, DeviceFamily::k1000),
                         [](const auto& info) {
                             return "Family" + std::to_string(static_cast<int>(info.param));
                         });

TEST_P(MonitorTest, InitialisationFillsTheFieldsAndOpensTheLink) {
    EXPECT_EQ(text(ControlId::kCommunityField), "quolen");
    EXPECT_EQ(text(ControlId::kIntervalField), "1000");
    EXPECT_FALSE(monitor_.polling());
    EXPECT_NE(monitor_.link().socket_handle, kNoSocket);
    EXPECT_EQ(ntohs(monitor_.link().agent_address.v4.sin_port), sim_->port())
        << "the start-up address is on the configured port";
    EXPECT_TRUE(window_.message_boxes.empty());
}

// A command line's log file checks "Log to file" and names it; the fields
// it leaves empty stay as they are.
TEST_P(MonitorTest, ACommandLineLogFileChecksLogToFile) {
    monitor_.fill_fields("", "", "", "run.log");
    EXPECT_EQ(window_.get_check(ControlId::kLogCheckBox), 1);
    EXPECT_EQ(window_.get_text(ControlId::kLogFileField), "run.log");
    EXPECT_EQ(window_.get_text(ControlId::kIntervalField), "1000");
}

TEST_P(MonitorTest, StartReadsTheDeviceAndFillsEveryPane) {
    window_.press(&DeviceMonitor::on_start);
    ASSERT_TRUE(monitor_.polling());
    EXPECT_TRUE(window_.timer_running());
    EXPECT_EQ(window_.timer_period(), 1000);
    EXPECT_FALSE(window_.is_enabled(ControlId::kLogCheckBox));
    EXPECT_FALSE(window_.is_enabled(ControlId::kLogFileField));
    EXPECT_EQ(readings_.family_rate_mbps, static_cast<int32_t>(GetParam()))
        << "Start's identification read recognises the family";

    // What the panes show is what the device reported.
    DeviceModel reference(GetParam());
    reference.advance_to(100.0);
    EXPECT_EQ(readings_.temperature[0], reference.value(DeviceObject::kTemperature1).number);
    EXPECT_EQ(readings_.supply_24v, reference.value(DeviceObject::kSupply24V).number);
    EXPECT_EQ(readings_.total_current, reference.value(DeviceObject::kTotalCurrent).number / 10);
    EXPECT_EQ(readings_.up_link_mbps, reference.value(DeviceObject::kUplinkMbps).number);
    EXPECT_EQ(text(ControlId::kTemperaturePane), temperature_pane_text(readings_));
    EXPECT_EQ(text(ControlId::kVoltagePane), voltage_pane_text(readings_));
    EXPECT_EQ(text(ControlId::kStatisticPane), statistic_pane_text(readings_));
    EXPECT_EQ(text(ControlId::kLinkPane), link_pane_text(readings_));
    EXPECT_EQ(
        text(ControlId::kRxPane).rfind(family_1000() ? "Receiver \t= Lock" : "MSE dB \t= ", 0), 0u)
        << text(ControlId::kRxPane);
    EXPECT_EQ(window_.get_check(ControlId::kRadioCheckBox), sim_->switch_state(0));
    EXPECT_TRUE(window_.text_history(ControlId::kIdentificationPane).empty())
        << "Start does not write the identification pane";
    ASSERT_EQ(monitor_.view().identification.size(), 8u) << "but the view has what it read";
    EXPECT_EQ(monitor_.view().identification[1], family_1000() ? "RL-VXL-1000" : "RL-KTR-350");
    EXPECT_TRUE(window_.message_boxes.empty());
}

TEST_P(MonitorTest, SilentDeviceShowsNoConnectionAfterOneWait) {
    window_.press(&DeviceMonitor::on_start);
    const std::string rx = text(ControlId::kRxPane);
    const std::string link = text(ControlId::kLinkPane);
    window_.set_check(ControlId::kRadioCheckBox, 1);  // as the device or the operator left them
    window_.set_check(ControlId::kHeaterCheckBox, 0);
    sim_->set_silent(true);
    const uint64_t before = sim_->requests_received();
    // One wait of two seconds from the send, by the host's clock.
    monitor_.link().answer_wait = std::chrono::seconds(2);
    monitor_.on_timer(kPollTimerId);
    EXPECT_EQ(window_.wait_ms(), 2000);
    window_.advance(std::chrono::milliseconds(1950));
    EXPECT_TRUE(window_.awaiting_answer());
    window_.advance(std::chrono::milliseconds(51));
    EXPECT_FALSE(window_.awaiting_answer()) << "the first run without an answer ends the poll";
    EXPECT_FALSE(monitor_.busy());
    EXPECT_TRUE(sim_->wait_for_requests(before + 1, std::chrono::milliseconds(100)));
    EXPECT_EQ(sim_->requests_received(), before + 1);
    EXPECT_EQ(text(ControlId::kTemperaturePane), "NO CONNECTION");
    EXPECT_EQ(text(ControlId::kVoltagePane), "NO CONNECTION");
    EXPECT_EQ(text(ControlId::kRxPane), rx);
    EXPECT_EQ(text(ControlId::kLinkPane), link);
    EXPECT_EQ(window_.get_check(ControlId::kRadioCheckBox), 1) << "no guess for a Set to write";
    EXPECT_EQ(window_.get_check(ControlId::kHeaterCheckBox), 0);
    EXPECT_EQ(window_.get_check(ControlId::kVoltageLamp3), 0);
    EXPECT_TRUE(window_.message_boxes.empty());
}

TEST_P(MonitorTest, TotalsCountOneTimerPeriodPerAnsweredPoll) {
    const struct {
        const char* interval;
        double seconds;  // the timer's period
    } cases[] = {{"10", 0.01}, {"300", 0.3}, {"1000", 1.0}, {"2500", 2.5}, {"3", 0.01}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        window_.set_text(ControlId::kIntervalField, c.interval);
        window_.press(&DeviceMonitor::on_reset);
        window_.press(&DeviceMonitor::on_start);
        const double rate = readings_.radio_to_phy_rate;
        ASSERT_GT(rate, 0);
        double expected = 0 + rate * c.seconds;
        EXPECT_DOUBLE_EQ(readings_.radio_to_phy_total, expected);
        window_.tick();
        expected += rate * c.seconds;
        EXPECT_DOUBLE_EQ(readings_.radio_to_phy_total, expected);
        EXPECT_DOUBLE_EQ(readings_.phy_to_radio_total,
                         2 * (readings_.phy_to_radio_rate * c.seconds));
        sim_->set_error_status(kErrorGeneral);  // a poll without readings counts nothing
        window_.tick();
        sim_->set_error_status(kErrorNone);
        EXPECT_DOUBLE_EQ(readings_.radio_to_phy_total, expected);
        EXPECT_DOUBLE_EQ(readings_.packet_error_ratio,
                         readings_.fec_fail_since_reset / (readings_.radio_to_phy_total + 1.0));
    }
}

TEST_P(MonitorTest, CancelledExchangesLeaveNoTrace) {
    window_.set_check(ControlId::kLogCheckBox, 1);
    window_.set_text(ControlId::kLogFileField, log_path_);
    window_.press(&DeviceMonitor::on_start);
    const std::string log = read_file(log_path_);
    const double total = readings_.radio_to_phy_total;
    std::atomic<bool> cancel{true};
    monitor_.link().cancel = &cancel;
    const uint64_t before = sim_->requests_received();
    window_.tick();
    EXPECT_EQ(sim_->requests_received(), before);
    EXPECT_NE(text(ControlId::kTemperaturePane), "NO CONNECTION");
    EXPECT_EQ(read_file(log_path_), log);
    EXPECT_EQ(readings_.radio_to_phy_total, total);
    window_.press(&DeviceMonitor::on_set);
    window_.press(&DeviceMonitor::on_send_key);
    EXPECT_EQ(sim_->requests_received(), before);
    EXPECT_TRUE(window_.message_boxes.empty()) << "a console that is ending reports no failure";
    monitor_.link().cancel = nullptr;
}

TEST_P(MonitorTest, LampsLatchUntilReset) {
    const struct {
        SupplyRail rail;
        int32_t millivolts;
        ControlId lamp;
        int lit;
    } cases[] = {
        {SupplyRail::k24V, 35000, ControlId::kVoltageLamp1, 0},
        {SupplyRail::k24V, 22000, ControlId::kVoltageLamp1, 0},
        {SupplyRail::k24V, 35001, ControlId::kVoltageLamp1, 1},
        {SupplyRail::k24V, 21999, ControlId::kVoltageLamp1, 1},
        {SupplyRail::k12V, 9999, ControlId::kVoltageLamp2, 1},
        {SupplyRail::k9V, 11001, ControlId::kVoltageLamp3, 1},
        {SupplyRail::kMinus12V, 12000, ControlId::kVoltageLamp4, 0},
        {SupplyRail::kMinus12V, 7999, ControlId::kVoltageLamp4, 1},
        {SupplyRail::k5V, 6001, ControlId::kVoltageLamp5, 1},
        {SupplyRail::k3V3, 2499, ControlId::kVoltageLamp6, 1},
    };
    window_.press(&DeviceMonitor::on_start);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(supply_rail_name(c.rail)) + " " + std::to_string(c.millivolts));
        window_.press(&DeviceMonitor::on_reset);
        sim_->set_rail(c.rail, c.millivolts);
        window_.tick();
        EXPECT_EQ(window_.get_check(c.lamp), c.lit);
        // Back in range, the lamp stays as it was.
        sim_->clear_rails();
        window_.tick();
        EXPECT_EQ(window_.get_check(c.lamp), c.lit);
        // A poll without readings blanks the lamps; the next answered poll
        // shows the latch again.
        sim_->set_error_status(kErrorGeneral);
        window_.tick();
        EXPECT_EQ(window_.get_check(c.lamp), 0);
        sim_->set_error_status(kErrorNone);
        window_.tick();
        EXPECT_EQ(window_.get_check(c.lamp), c.lit);
        EXPECT_EQ(readings_.voltage_alarm[0] + readings_.voltage_alarm[1] +
                      readings_.voltage_alarm[2] + readings_.voltage_alarm[3] +
                      readings_.voltage_alarm[4] + readings_.voltage_alarm[5],
                  c.lit)
            << "one latch, this lamp's";
    }
    window_.press(&DeviceMonitor::on_reset);
    for (ControlId lamp : kVoltageLamps) {
        EXPECT_EQ(window_.get_check(lamp), 0);
    }
    for (int32_t latch : readings_.voltage_alarm) {
        EXPECT_EQ(latch, 0);
    }
}

TEST_P(MonitorTest, SetWritesTheSwitchesAndThePollReadsThemBack) {
    window_.press(&DeviceMonitor::on_start);
    window_.set_check(ControlId::kRadioCheckBox, 0);
    window_.set_check(ControlId::kHeaterCheckBox, 1);
    window_.press(&DeviceMonitor::on_set);
    EXPECT_EQ(sim_->switch_state(0), 0);
    EXPECT_EQ(sim_->switch_state(2), 1);
    for (int k : {1, 3, 4, 5}) {
        EXPECT_EQ(sim_->switch_state(k), 0) << "unattached slot " << k;
    }
    window_.set_check(ControlId::kRadioCheckBox, 1);  // a click not sent to the device
    window_.tick();
    EXPECT_EQ(window_.get_check(ControlId::kRadioCheckBox), 0);
    EXPECT_EQ(window_.get_check(ControlId::kHeaterCheckBox), 1);
    EXPECT_EQ(readings_.radio_to_phy_rate, 0) << "the radio is off";
}

TEST_P(MonitorTest, SetGoesOutOnlyWithSwitchesReadFromThisDevice) {
    const int32_t device[] = {1, 1, 0, 0, 1, 1};  // set again before each step
    SimulatedTransceiver other;
    ASSERT_TRUE(other.start());
    const std::string other_address = "127.0.0.1:" + std::to_string(other.port());
    const struct {
        const char* step;
        std::function<void()> before;  // then Radio on, Heater on, Set
        bool refused;
    } steps[] = {
        {"Set before anything was read", [] {}, true},
        {"Start whose poll is not answered",
         [&] {
             sim_->set_silent(true);
             window_.press(&DeviceMonitor::on_start);
             sim_->set_silent(false);
         },
         true},
        {"a poll answered", [&] { window_.tick(); }, false},
        {"another address", [&] { window_.set_text(ControlId::kAddressBox, other_address); }, true},
        {"back to the first, not read since",
         [&] { window_.set_text(ControlId::kAddressBox, "127.0.0.1"); }, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        for (int k = 0; k < kControlStateCount; ++k) {
            sim_->set_switch(k, device[k] != 0);
        }
        s.before();
        window_.message_boxes.clear();
        window_.set_check(ControlId::kRadioCheckBox, 1);
        window_.set_check(ControlId::kHeaterCheckBox, 1);
        const uint64_t requests = sim_->requests_received() + other.requests_received();
        window_.press(&DeviceMonitor::on_set);
        EXPECT_EQ(window_.message_boxes, s.refused ? std::vector<std::string>{kSetRefusedUnread}
                                                   : std::vector<std::string>{});
        if (s.refused) {
            EXPECT_EQ(sim_->requests_received() + other.requests_received(), requests)
                << "nothing is sent";
        }
        for (int k = 0; k < kControlStateCount; ++k) {
            const int32_t heater_set = k == 2 && !s.refused ? 1 : device[k];
            EXPECT_EQ(sim_->switch_state(k), heater_set) << "switch " << k + 1;
        }
    }
}

TEST_P(MonitorTest, SetKeepsTheSwitchesWithoutABoxAsTheDeviceReported) {
    window_.press(&DeviceMonitor::on_start);
    for (int pattern = 0; pattern < 16; ++pattern) {
        const int hidden[] = {1, 3, 4, 5};
        for (int bit = 0; bit < 4; ++bit) {
            sim_->set_switch(hidden[bit], (pattern >> bit & 1) != 0);
        }
        sim_->set_switch(0, true);
        sim_->set_switch(2, pattern % 3 == 0);
        window_.tick();
        window_.press(
            &DeviceMonitor::on_get);  // empties the readings' switch states; the device's are kept
        window_.set_check(ControlId::kRadioCheckBox, 0);  // the operator's one change
        window_.press(&DeviceMonitor::on_set);
        SCOPED_TRACE(pattern);
        EXPECT_EQ(sim_->switch_state(0), 0);
        EXPECT_EQ(sim_->switch_state(2), pattern % 3 == 0 ? 1 : 0);
        for (int bit = 0; bit < 4; ++bit) {
            EXPECT_EQ(sim_->switch_state(hidden[bit]), pattern >> bit & 1) << "switch " << bit;
        }
    }
    EXPECT_TRUE(window_.message_boxes.empty());
}

bool no_such_name(const char*, int, SocketAddress*, std::string* why) {
    *why = "Name or service not known";  // the resolver's reason, passed on
    return false;
}

TEST_P(MonitorTest, RejectedOrUnansweredWritesAreShown) {
    const struct {
        const char* description;
        std::function<void(SimulatedTransceiver&)> fault;
        const char* address;
        std::vector<std::string> set_boxes;
        std::vector<std::string> key_boxes;
        bool key_taken;
    } cases[] = {
        {"accepted", [](SimulatedTransceiver&) {}, "127.0.0.1", {}, {}, true},
        {"rejected",
         [](SimulatedTransceiver& s) { s.set_error_status(kErrorReadOnly); },
         "127.0.0.1",
         {"Set failed: readOnly at binding 1"},
         {"Send KEY failed: readOnly at binding 1"},
         false},
        {"error status outside the standard",
         [](SimulatedTransceiver& s) { s.set_error_status(9); },
         "127.0.0.1",
         {"Set failed: error 9 at binding 1"},
         {"Send KEY failed: error 9 at binding 1"},
         false},
        {"undecodable answer",
         [](SimulatedTransceiver& s) { s.set_garbage(true); },
         "127.0.0.1",
         {"Mangled packet"},
         {"Mangled packet"},
         false},
        {"address that does not resolve",
         [](SimulatedTransceiver&) {},
         "no.such.device",
         {"Can't resolve hostname\nno.such.device: Name or service not known",
          "Set failed: nothing was sent: no usable agent address"},
         {"Can't resolve hostname\nno.such.device: Name or service not known",
          "Send KEY failed: nothing was sent: no usable agent address"},
         false},
    };
    set_name_lookup(no_such_name);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        sim_->clear_faults();
        window_.set_text(ControlId::kAddressBox, "127.0.0.1");
        window_.press(&DeviceMonitor::on_start);  // the switches read, for Set
        window_.press(&DeviceMonitor::on_get);
        const std::string old_key = sim_->key();
        c.fault(*sim_);
        window_.set_text(ControlId::kAddressBox, c.address);
        window_.set_text(ControlId::kKeyField, "new key");
        const uint64_t before = sim_->requests_received();
        window_.message_boxes.clear();
        window_.press(&DeviceMonitor::on_set);
        EXPECT_EQ(window_.message_boxes, c.set_boxes);
        window_.message_boxes.clear();
        window_.press(&DeviceMonitor::on_send_key);
        EXPECT_EQ(window_.message_boxes, c.key_boxes);
        EXPECT_EQ(std::string(readings_.id_text[7]), c.key_taken ? "new key" : old_key);
        if (std::string(c.address) != "127.0.0.1") {
            EXPECT_EQ(sim_->requests_received(), before) << "nothing went to the last device";
        }
    }
    set_name_lookup(nullptr);
}

TEST_P(MonitorTest, SendKeySendsLineZeroOrRefusesAKeyOver99Octets) {
    std::string umlauts;  // 60 two-octet characters
    for (int i = 0; i < 60; ++i) {
        umlauts += "\xc3\xa4";
    }
    const struct {
        std::string field;
        std::string sent;  // what the device holds afterwards
        const char* box;   // nullptr: none
    } cases[] = {
        {"abc\r\nsecond line", "abc", nullptr},
        {"", "", nullptr},
        {std::string(99, 'k'), std::string(99, 'k'), nullptr},
        {std::string(150, 'k'), std::string(99, 'k'),
         "Send KEY refused: the key is 150 octets long; at most 99 can be sent"},
        {umlauts, std::string(99, 'k'),
         "Send KEY refused: the key is 120 octets long; at most 99 can be sent"},
        {umlauts.substr(0, 98), umlauts.substr(0, 98), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field.size());
        window_.message_boxes.clear();
        window_.set_text(ControlId::kKeyField, c.field);
        const uint64_t before = sim_->requests_received();
        window_.press(&DeviceMonitor::on_send_key);
        EXPECT_EQ(sim_->key(), c.sent);
        EXPECT_EQ(std::string(readings_.id_text[7]), c.sent);
        EXPECT_EQ(window_.message_boxes,
                  c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{});
        if (c.box != nullptr) {
            EXPECT_EQ(sim_->requests_received(), before) << "nothing is sent";
        }
    }
    EXPECT_TRUE(window_.text_history(ControlId::kIdentificationPane).empty());
}

TEST_P(MonitorTest, GetShowsTheIdentificationOrEightEmptyLines) {
    window_.press(&DeviceMonitor::on_get);
    const std::string pane = text(ControlId::kIdentificationPane);
    EXPECT_NE(pane.find(family_1000() ? "RL-VXL-1000\r\n" : "RL-KTR-350\r\n"), std::string::npos)
        << pane;
    EXPECT_EQ(pane, identification_pane_text(readings_));
    sim_->set_silent(true);
    window_.press(&DeviceMonitor::on_get);
    EXPECT_EQ(text(ControlId::kIdentificationPane), "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
    EXPECT_TRUE(window_.message_boxes.empty());
}

TEST_P(MonitorTest, StopEndsPollingAndLateTicksDoNothing) {
    window_.press(&DeviceMonitor::on_start);
    window_.press(&DeviceMonitor::on_stop);
    EXPECT_FALSE(monitor_.polling());
    EXPECT_FALSE(window_.timer_running());
    EXPECT_TRUE(window_.is_enabled(ControlId::kLogCheckBox));
    EXPECT_TRUE(window_.is_enabled(ControlId::kLogFileField));
    const uint64_t before = sim_->requests_received();
    window_.tick();
    EXPECT_EQ(sim_->requests_received(), before);
}

TEST_P(MonitorTest, LogHoldsHeaderLinesAndNoConnectionInCrLf) {
    window_.set_check(ControlId::kLogCheckBox, 1);
    window_.set_text(ControlId::kLogFileField, log_path_);
    window_.press(&DeviceMonitor::on_start);
    sim_->set_silent(true);
    window_.tick();
    sim_->set_silent(false);
    window_.press(&DeviceMonitor::on_start);  // a second run into the same file
    const auto lines = lines_of(read_file(log_path_));
    const size_t width = family_1000() ? 27 : 31;
    ASSERT_EQ(lines.size(), 2 * 11 + 3u);
    EXPECT_EQ(lines[0].rfind("ID1=", 0), 0u);
    EXPECT_EQ(lines[1], family_1000() ? "ID2=RL-VXL-1000" : "ID2=RL-KTR-350");
    EXPECT_EQ(lines[8], "");
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(columns(lines[10]), width);
    EXPECT_EQ(columns(lines[11]), width);
    EXPECT_EQ(lines[12].substr(lines[12].size() - 14), "\tNO CONNECTION");
    EXPECT_EQ(columns(lines[12]), 2u);
    EXPECT_EQ(lines[13].rfind("ID1=", 0), 0u) << "the second run appends its own header";
    EXPECT_EQ(columns(lines[24]), width);
    EXPECT_EQ(window_.timer_starts(), 2);
    EXPECT_TRUE(window_.message_boxes.empty());
}

TEST_P(MonitorTest, LogThatCannotBeWrittenIsShownOnceAndPollingGoesOn) {
    window_.set_check(ControlId::kLogCheckBox, 1);
    const std::string path = testing::TempDir() + "no-such-folder/run.log";
    window_.set_text(ControlId::kLogFileField, path);
    window_.press(&DeviceMonitor::on_start);
    window_.tick();
    EXPECT_EQ(window_.message_boxes, std::vector<std::string>{"Can't open log file\n" + path +
                                                              ": No such file or directory"});
    EXPECT_TRUE(monitor_.polling());
    EXPECT_NE(text(ControlId::kTemperaturePane), "NO CONNECTION");
}

#ifndef _WIN32
// A full disk to write to is a POSIX device (/dev/full).
TEST_P(MonitorTest, LostLogLinesAreShownOncePerSpell) {
    window_.set_check(ControlId::kLogCheckBox, 1);
    const struct {
        const char* step;
        std::string path;
        bool start;  // else a tick
        size_t boxes;
    } steps[] = {
        {"header to a full disk", "/dev/full", true, 1},
        {"lines to a full disk", "/dev/full", false, 1},
        {"a line written", log_path_, false, 1},
        {"full again", "/dev/full", false, 2},
        {"still full", "/dev/full", false, 2},
        {"a new Start", "/dev/full", true, 3},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        // The field is disabled while polling; the fake lets the test swap
        // the file underneath, as a disk filling up would.
        window_.set_text(ControlId::kLogFileField, s.path);
        s.start ? window_.press(&DeviceMonitor::on_start) : window_.tick();
        EXPECT_EQ(window_.message_boxes.size(), s.boxes);
        EXPECT_TRUE(monitor_.polling());
    }
    for (const std::string& box : window_.message_boxes) {
        EXPECT_EQ(box, "Can't write log file\n/dev/full: No space left on device");
    }
}
#endif

TEST_P(MonitorTest, TickDuringAPollPollsOnceAfterItNotInsideIt) {
    window_.press(&DeviceMonitor::on_start);
    sim_->set_garbage(true);
    const uint64_t before = sim_->requests_received();
    uint64_t inside = 0;
    window_.during_message_box = [&] {
        if (inside == 0) {
            monitor_.on_timer(kPollTimerId);  // ticks that fall due meanwhile come once
            monitor_.on_timer(kPollTimerId);
            inside = sim_->requests_received();
        }
    };
    window_.tick();
    EXPECT_EQ(inside, before + 1) << "nothing was sent inside the poll";
    EXPECT_TRUE(sim_->wait_for_requests(before + 2, std::chrono::milliseconds(100)));
    EXPECT_EQ(sim_->requests_received(), before + 2) << "one poll after it";
    EXPECT_EQ(text(ControlId::kTemperaturePane), "NO CONNECTION");
}

// One undecodable answer after another: each poll fails (NO CONNECTION, a
// log line, the alarm) and polling goes on while the box stays open; the
// box is not raised again until the operator closed it.
TEST_P(MonitorTest, MangledAnswersFailThePollsWhileTheirBoxStaysOpen) {
    window_.set_check(ControlId::kLogCheckBox, 1);
    window_.set_text(ControlId::kLogFileField, log_path_);
    std::vector<std::string> alarms;
    monitor_.set_alarm_listener([&](const AlarmEvent& event) { alarms.push_back(event.text); });
    window_.press(&DeviceMonitor::on_start);
    window_.boxes_close_at_once = false;
    sim_->set_garbage(true);
    const struct {
        bool close_first;  // the operator clicks OK before the poll
        size_t boxes;
        int unanswered;
    } polls[] = {{false, 1, 1}, {false, 1, 2}, {false, 1, 3}, {true, 2, 4}};
    for (const auto& p : polls) {
        SCOPED_TRACE(p.unanswered);
        if (p.close_first) {
            window_.close_boxes();
        }
        const uint64_t before = sim_->requests_received();
        window_.tick();
        EXPECT_EQ(sim_->requests_received(), before + 1);
        EXPECT_EQ(text(ControlId::kTemperaturePane), "NO CONNECTION");
        EXPECT_EQ(monitor_.view().unanswered_polls, p.unanswered);
        EXPECT_EQ(window_.message_boxes.size(), p.boxes);
    }
    for (const std::string& box : window_.message_boxes) {
        EXPECT_EQ(box, "Mangled packet");
    }
    const auto lines = lines_of(read_file(log_path_));
    ASSERT_GE(lines.size(), 4u);
    for (size_t i = lines.size() - 4; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(lines[i].size() - 14), "\tNO CONNECTION") << i;
    }
    // One link alarm for the spell (its cause is the link's to name).
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_NE(alarms[0].find(" from 127.0.0.1"), std::string::npos) << alarms[0];
    window_.close_boxes();
}

std::string clock_text(std::time_t when) {
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&when));
    return text;
}

// A lamp alarm, then an outage, then the device again: what the panes, the
// lamps, the status line and the standing alarm say at each step.
TEST_P(MonitorTest, AnOutageReadsAsOne) {
    const std::time_t first = 1765276863;  // the clock of the first answered poll
    const std::time_t again = first + 65;  // and of the one after the outage
    std::time_t now = first;
    monitor_.set_clock([&] { return now; });
    window_.set_text(ControlId::kIntervalField, "3600000");
    const std::string family = std::to_string(static_cast<int>(GetParam()));
    const std::string polling = "Polling 127.0.0.1 every 3600000 ms \xC2\xB7 family " + family;
    const std::string rail = "U +12V 14.5 V outside 10.0..14.0 V";
    const ControlId kept[] = {ControlId::kRxPane, ControlId::kStatisticPane, ControlId::kLinkPane};
    const struct {
        const char* step;
        std::function<void()> act;
        bool stale;
        LampState lamp2;
        int unanswered;
        std::string status;
        std::string alarm;
    } steps[] = {
        {"a rail out of range",
         [&] {
             sim_->set_rail(SupplyRail::k12V, 14500);
             window_.press(&DeviceMonitor::on_start);
         },
         false, LampState::kLit, 0, polling + " \xC2\xB7 last answer " + clock_text(first), rail},
        {"silent",
         [&] {
             sim_->clear_rails();
             sim_->set_silent(true);
             now += 60;
             window_.tick();
         },
         true, LampState::kNotKnownNow, 1,
         "No answer from 127.0.0.1 since " + clock_text(first) + " (1 poll)",
         "no answer from 127.0.0.1"},
        {"still silent", [&] { window_.tick(); }, true, LampState::kNotKnownNow, 2,
         "No answer from 127.0.0.1 since " + clock_text(first) + " (2 polls)",
         "no answer from 127.0.0.1"},
        {"answered again",
         [&] {
             sim_->set_silent(false);
             now = again;
             window_.tick();
         },
         false, LampState::kLit, 0,
         // The outage's seconds are counted, as unknown time.
         polling + " \xC2\xB7 last answer " + clock_text(again) +
             " \xC2\xB7 today: 0 ES \xC2\xB7 0 SES \xC2\xB7 0 UAS",
         rail},
        {"silent, then Reset",
         [&] {
             sim_->set_silent(true);
             window_.tick();
             window_.press(&DeviceMonitor::on_reset);
         },
         true, LampState::kClear, 1,
         "No answer from 127.0.0.1 since " + clock_text(again) + " (1 poll)",
         "no answer from 127.0.0.1"},
        {"Stop", [&] { window_.press(&DeviceMonitor::on_stop); }, true, LampState::kClear, 1,
         "Stopped", "no answer from 127.0.0.1"},
    };
    std::map<ControlId, std::string> answered;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        s.act();
        const ViewState& view = monitor_.view();
        for (ControlId pane : kept) {
            EXPECT_EQ(is_stale(view, pane), s.stale) << static_cast<int>(pane);
            if (s.stale) {
                EXPECT_EQ(text(pane), answered[pane]) << "the text stays";
            }
            answered[pane] = text(pane);
        }
        EXPECT_FALSE(is_stale(view, ControlId::kTemperaturePane));
        EXPECT_EQ(view.lamps[1], s.lamp2);
        EXPECT_EQ(window_.get_check(ControlId::kVoltageLamp2), s.lamp2 == LampState::kLit);
        EXPECT_EQ(view.unanswered_polls, s.unanswered);
        EXPECT_EQ(view.status, s.status);
        EXPECT_EQ(view.standing_alarm, s.alarm);
    }
}

TEST(StatusLine, SaysWhatThePollingDoes) {
    const std::time_t at = 1765276863;
    const std::string dot = " \xC2\xB7 ";
    const auto view = [](bool polling, const char* agent, int family, std::time_t last,
                         int unanswered) {
        ViewState v;
        v.polling = polling;
        v.agent = agent;
        v.period_ms = 1000;
        v.family = family;
        v.last_answer = last;
        v.unanswered_polls = unanswered;
        return v;
    };
    const struct {
        ViewState view;
        std::string text;
    } cases[] = {
        {view(false, "10.0.0.5", 350, at, 0), "Stopped"},
        {view(false, "10.0.0.5", 350, at, 3), "Stopped"},
        {view(true, "10.0.0.5", 0, 0, 0), "Polling 10.0.0.5 every 1000 ms"},
        {view(true, "10.0.0.5", 350, at, 0), "Polling 10.0.0.5 every 1000 ms" + dot + "family 350" +
                                                 dot + "last answer " + clock_text(at)},
        {view(true, "[::1]:1161", 1000, at, 0), "Polling [::1]:1161 every 1000 ms" + dot +
                                                    "family 1000" + dot + "last answer " +
                                                    clock_text(at)},
        {view(true, "", 350, at, 0), "Polling 127.0.0.1 every 1000 ms" + dot + "family 350" + dot +
                                         "last answer " + clock_text(at)},
        {view(true, "10.0.0.5", 350, at, 1),
         "No answer from 10.0.0.5 since " + clock_text(at) + " (1 poll)"},
        {view(true, "10.0.0.5", 350, at, 4),
         "No answer from 10.0.0.5 since " + clock_text(at) + " (4 polls)"},
        {view(true, "10.0.0.5", 0, 0, 2), "No answer from 10.0.0.5 (2 polls)"},
        {[&] {
             ViewState v = view(true, "10.0.0.5", 350, at, 0);
             v.quality_today.es = 3;
             v.quality_today.uas = 12;
             return v;
         }(),
         "Polling 10.0.0.5 every 1000 ms" + dot + "family 350" + dot + "last answer " +
             clock_text(at) + dot + "today: 3 ES" + dot + "0 SES" + dot + "12 UAS"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(status_text(c.view), c.text);
    }
}

TEST(LampTip, NeverSaysLitForALampThatIsNot) {
    const struct {
        LampState state;
        int rail;
        std::string tip;
    } cases[] = {
        {LampState::kLit, 1, "U +12V went outside 10.0..14.0 V; lit until Reset"},
        {LampState::kNotKnownNow, 1,
         "U +12V went outside 10.0..14.0 V earlier; not known now, shown again when the device "
         "answers"},
        {LampState::kNotKnownNow, 3,
         "U -12V went outside -14.0..-8.0 V earlier; not known now, shown again when the device "
         "answers"},
        {LampState::kClear, 1, "U +12V: lit when outside 10.0..14.0 V"},
        {LampState::kClear, 3, "U -12V: lit when outside -14.0..-8.0 V"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lamp_tip(c.state, c.rail), c.tip);
    }
}

// Commands given while an exchange waits run after it, in order; Stop ends
// the wait at once, and the poll it cut short is not shown.
TEST_P(MonitorTest, CommandsDuringAnExchangeRunAfterItAndStopEndsTheWait) {
    window_.set_text(ControlId::kIntervalField, "3600000");
    window_.press(&DeviceMonitor::on_start);
    monitor_.link().answer_wait = std::chrono::seconds(2);
    const unsigned shown = monitor_.view().polls_shown;
    sim_->set_silent(true);
    std::vector<unsigned> during;
    const auto begun = Clock::now();
    monitor_.on_timer(kPollTimerId);
    ASSERT_TRUE(window_.awaiting_answer()) << "the poll's request is out";
    monitor_.command(window_.input(), &DeviceMonitor::on_start);
    during.push_back(monitor_.view().polls_shown);
    sim_->set_silent(false);
    monitor_.command(window_.input(), &DeviceMonitor::on_stop);
    window_.settle();
    const auto took = Clock::now() - begun;
    EXPECT_EQ(during, std::vector<unsigned>{shown}) << "nothing ran inside the wait";
    EXPECT_LT(took, std::chrono::milliseconds(500)) << "Stop ended the two-second wait";
    EXPECT_EQ(monitor_.view().polls_shown, shown + 1) << "only Start's own poll was shown";
    EXPECT_TRUE(monitor_.view().last_poll_answered);
    EXPECT_FALSE(monitor_.polling()) << "Stop ran after Start";
    EXPECT_FALSE(window_.timer_running());
    EXPECT_TRUE(window_.message_boxes.empty());
}

// Stop while a poll waits and a tick is queued behind it: polling ends at
// once, nothing more is sent, shown or logged.
TEST_P(MonitorTest, StopEndsAWaitingPollAtOnceAndDropsTheTickQueuedBehindIt) {
    window_.set_check(ControlId::kLogCheckBox, 1);
    window_.set_text(ControlId::kLogFileField, log_path_);
    window_.press(&DeviceMonitor::on_start);
    const std::string log = read_file(log_path_);
    const unsigned shown = monitor_.view().polls_shown;
    sim_->set_silent(true);
    const uint64_t before = sim_->requests_received();
    monitor_.on_timer(kPollTimerId);
    ASSERT_TRUE(window_.awaiting_answer());
    monitor_.on_timer(kPollTimerId);
    monitor_.command(window_.input(), &DeviceMonitor::on_stop);
    EXPECT_FALSE(monitor_.polling());
    EXPECT_FALSE(monitor_.busy());
    EXPECT_FALSE(window_.awaiting_answer());
    EXPECT_FALSE(window_.timer_running());
    window_.advance(std::chrono::seconds(5));
    window_.settle();
    EXPECT_TRUE(sim_->wait_for_requests(before + 1, std::chrono::milliseconds(100)));
    EXPECT_EQ(sim_->requests_received(), before + 1) << "the queued tick sent nothing";
    EXPECT_EQ(monitor_.view().polls_shown, shown);
    EXPECT_EQ(read_file(log_path_), log);
    EXPECT_EQ(monitor_.view().status, "Stopped");
}

// Stop during a Set or a Send KEY: the write ends and reports as if Stop came
// after it.
TEST_P(MonitorTest, AWriteInFlightEndsAndReportsWhenStopComesDuringIt) {
    const struct {
        const char* write;
        DeviceMonitor::Handler handler;
        int32_t error;
        const char* box;  // the start of the box shown; null: none
        bool key_recorded;
    } cases[] = {
        {"Set the device refuses", &DeviceMonitor::on_set, kErrorGeneral, "Set failed: genErr",
         false},
        {"Send KEY the device takes", &DeviceMonitor::on_send_key, kErrorNone, nullptr, true},
        {"Send KEY the device refuses", &DeviceMonitor::on_send_key, kErrorGeneral,
         "Send KEY failed: genErr", false},
    };
    const std::string key = "k-4711";
    char* recorded = readings_.id_text[kKeyIndex - kIdentificationRun.first_index];
    for (const auto& c : cases) {
        SCOPED_TRACE(c.write);
        window_.press(&DeviceMonitor::on_start);  // the switches read, for Set
        window_.message_boxes.clear();
        std::strcpy(recorded, "");
        window_.set_text(ControlId::kKeyField, key);
        sim_->set_error_status(c.error);
        monitor_.command(window_.input(), c.handler);
        ASSERT_TRUE(window_.awaiting_answer());
        monitor_.command(window_.input(), &DeviceMonitor::on_stop);
        EXPECT_TRUE(window_.awaiting_answer()) << "a write is never cut short";
        window_.settle();
        sim_->set_error_status(kErrorNone);
        EXPECT_FALSE(monitor_.polling()) << "Stop ran after it";
        ASSERT_EQ(window_.message_boxes.size(), c.box != nullptr ? 1u : 0u);
        if (c.box != nullptr) {
            EXPECT_EQ(window_.message_boxes[0].rfind(c.box, 0), 0u) << window_.message_boxes[0];
        }
        EXPECT_EQ(recorded == key, c.key_recorded);
    }
}

// The host's loop was held past the deadline (Windows' move loop) while the
// answer came: the deadline finds it waiting in the socket and takes it.
TEST_P(MonitorTest, AnAnswerWaitingWhenTheDeadlineIsNoticedIsTaken) {
    window_.press(&DeviceMonitor::on_start);
    monitor_.on_timer(kPollTimerId);
    ASSERT_TRUE(window_.awaiting_answer());
    ASSERT_EQ(wait_readable(monitor_.link().socket_handle, 2000), 1) << "the answer came";
    window_.advance(std::chrono::seconds(2));
    window_.settle();
    EXPECT_TRUE(monitor_.view().last_poll_answered);
    EXPECT_NE(text(ControlId::kTemperaturePane), "NO CONNECTION");
}

// Boxes raised while an exchange waits open one after another: the second
// once the operator closed the first, never inside it.
TEST_P(MonitorTest, BoxesRaisedDuringOneWaitOpenOneAfterAnother) {
    window_.boxes_close_at_once = false;
    window_.press(&DeviceMonitor::on_get);
    monitor_.command(window_.input(), &DeviceMonitor::on_get);
    ASSERT_TRUE(window_.awaiting_answer());
    window_.set_text(ControlId::kKeyField, std::string(kKeyLimit + 1, 'k'));
    monitor_.command(window_.input(), &DeviceMonitor::on_send_key);  // refused: too long
    monitor_.command(window_.input(), &DeviceMonitor::on_set);       // refused: switches unread
    window_.settle();
    ASSERT_EQ(window_.message_boxes.size(), 1u);
    EXPECT_EQ(window_.message_boxes[0].rfind("Send KEY refused", 0), 0u);
    window_.close_boxes();
    ASSERT_EQ(window_.message_boxes.size(), 2u);
    EXPECT_EQ(window_.message_boxes[1], kSetRefusedUnread);
}

TEST_P(MonitorTest, AnotherAddressClearsThePanesOfThePreviousDevice) {
    SimulatedTransceiver other;
    ASSERT_TRUE(other.start());
    const ControlId device_panes[] = {ControlId::kIdentificationPane, ControlId::kLinkPane,
                                      ControlId::kRxPane, ControlId::kStatisticPane};
    const struct {
        const char* description;
        std::string address;
        bool kept;
    } cases[] = {
        {"the same address", "127.0.0.1", true},
        {"another device", "127.0.0.1:" + std::to_string(other.port()), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        sim_->clear_faults();
        window_.set_text(ControlId::kAddressBox, "127.0.0.1");
        window_.press(&DeviceMonitor::on_get);
        window_.press(&DeviceMonitor::on_start);
        std::vector<std::string> before;
        for (ControlId pane : device_panes) {
            before.push_back(text(pane));
            EXPECT_NE(before.back(), "");
        }
        // Neither device gives readings now.
        sim_->set_error_status(kErrorGeneral);
        other.set_error_status(kErrorGeneral);
        window_.set_text(ControlId::kAddressBox, c.address);
        window_.press(&DeviceMonitor::on_start);
        EXPECT_EQ(text(ControlId::kTemperaturePane), "NO CONNECTION");
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(text(device_panes[i]), c.kept ? before[i] : "") << i;
        }
    }
    // Neither a lamp that the previous device latched nor a switch without a
    // box that it reported on carries over to the new one.
    other.clear_faults();
    sim_->clear_faults();
    sim_->set_switch(1, true);
    sim_->set_rail(SupplyRail::k12V, 14500);
    window_.set_text(ControlId::kAddressBox, "127.0.0.1");
    window_.press(&DeviceMonitor::on_start);
    EXPECT_EQ(window_.get_check(ControlId::kVoltageLamp2), 1);
    window_.set_text(ControlId::kAddressBox, "127.0.0.1:" + std::to_string(other.port()));
    window_.press(&DeviceMonitor::on_start);
    EXPECT_EQ(window_.get_check(ControlId::kVoltageLamp2), 0);
    window_.press(&DeviceMonitor::on_set);
    EXPECT_EQ(other.switch_state(1), 0);
}

TEST_P(MonitorTest, GetFromAnotherAddressEmptiesThePanesOfThePreviousDevice) {
    SimulatedTransceiver other;
    ASSERT_TRUE(other.start());
    const struct {
        const char* description;
        std::string address;
        bool kept;
    } cases[] = {
        {"the same address", "127.0.0.1", true},
        {"another device", "127.0.0.1:" + std::to_string(other.port()), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        window_.set_text(ControlId::kAddressBox, "127.0.0.1");
        window_.press(&DeviceMonitor::on_start);
        window_.press(&DeviceMonitor::on_stop);
        window_.set_text(ControlId::kAddressBox, c.address);
        window_.press(&DeviceMonitor::on_get);
        for (const ReadingPane& pane : kReadingPanes) {
            EXPECT_EQ(text(pane.id), c.kept ? pane.text(readings_) : "") << pane.title;
        }
    }
}

// The log names one device per header block: a Get or a refused Set that
// points polling at another agent starts a new block before its first line,
// and the totals count that device's packets alone.
TEST_P(MonitorTest, AnotherAgentWhileLoggingStartsItsOwnHeaderAndTotals) {
    SimulatorOptions options;
    options.family = family_1000() ? DeviceFamily::k350 : DeviceFamily::k1000;
    SimulatedTransceiver other(options);
    other.freeze_time(100.0);
    ASSERT_TRUE(other.start());
    const std::string other_address = "127.0.0.1:" + std::to_string(other.port());
    window_.set_check(ControlId::kLogCheckBox, 1);
    window_.set_text(ControlId::kLogFileField, log_path_);
    window_.press(&DeviceMonitor::on_start);
    const struct {
        const char* step;
        std::string address;
        void (DeviceMonitor::*command)();
        bool other_device;
        bool new_block;
    } steps[] = {
        {"a Get of another agent", other_address, &DeviceMonitor::on_get, true, true},
        {"a Get of the same agent", other_address, &DeviceMonitor::on_get, true, false},
        {"a refused Set back at the first", "127.0.0.1", &DeviceMonitor::on_set, false, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        const size_t before = lines_of(read_file(log_path_)).size();
        const double total_before = readings_.phy_to_radio_total;
        window_.set_text(ControlId::kAddressBox, step.address);
        window_.press(step.command);
        window_.tick();
        const auto lines = lines_of(read_file(log_path_));
        ASSERT_EQ(lines.size(), before + (step.new_block ? 12 : 1));
        const bool family_1000_now = step.other_device != family_1000();
        const size_t width = family_1000_now ? 27 : 31;
        if (step.new_block) {
            EXPECT_EQ(lines[before + 1], family_1000_now ? "ID2=RL-VXL-1000" : "ID2=RL-KTR-350");
            EXPECT_EQ(columns(lines[before + 10]), width);
        }
        EXPECT_EQ(columns(lines.back()), width);
        EXPECT_EQ(readings_.phy_to_radio_total,
                  (step.new_block ? 0 : total_before) + readings_.phy_to_radio_rate);
    }
}

// A refused address sends nothing, and the status line says so rather than
// counting polls that no device could have answered.
TEST_P(MonitorTest, StatusAfterARefusedAddressSaysNothingWasSent) {
    const struct {
        const char* address;
        std::string status;
    } steps[] = {
        {"10.1.1.010", "Nothing was sent to 10.1.1.010: no usable agent address"},
        {"127.0.0.1", "Polling 127.0.0.1 every 1000 ms"},
    };
    for (const auto& step : steps) {
        window_.set_text(ControlId::kAddressBox, step.address);
        window_.press(&DeviceMonitor::on_start);
        window_.tick();
        EXPECT_EQ(monitor_.view().status.substr(0, step.status.size()), step.status);
    }
}

TEST_P(MonitorTest, AddressWithAPortReachesAForwardedAgent) {
    monitor_.set_default_port(1);  // nothing listens there
    window_.set_text(ControlId::kAddressBox, "127.0.0.1:" + std::to_string(sim_->port()));
    window_.press(&DeviceMonitor::on_start);
    EXPECT_NE(text(ControlId::kTemperaturePane), "NO CONNECTION");
    EXPECT_EQ(window_.list(), std::vector<std::string>{"127.0.0.1:" + std::to_string(sim_->port())})
        << "the history keeps the text as typed";
}

// ---------------------------------------------------------------- without a device

class MonitorWithoutDevice : public testing::Test {
protected:
    void SetUp() override {
        window_.attach(monitor_);
        monitor_.initialise(&settings_);
    }
    void use(const std::string& address) {
        window_.set_text(ControlId::kAddressBox, address);
        monitor_.update_address_history();
    }

    FakeWindow window_;
    FakeSettings settings_;
    DeviceReadings readings_;
    DeviceMonitor monitor_{window_, readings_};
};

TEST_F(MonitorWithoutDevice, HistoryKeepsTenMostRecentFirst) {
    for (int i = 1; i <= 11; ++i) {
        use("10.0.0." + std::to_string(i));
    }
    ASSERT_EQ(window_.list().size(), 10u);
    EXPECT_EQ(window_.list().front(), "10.0.0.11");
    EXPECT_EQ(window_.list().back(), "10.0.0.2") << "the oldest fell off";
    use("10.0.0.11");
    EXPECT_EQ(window_.list().front(), "10.0.0.11");
    EXPECT_EQ(window_.list().size(), 10u);

    window_.select_in_list(ControlId::kAddressBox, 4);
    const std::string picked = window_.list()[4];
    monitor_.update_address_history();
    EXPECT_EQ(window_.list().front(), picked);
    EXPECT_EQ(window_.selected(), 0);
    EXPECT_EQ(window_.list().size(), 10u);

    use("");
    EXPECT_EQ(window_.list().front(), picked) << "an empty address changes nothing";
}

TEST_F(MonitorWithoutDevice, HistoryMatchesWholeEntriesIgnoringCase) {
    use("10.0.0.12");
    use("router.LAB");
    use("10.0.0.1");  // a prefix of an older entry is a different address
    EXPECT_EQ(window_.list(), (std::vector<std::string>{"10.0.0.1", "router.LAB", "10.0.0.12"}));
    use("10.0.0");  // a prefix of entry 0 is recorded too
    EXPECT_EQ(window_.list().front(), "10.0.0");
    use("ROUTER.lab");
    EXPECT_EQ(window_.list(),
              (std::vector<std::string>{"ROUTER.lab", "10.0.0", "10.0.0.1", "10.0.0.12"}));
}

TEST_F(MonitorWithoutDevice, HistoryIsLoadedAndSavedUnderMain) {
    FakeSettings stored;
    stored.values = {{"Main/ip0", "10.1.1.1"},
                     {"Main/ip1", "10.1.1.2"},
                     {"Main/ip5", "10.1.1.6"},
                     {"Main/ip10", "never read"},
                     {"Main/ip2", ""}};
    FakeWindow window;
    DeviceReadings readings;
    DeviceMonitor monitor(window, readings);
    window.attach(monitor);
    monitor.initialise(&stored);
    EXPECT_EQ(window.list(), (std::vector<std::string>{"10.1.1.1", "10.1.1.2", "10.1.1.6"}));
    EXPECT_EQ(window.selected(), 0);
    EXPECT_EQ(window.get_text(ControlId::kAddressBox), "10.1.1.1");
    monitor.save_history(stored);
    EXPECT_EQ(stored.values, (std::map<std::string, std::string>{{"Main/ip0", "10.1.1.1"},
                                                                 {"Main/ip1", "10.1.1.2"},
                                                                 {"Main/ip2", "10.1.1.6"},
                                                                 {"Main/ip10", "never read"}}))
        << "values past the list are removed up to ip9";
    EXPECT_TRUE(window.message_boxes.empty());
}

TEST_F(MonitorWithoutDevice, TheSettingsStoresTroubleIsTold) {
    FakeSettings stored;
    stored.found = "The settings file t.INI could not be read";
    stored.values = {{"Main/ip0", "10.1.1.1"}};
    FakeWindow window;
    DeviceReadings readings;
    DeviceMonitor monitor(window, readings);
    window.attach(monitor);
    monitor.initialise(&stored);
    EXPECT_EQ(window.message_boxes, std::vector<std::string>{stored.found});
    window.message_boxes.clear();
    stored.trouble = "/home/op/.config is a file, not a folder";
    monitor.save_history(stored);
    EXPECT_EQ(window.message_boxes,
              std::vector<std::string>{"The address history could not be saved: "
                                       "/home/op/.config is a file, not a folder"});
}

TEST_F(MonitorWithoutDevice, CommunityAndAddressAreCutTo999Characters) {
    window_.set_text(ControlId::kCommunityField, std::string(1200, 'c'));
    window_.set_text(ControlId::kAddressBox, "");
    monitor_.refresh_agent_link();
    EXPECT_EQ(monitor_.link().community_length, 999);
    EXPECT_EQ(std::string(monitor_.link().community), std::string(999, 'c'));
    EXPECT_EQ(ntohl(monitor_.link().agent_address.v4.sin_addr.s_addr), 0x7F000001u)
        << "an empty address is the local computer";
    EXPECT_TRUE(window_.message_boxes.empty());
}

TEST_F(MonitorWithoutDevice, ResetRestartsTotalsCountersStatusAndLamps) {
    DeviceReadings& r = readings_;
    r.phy_to_radio_total = 1e6;
    r.radio_to_phy_total = 2e6;
    r.fec_fail_count = 40;
    r.fec_fail_since_reset = 40;
    r.drop_q1_count = 500;
    r.drop_q1_since_reset = 500;
    r.drop_tx_count = 0;  // a counter at 0 keeps its baseline
    r.drop_tx_baseline = 7;
    r.drop_tx_since_reset = 3;
    r.modem_status = 3;
    r.mse_tenths_db = 250;
    r.up_link_mbps = r.down_link_mbps = 350;
    r.frequency_offset_hz = -2500;
    r.receiver_lock = ReceiverLock::kLocked;
    r.link_quality = LinkQuality::kGood;
    r.packet_error_ratio = 0.5;
    r.supply_24v = 24000;
    for (int32_t& latch : r.voltage_alarm) {
        latch = 1;
    }
    window_.press(&DeviceMonitor::on_reset);
    const struct {
        const char* field;
        double value;
        double expected;
    } fields[] = {
        {"phy_to_radio_total", r.phy_to_radio_total, 0},
        {"radio_to_phy_total", r.radio_to_phy_total, 0},
        {"fec_fail_baseline", r.fec_fail_baseline, 40},
        {"fec_fail_since_reset", r.fec_fail_since_reset, 0},
        {"drop_q1_baseline", static_cast<double>(r.drop_q1_baseline), 500},
        {"drop_q1_since_reset", static_cast<double>(r.drop_q1_since_reset), 0},
        {"drop_tx_baseline", static_cast<double>(r.drop_tx_baseline), 7},
        {"drop_tx_since_reset", static_cast<double>(r.drop_tx_since_reset), 3},
        {"modem_status", static_cast<double>(r.modem_status), 0},
        {"mse_tenths_db", static_cast<double>(r.mse_tenths_db), 0},
        {"up_link_mbps", static_cast<double>(r.up_link_mbps), 0},
        {"down_link_mbps", static_cast<double>(r.down_link_mbps), 0},
        {"frequency_offset_hz", r.frequency_offset_hz, 0},
        {"packet_error_ratio (left to the next poll)", r.packet_error_ratio, 0.5},
        {"supply_24v (a measurement)", static_cast<double>(r.supply_24v), 24000},
    };
    for (const auto& f : fields) {
        EXPECT_EQ(f.value, f.expected) << f.field;
    }
    EXPECT_STREQ(receiver_lock_word(r.receiver_lock), "no");
    EXPECT_STREQ(link_quality_word(r.link_quality), "no");
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        EXPECT_EQ(r.voltage_alarm[k], 0) << k;
        EXPECT_EQ(window_.get_check(kVoltageLamps[k]), 0) << k;
    }
}

TEST_F(MonitorWithoutDevice, LinkThatCannotOpenIsReportedOnce) {
    FakeWindow window;
    DeviceReadings readings;
    DeviceMonitor monitor(window, readings);
    window.attach(monitor);
    // Take the local port the monitor will ask for.
    const LoopbackPeer taken;
    monitor.link().local_port = taken.port();
    monitor.initialise(nullptr);
    EXPECT_EQ(window.message_boxes,
              (std::vector<std::string>{"Can't bind socket", "Couldn't open snmp"}));
    EXPECT_EQ(monitor.link().socket_handle, kNoSocket);
}

TEST(IntervalText, ParsesTheLeadingInteger) {
    const struct {
        const char* text;
        long long value;
        int period;
    } cases[] = {
        {"1000", 1000, 1000},
        {"  250ms", 250, 250},
        {"+42", 42, 42},
        {"-5", -5, 2147483647},
        {"-1000", -1000, 2147483647},
        {"0", 0, 10},
        {"abc", 0, 10},
        {"", 0, 10},
        {"9", 9, 10},
        {"10", 10, 10},
        {"2147483647", 2147483647, 2147483647},
        {"2147483648", 2147483648LL, 2147483647},
        {"99999999999999999999", LLONG_MAX, 2147483647},
        {" \t-0012", -12, 2147483647},
        {"-0", 0, 10},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_interval(c.text), c.value) << c.text;
        EXPECT_EQ(timer_period_ms(parse_interval(c.text)), c.period) << c.text;
    }
}

TEST(CommandFailure, TheAnswerMustEchoTheWrite) {
    // The requests: Set's six switch rows, all 1, and Send KEY's "abc".
    MessagePtr request(msg_create(kPduSetRequest));
    std::vector<AnswerBinding> echo;
    for (int index = kControlRun.first_index; index < kControlRun.first_index + kControlRun.count;
         ++index) {
        const std::vector<uint32_t> name = catalog_name(index);
        binding_set_int32(
            msg_append_null_binding(request.get(), name.data(), static_cast<int32_t>(name.size())),
            1);
        echo.push_back(number_at(index, 1));
    }
    MessagePtr key_request(msg_create(kPduSetRequest));
    const std::vector<uint32_t> key_name = catalog_name(kKeyIndex);
    binding_set_octets(msg_append_null_binding(key_request.get(), key_name.data(),
                                               static_cast<int32_t>(key_name.size())),
                       reinterpret_cast<const uint8_t*>("abc"), 3);
    std::vector<AnswerBinding> missing = echo;
    missing.pop_back();
    std::vector<AnswerBinding> swapped = echo;
    std::swap(swapped[0], swapped[1]);
    std::vector<AnswerBinding> other_value = echo;
    other_value[2] = number_at(kControlRun.first_index + 2, 0);
    std::vector<AnswerBinding> gauge = echo;
    gauge[0] = number_at(kControlRun.first_index, 1, kTagGauge32);
    std::vector<AnswerBinding> no_such_object = echo;
    no_such_object[5] = empty_at(kControlRun.first_index + 5, kTagNoSuchObject);
    const char* const kNotDone = "Set failed: the answer does not match the request";
    const char* const kKeyNotDone = "Send KEY failed: the answer does not match the request";
    const struct {
        const char* description;
        bool answered;
        int32_t pdu;
        int32_t error_status;
        std::vector<AnswerBinding> bindings;
        const char* no_answer;  // why no answer came, as the link says it
        const char* text;
        bool key = false;  // the answer to Send KEY's request
    } cases[] = {
        // clang-format off
        {"accepted", true, kPduGetResponse, 0, echo, "", ""},
        {"silence", false, 0, 0, {}, "no answer", "Set failed: no answer"},
        {"an answer too long to read", false, 0, 0, {}, "the answer was too long", "Set failed: the answer was too long"},
        {"a send the system refused", false, 0, 0, {}, "the request could not be sent: Permission denied", "Set failed: the request could not be sent: Permission denied"},
        {"no cause known", false, 0, 0, {}, "", "Set failed: no answer"},
        {"the device's error", true, kPduGetResponse, kErrorGeneral, echo, "", "Set failed: genErr at binding 1"},
        {"the request echoed", true, kPduSetRequest, 0, echo, "", kNotDone},
        {"an echo's error status is not the device's", true, kPduSetRequest, kErrorGeneral, echo, "", kNotDone},
        {"a row missing", true, kPduGetResponse, 0, missing, "", kNotDone},
        {"rows swapped", true, kPduGetResponse, 0, swapped, "", kNotDone},
        {"no bindings", true, kPduGetResponse, 0, {}, "", kNotDone},
        {"another value echoed", true, kPduGetResponse, 0, other_value, "", kNotDone},
        {"the value as another type", true, kPduGetResponse, 0, gauge, "", kNotDone},
        {"noSuchObject for a row", true, kPduGetResponse, 0, no_such_object, "", kNotDone},
        {"key accepted", true, kPduGetResponse, 0, {text_at(kKeyIndex, "abc")}, "", "", true},
        {"another key echoed", true, kPduGetResponse, 0, {text_at(kKeyIndex, "abd")}, "", kKeyNotDone, true},
        {"the key cut", true, kPduGetResponse, 0, {text_at(kKeyIndex, "ab")}, "", kKeyNotDone, true},
        {"the key longer", true, kPduGetResponse, 0, {text_at(kKeyIndex, "abcd")}, "", kKeyNotDone, true},
        {"the key as a number", true, kPduGetResponse, 0, {number_at(kKeyIndex, 0x636261)}, "", kKeyNotDone, true},
        {"noSuchObject for the key", true, kPduGetResponse, 0, {empty_at(kKeyIndex, kTagNoSuchObject)}, "", kKeyNotDone, true},
        // clang-format on
    };
    for (const auto& c : cases) {
        MessagePtr answer;
        if (c.answered) {
            answer = decoded_answer(c.bindings, c.error_status);
            answer->pdu_type = c.pdu;
            answer->error_index = c.error_status != 0 ? 1 : 0;
        }
        EXPECT_EQ(command_failure_text(c.key ? "Send KEY" : "Set", c.key ? *key_request : *request,
                                       answer.get(), c.no_answer),
                  c.text)
            << c.description;
    }
}

}  // namespace
