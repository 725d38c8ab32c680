// Alarm events: one per transition of a lamp's latch, the link or the
// receiver's lock, over sequences of polls; and the hook that hands them to
// the monitor's host.
#include "monitor/alarm_events.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "device/panes.h"
#include "fake_window.h"
#include "monitor/device_monitor.h"
#include "sim/simulated_transceiver.h"
#include "test_names.h"

namespace {

using Events = std::vector<std::string>;

constexpr char kAddress[] = "192.0.2.10";

std::string describe(const AlarmEvent& event) {
    static const char* const kKinds[] = {"voltage", "link", "lock"};
    return std::string(kKinds[static_cast<int>(event.kind)]) +
           (event.cleared ? " cleared: " : ": ") + event.text;
}

// The lock whose pane word is `word`.
ReceiverLock lock_shown_as(const std::string& word) {
    for (ReceiverLock lock :
         {ReceiverLock::kUnknown, ReceiverLock::kLocked, ReceiverLock::kNotLocked}) {
        if (word == receiver_lock_word(lock)) {
            return lock;
        }
    }
    ADD_FAILURE() << "no lock is shown as " << word;
    return ReceiverLock::kUnknown;
}

// ---- Sequences of polls ----

struct RailValue {
    int rail;
    int32_t millivolts;
};

// One poll as the monitor runs it: Reset pressed before it or not, answered
// or not, and what an answer carried (every other rail in range).
struct Poll {
    bool reset_before;
    bool answered;
    std::vector<RailValue> rails;
    const char* receiver;  // the receiver word; "" for a device of family 350
    Events events;
    const char* address = kAddress;
};

constexpr bool kReset = true;
constexpr bool kNoReset = false;
constexpr bool kAnswer = true;
constexpr bool kSilence = false;
const std::vector<RailValue> kInRange;
const std::vector<RailValue> k12VHigh = {{1, 14500}};
constexpr char k12VText[] = "voltage: U +12V 14.5 V outside 10.0..14.0 V";
constexpr char kNoAnswer[] = "link: no answer from 192.0.2.10";
constexpr char kAnswerAgain[] = "link cleared: no answer from 192.0.2.10";
constexpr char kLockLost[] = "lock: receiver lost lock";
constexpr char kLockAgain[] = "lock cleared: receiver lost lock";

struct SequenceCase {
    const char* description;
    std::vector<Poll> polls;
};

const SequenceCase kSequences[] = {
    {"a rail out of range raises once and its latch holds it",
     {{kNoReset, kAnswer, kInRange, "Lock", {}},
      {kNoReset, kAnswer, k12VHigh, "Lock", {k12VText}},
      {kNoReset, kAnswer, k12VHigh, "Lock", {}},
      {kNoReset, kAnswer, kInRange, "Lock", {}},
      {kNoReset, kAnswer, k12VHigh, "Lock", {}}}},
    {"reset re-arms a rail still out of range",
     {{kNoReset, kAnswer, k12VHigh, "Lock", {k12VText}},
      {kReset, kAnswer, k12VHigh, "Lock", {k12VText}},
      {kNoReset, kAnswer, k12VHigh, "Lock", {}}}},
    {"reset with the rail back in range raises nothing until it leaves again",
     {{kNoReset, kAnswer, k12VHigh, "Lock", {k12VText}},
      {kReset, kAnswer, kInRange, "Lock", {}},
      {kNoReset, kAnswer, k12VHigh, "Lock", {k12VText}}}},
    {"the first poll failing raises the link and the first answer clears it",
     {{kNoReset, kSilence, kInRange, "Lock", {kNoAnswer}},
      {kNoReset, kSilence, kInRange, "Lock", {}},
      {kNoReset, kAnswer, kInRange, "Lock", {kAnswerAgain}},
      {kNoReset, kAnswer, kInRange, "Lock", {}},
      {kNoReset, kSilence, kInRange, "Lock", {kNoAnswer}}}},
    {"a latched lamp stays raised across a loss of the link",
     {{kNoReset, kAnswer, k12VHigh, "Lock", {k12VText}},
      {kNoReset, kSilence, kInRange, "Lock", {kNoAnswer}},
      {kNoReset, kAnswer, k12VHigh, "Lock", {kAnswerAgain}}}},
    {"lock lost raises once and lock regained clears it",
     {{kNoReset, kAnswer, kInRange, "Lock", {}},
      {kNoReset, kAnswer, kInRange, "NoLock", {kLockLost}},
      {kNoReset, kAnswer, kInRange, "NoLock", {}},
      {kNoReset, kAnswer, kInRange, "no", {}},
      {kNoReset, kAnswer, kInRange, "Lock", {kLockAgain}},
      {kNoReset, kAnswer, kInRange, "Lock", {}}}},
    {"a poll without answer says nothing about the lock",
     {{kNoReset, kAnswer, kInRange, "NoLock", {kLockLost}},
      {kNoReset, kSilence, kInRange, "Lock", {kNoAnswer}},
      {kNoReset, kAnswer, kInRange, "NoLock", {kAnswerAgain}}}},
    {"reset leaves the link and the lock as they stand",
     {{kNoReset, kAnswer, kInRange, "NoLock", {kLockLost}},
      {kReset, kAnswer, kInRange, "NoLock", {}},
      {kNoReset, kSilence, kInRange, "NoLock", {kNoAnswer}},
      {kReset, kSilence, kInRange, "NoLock", {}},
      {kNoReset, kAnswer, kInRange, "Lock", {kAnswerAgain, kLockAgain}}}},
    {"a device of family 350 has no lock to lose",
     {{kNoReset, kAnswer, kInRange, "NoLock", {kLockLost}},
      {kNoReset, kAnswer, kInRange, "", {kLockAgain}},
      {kNoReset, kAnswer, kInRange, "", {}}}},
    {"one poll's events come link, lamps in rail order, lock",
     {{kNoReset, kSilence, kInRange, "Lock", {kNoAnswer}},
      {kNoReset,
       kAnswer,
       {{5, 4100}, {0, 21000}},
       "NoLock",
       {kAnswerAgain, "voltage: U +24V 21.0 V outside 22.0..35.0 V",
        "voltage: U +3.3V 4.1 V outside 2.5..4.0 V", kLockLost}}}},
    {"silence at a new address replaces the old address's alarm",
     {{kNoReset, kSilence, kInRange, "Lock", {kNoAnswer}},
      {kNoReset,
       kSilence,
       kInRange,
       "Lock",
       {kAnswerAgain, "link: no answer from 192.0.2.11:1161"},
       "192.0.2.11:1161"},
      {kNoReset,
       kAnswer,
       kInRange,
       "Lock",
       {"link cleared: no answer from 192.0.2.11:1161"},
       "192.0.2.11:1161"}}},
};

void PrintTo(const SequenceCase& c, std::ostream* out) {
    *out << c.description;
}

class AlarmSequenceTest : public testing::TestWithParam<SequenceCase> {};

TEST_P(AlarmSequenceTest, RaisesOneEventPerTransition) {
    DeviceReadings readings;
    readings.family_rate_mbps = kFamily1000;
    AlarmTracker tracker;
    int number = 0;
    for (const Poll& poll : GetParam().polls) {
        SCOPED_TRACE("poll " + std::to_string(++number));
        if (poll.reset_before) {
            // What Reset does to the latches, and the tracker beside them.
            for (int32_t& latch : readings.voltage_alarm) {
                latch = 0;
            }
            tracker.on_reset();
        }
        if (poll.answered) {
            for (const RailSpec& rail : kSupplyRails) {
                readings.*rail.reading = (rail.high + rail.low) / 2;
            }
            for (const RailValue& value : poll.rails) {
                readings.*kSupplyRails[value.rail].reading = value.millivolts;
            }
            const bool family_350 = poll.receiver[0] == '\0';
            readings.family_rate_mbps = family_350 ? kFamily350 : kFamily1000;
            readings.receiver_lock = lock_shown_as(family_350 ? "no" : poll.receiver);
            latch_voltage_alarms(readings);
        }
        Events events;
        for (const AlarmEvent& event : tracker.after_poll(poll.answered, readings, poll.address)) {
            events.push_back(describe(event));
        }
        EXPECT_EQ(events, poll.events);
    }
}

INSTANTIATE_TEST_SUITE_P(Sequences, AlarmSequenceTest, testing::ValuesIn(kSequences),
                         [](const auto& info) { return case_name(info.param.description); });

// ---- The hook ----

// The monitor hands its host the events once a poll is shown, against the
// simulated transceiver with its 12 V rail pinned high.
TEST(AlarmListenerTest, GetsEachTransitionAfterThePollIsShown) {
    SimulatorOptions options;
    options.family = DeviceFamily::k1000;
    SimulatedTransceiver sim(options);
    sim.freeze_time(100.0);
    sim.set_rail(SupplyRail::k12V, 14500);
    ASSERT_TRUE(sim.start());
    FakeWindow window;
    DeviceReadings readings;
    DeviceMonitor monitor(window, readings);
    window.attach(monitor);
    window.set_silence([&sim] { return sim.faults().silent; });
    monitor.set_default_port(sim.port());
    monitor.link().answer_wait = std::chrono::milliseconds(500);
    monitor.initialise(nullptr);
    window.set_text(ControlId::kAddressBox, "127.0.0.1");

    Events events;
    monitor.set_alarm_listener([&](const AlarmEvent& event) {
        events.push_back(describe(event) + " | " + window.get_text(ControlId::kVoltagePane));
    });
    const std::string high = "voltage: U +12V 14.5 V outside 10.0..14.0 V | ";
    window.press(&DeviceMonitor::on_start);
    window.tick();
    EXPECT_EQ(events, Events{high + voltage_pane_text(readings)});
    window.press(&DeviceMonitor::on_reset);
    window.tick();
    EXPECT_EQ(events,
              (Events{high + voltage_pane_text(readings), high + voltage_pane_text(readings)}));
    events.clear();
    // A silent poll waits out the whole answer wait: a short one here.
    monitor.link().answer_wait = std::chrono::milliseconds(50);
    sim.set_silent(true);
    window.tick();
    window.tick();
    EXPECT_EQ(events, Events{"link: no answer from 127.0.0.1 | NO CONNECTION"});
    EXPECT_TRUE(window.message_boxes.empty());

    // An error status is the device's own word, not silence.
    events.clear();
    sim.set_silent(false);
    monitor.link().answer_wait = std::chrono::milliseconds(500);
    sim.set_error_status(kErrorGeneral);
    window.tick();
    window.tick();
    EXPECT_EQ(events, (Events{"link cleared: no answer from 127.0.0.1 | NO CONNECTION",
                              "link: device error genErr from 127.0.0.1 | NO CONNECTION"}));

    // No answer for another reason than silence says which.
    const struct {
        const char* address;
        std::function<void()> fault;
        const char* raised;
    } causes[] = {
        {"127.0.0.1", [&sim] { sim.set_garbage(true); },
         "link: no answer from 127.0.0.1: the answer could not be decoded"},
        {"224.0.0.1", [] {},
         "link: no answer from 224.0.0.1: nothing was sent: no usable agent address"},
        {"", [&sim] { sim.set_silent(true); }, "link: no answer from 127.0.0.1 (no address given)"},
    };
    monitor.link().answer_wait = std::chrono::milliseconds(50);
    for (const auto& c : causes) {
        SCOPED_TRACE(c.raised);
        sim.clear_faults();
        c.fault();
        window.set_text(ControlId::kAddressBox, c.address);
        window.press(&DeviceMonitor::on_stop);
        events.clear();
        window.press(&DeviceMonitor::on_start);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), std::string(c.raised) + " | NO CONNECTION");
    }
}

