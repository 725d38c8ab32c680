// The journal's events at the monitor: each sequence of polls and commands
// against the simulated transceiver gives exactly these events, in order,
// in the listener, in the monitor's list and in the journal file alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fake_window.h"
#include "logbook/journal.h"
#include "monitor/device_monitor.h"
#include "sim/simulated_transceiver.h"
#include "test_names.h"

namespace {

class RefusingSettings : public SettingsStore {
public:
    std::string read(const std::string&, const std::string&) override { return ""; }
    bool write(const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    bool remove(const std::string&, const std::string&) override { return false; }
    std::string error() const override { return "the disk is full"; }
    std::string notice() const override { return ""; }
};

constexpr char kCommunity[] = "c0mmunity";
constexpr char kKey[] = "s3cret-key";

// One device on loopback, a monitor on a clock the test steps, and a
// journal file of the test's own.
class JournalSession {
public:
    explicit JournalSession(const std::string& name)
        : path_(testing::TempDir() + "tarvik-journal-" + name + ".jsonl") {
        std::remove(path_.c_str());
        start_sim(100.0);
        monitor_.link().answer_wait = std::chrono::milliseconds(500);
        monitor_.set_clock([this] { return now_; });
        monitor_.set_journal(path_);
        monitor_.set_journal_listener([this](const JournalEvent& e) { heard_.push_back(e); });
        window_.attach(monitor_);
        window_.set_silence([this] { return sim_->faults().silent; });
        monitor_.initialise(nullptr);
        window_.set_text(ControlId::kAddressBox, "127.0.0.1");
        window_.set_text(ControlId::kCommunityField, kCommunity);
    }
    ~JournalSession() { std::remove(path_.c_str()); }

    // A new device on the same port: a restarted one, its counters from 0.
    void start_sim(double model_time) {
        SimulatorOptions options;
        options.port = sim_ ? sim_->port() : 0;
        options.community = kCommunity;
        sim_.reset();
        sim_ = std::make_unique<SimulatedTransceiver>(options);
        sim_->set_error_rate(5);
        sim_->freeze_time(model_time);
        ASSERT_TRUE(sim_->start());
        monitor_.set_default_port(sim_->port());
    }
    // One poll a second later, on the device's clock too.
    void tick() {
        now_ += 1;
        sim_->freeze_time(sim_->model_time() + 1);
        window_.tick();
    }
    void press(DeviceMonitor::Handler handler) { window_.press(handler); }

