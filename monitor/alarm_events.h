// Alarms: the changes of the device's state worth telling an operator who is
// not looking at the window, computed from the readings after each poll. An
// event marks a transition, never a state that merely persists, so a rail
// that stays out of range or a device that stays silent raises one event.
//
// - A voltage lamp latching raises an event naming the rail, its value and
//   its limits. Lamps only latch, so there is no cleared event; Reset
//   re-arms them (`on_reset`), and a rail still out of range raises again.
// - The link: the first poll without answer while no link alarm stands
//   raises "no answer from HOST" (or names the device's error, or an
//   answer that was refused); the first answered poll after that clears
//   it. Link and lock are facts about the device, not latches: Reset, Stop
//   and Start leave them as they stand.
// - The receiver's lock (family 1000): "NoLock" raises, "Lock" clears. A
//   device of family 350 has no lock to lose, so it clears a standing one.
#pragma once

#include <string>
#include <vector>

#include "device/device_readings.h"
#include "device/supply_rails.h"

// The link alarm's cause when nothing came back.
constexpr char kNoAnswerAlarm[] = "no answer";

enum class AlarmKind {
    kVoltage,
    kLink,
    kLock,
};

struct AlarmEvent {
    AlarmKind kind;
    bool cleared;  // false: the alarm is raised; true: the condition ended
    // What is wrong, the same for raising and clearing: "U +12V 14.5 V
    // outside 10.0..14.0 V", "no answer from HOST", "receiver lost lock".
    std::string text;
};

class AlarmTracker {
public:
    // The events of one finished poll, in the order link, lamps, lock.
    // `answered`: the poll read the device; `address`: the agent's address
    // as typed in the address box; `failure`: why a poll was not answered,
    // which heads the link alarm ("<failure> from <address>"), and `cause`,
    // when not empty, what lay behind it ("...: <cause>").
    std::vector<AlarmEvent> after_poll(bool answered, const DeviceReadings& readings,
                                       const std::string& address,
                                       const std::string& failure = kNoAnswerAlarm,
                                       const std::string& cause = std::string());
    // Reset cleared the lamps' latches: each may raise again.
    void on_reset();

private:
    bool lamp_raised_[kVoltageAlarmCount] = {};
    std::string link_alarm_;  // the standing link alarm's text; empty: none
    bool lock_lost_ = false;
};

// The alarm a window's tray icon names while it stands: the link alarm
// first, else the last lamp that latched while any lamp is still lit (the
// operator's Reset or a cleared lamp ends it); empty when none stands.
class StandingAlarm {
public:
    void on_event(const AlarmEvent& event);
    // `lamp_latched`: whether any voltage lamp's latch still stands.
    std::string text(bool lamp_latched) const;

private:
    std::string link_alarm_;     // the standing link alarm's text; empty: none
    std::string voltage_alarm_;  // the last lamp that latched
};