// What the tray names after each step: the link alarm over a lamp's, a
// lamp's only while a lamp is lit, the last lamp that latched.
TEST(StandingAlarmTest, NamesTheLinkAlarmElseTheLastLatchedLampWhileOneIsLit) {
    const AlarmEvent lamp1{AlarmKind::kVoltage, false, "U +24V 30.0 V outside 20.0..28.0 V"};
    const AlarmEvent lamp2{AlarmKind::kVoltage, false, "U +12V 14.5 V outside 10.0..14.0 V"};
    const AlarmEvent link{AlarmKind::kLink, false, "no answer from 192.0.2.10"};
    const AlarmEvent link_cleared{AlarmKind::kLink, true, link.text};
    const AlarmEvent lock{AlarmKind::kLock, false, "receiver lost lock"};
    const struct {
        const AlarmEvent* event;  // nullptr: none, only the lamps change
        int lit;                  // index of the lamp lit after the step; -1: none
        std::string named;
    } steps[] = {
        {&lock, -1, ""},          {&lamp1, 0, lamp1.text},  {&lamp2, 1, lamp2.text},
        {&link, 1, link.text},    {nullptr, -1, link.text}, {&link_cleared, -1, ""},
        {nullptr, 0, lamp2.text},
    };
    StandingAlarm alarm;
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        if (steps[i].event != nullptr) {
            alarm.on_event(*steps[i].event);
        }
        EXPECT_EQ(alarm.text(steps[i].lit >= 0), steps[i].named) << "step " << i;
    }
}

}  // namespace