    std::unique_ptr<SimulatedTransceiver> sim_;
    FakeWindow window_;
    DeviceReadings readings_;
    DeviceMonitor monitor_{window_, readings_};
    std::vector<JournalEvent> heard_;
    double now_ = 1765276863;  // the monitor's clock
    std::string path_;
};

// The kinds of `events`, each followed by a blank.
template <typename Events>
std::string kinds_of(const Events& events) {
    std::string kinds;
    for (const JournalEvent& e : events) {
        kinds += journal_kind_name(e.kind) + std::string(" ");
    }
    return kinds;
}

// The steps of a sequence, by the words that name them in the table.
using Step = std::function<void(JournalSession&)>;
const std::map<std::string, Step> kSteps = {
    {"start", [](JournalSession& s) { s.press(&DeviceMonitor::on_start); }},
    {"stop", [](JournalSession& s) { s.press(&DeviceMonitor::on_stop); }},
    {"get", [](JournalSession& s) { s.press(&DeviceMonitor::on_get); }},
    {"set", [](JournalSession& s) { s.press(&DeviceMonitor::on_set); }},
    {"reset", [](JournalSession& s) { s.press(&DeviceMonitor::on_reset); }},
    {"tick", [](JournalSession& s) { s.tick(); }},
    {"later", [](JournalSession& s) { s.now_ += 10; }},
    {"silent", [](JournalSession& s) { s.sim_->set_silent(true); }},
    {"speaks", [](JournalSession& s) { s.sim_->set_silent(false); }},
    {"12V-high", [](JournalSession& s) { s.sim_->set_rail(SupplyRail::k12V, 14500); }},
    {"5V-high", [](JournalSession& s) { s.sim_->set_rail(SupplyRail::k5V, 6500); }},
    {"rails-normal", [](JournalSession& s) { s.sim_->clear_rails(); }},
    {"radio-off", [](JournalSession& s) { s.window_.set_check(ControlId::kRadioCheckBox, 0); }},
    {"send-key",
     [](JournalSession& s) {
         s.window_.set_text(ControlId::kKeyField, kKey);
         s.press(&DeviceMonitor::on_send_key);
     }},
    {"family-1000", [](JournalSession& s) { s.sim_->set_family(DeviceFamily::k1000); }},
    {"same-device-other-address",
     [](JournalSession& s) {
         s.window_.set_text(ControlId::kAddressBox, "127.0.0.1:" + std::to_string(s.sim_->port()));
     }},
    {"restarted", [](JournalSession& s) { s.start_sim(1.0); }},
    {"log-nowhere",
     [](JournalSession& s) {
         s.window_.set_check(ControlId::kLogCheckBox, 1);
         s.window_.set_text(ControlId::kLogFileField, s.path_ + ".missing/poll.log");
     }},
    {"close-settings-full",
     [](JournalSession& s) {
         RefusingSettings settings;
         s.monitor_.close(&settings);
     }},
    {"close", [](JournalSession& s) { s.monitor_.close(nullptr); }},
    {"link-down-12s", [](JournalSession& s) { s.sim_->take_link_down(12); }},
    {"30-ticks",
     [](JournalSession& s) {
         for (int i = 0; i < 30; ++i) {
             s.tick();
         }
     }},
};

struct EventCase {
    const char* description;
    const char* steps;  // words of kSteps
    const char* kinds;  // each followed by a blank
    // One detail of the last event that has it; none when null.
    const char* field;
    const char* value;
};

// clang-format off
const EventCase kEventCases[] = {
    {"start and stop; a Stop while not polling stops nothing", "start stop stop",
     "start stop ", "interval_ms", "1000"},
    {"an outage is told once, and its end with its length",
     "start silent tick tick tick speaks tick", "start no_answer answered ", "outage_s", "4"},
    {"a silence over Stop and Start is one outage", "start silent tick stop speaks later start",
     "start no_answer stop start answered ", "outage_s", "11"},
    {"a device silent from Start has no answer since nothing", "silent start tick",
     "start no_answer ", "since", ""},
    {"a rail out latches once, comes back, and Reset clears its lamp",
     "12V-high start tick rails-normal tick tick reset",
     "start lamp_latched rail_in_range reset ", "cleared", "U +12V"},
    {"a rail still out after Reset latches again", "5V-high start reset tick",
     "start lamp_latched reset lamp_latched ", "value", "6.5"},
    {"Set names each switch before and after", "start radio-off set", "start set ",
     "radio_before", "1"},
    {"a second Set names the switches as the first one left them", "start radio-off set set",
     "start set set ", "radio_before", "0"},
    {"a Set without answer says so", "start silent set", "start set ",
     "outcome", "Set failed: no answer"},
    {"Send KEY gives the key's length, never the key", "send-key", "key_sent ", "octets", "10"},
    {"another unit at the address: its identification, then its family",
     "start family-1000 get tick", "start identification_changed family_changed ",
     "family", "1000"},
    {"a Get of the same unit tells nothing", "get get", "", nullptr, nullptr},
    {"another address", "get same-device-other-address get", "address_changed ",
     "from", "127.0.0.1"},
    {"a restarted device's counter goes back", "start tick restarted tick tick",
     "start counter_went_back ", "counter", "fec_failures"},
    {"a log that cannot be opened is journaled once", "log-nowhere start tick",
     "start log_not_written ", "reason", "No such file or directory"},
    {"closing the console while it polls stops the polling", "start close stop close",
     "start stop ", nullptr, nullptr},
    {"settings that cannot be saved", "close-settings-full", "settings_not_saved ",
     "reason", "the disk is full"},
    {"a link down for 11 polls is unavailable for 11 s, then available",
     "start tick link-down-12s 30-ticks", "start link_unavailable link_available ",
     "unavailable_s", "11"},
};
// clang-format on

class JournalEventsTest : public testing::TestWithParam<EventCase> {};

TEST_P(JournalEventsTest, GivesExactlyTheseEvents) {
    const EventCase& c = GetParam();
    JournalSession s(case_name(c.description));
    std::istringstream steps(c.steps);
    for (std::string step; steps >> step;) {
        kSteps.at(step)(s);
    }
    EXPECT_EQ(kinds_of(s.heard_), c.kinds);
    EXPECT_EQ(kinds_of(s.monitor_.journal_events()), c.kinds);
    std::vector<JournalEvent> written;
    std::vector<std::string> problems;
    read_journal_files(
        journal_files(s.path_), [&](const JournalEvent& e) { written.push_back(e); },
        [&](const std::string& problem) { problems.push_back(problem); });
    EXPECT_EQ(kinds_of(written), c.kinds);
    EXPECT_TRUE(problems.empty()) << problems.front();
    std::string value = "(none)";
    for (const JournalEvent& e : written) {
        const std::string line = journal_line(e);
        EXPECT_EQ(line.find(kCommunity), std::string::npos) << line;
        EXPECT_EQ(line.find(kKey), std::string::npos) << line;
        EXPECT_TRUE(e.time >= 1765276863 && e.time <= s.now_) << "the monitor's clock: " << line;
        for (const JournalField& f : e.fields) {
            value = c.field != nullptr && f.name == c.field ? f.value : value;
        }
    }
    if (c.field != nullptr) {
        EXPECT_EQ(value, c.value) << c.field;
    }
}

INSTANTIATE_TEST_SUITE_P(Sequences, JournalEventsTest, testing::ValuesIn(kEventCases),
                         [](const auto& info) { return case_name(info.param.description); });

TEST(JournalFile, AJournalThatCannotBeWrittenIsToldOnceAndPollingGoesOn) {
    JournalSession s("unwritable");
    // A regular file stands where the journal's folder would be.
    std::FILE* blocker = std::fopen(s.path_.c_str(), "w");
    ASSERT_NE(blocker, nullptr);
    std::fclose(blocker);
    s.monitor_.set_journal(s.path_ + "/journal.jsonl");
    s.sim_->set_rail(SupplyRail::k12V, 14500);
    s.press(&DeviceMonitor::on_start);
    s.tick();
    s.press(&DeviceMonitor::on_stop);
    int told = 0;
    for (const std::string& box : s.window_.message_boxes) {
        told += box.rfind(kJournalNotWritten, 0) == 0;
    }
    EXPECT_EQ(told, 1);
    EXPECT_EQ(kinds_of(s.heard_), "start lamp_latched stop ");
    EXPECT_EQ(s.monitor_.view().polls_shown, 2);
}

}  // namespace
