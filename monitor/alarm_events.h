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

#include "monitor/device_readings.h"
#include "monitor/supply_rails.h"

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

// `rail` below is a latch's index, which is the rail's row in `kSupplyRails`.

// A latched rail as the voltage pane shows it: "U -12V -7.9 V outside
// -14.0..-8.0 V" (the -12 V rail and its limits shown negative).
std::string voltage_alarm_text(const DeviceReadings& readings, int rail);
// The same with the value already written, such as a template's
// placeholder: "U -12V VALUE V outside -14.0..-8.0 V".
std::string rail_alarm_text(int rail, const std::string& value);
// A lit lamp's tip in the window: "U +12V went outside 10.0..14.0 V; lit
// until Reset".
std::string lamp_tip_text(int rail);
// The tip of a lamp that a poll without answer unchecked while its latch
// stands: "U +12V went outside 10.0..14.0 V earlier; not known now, shown
// again when the device answers".
std::string not_known_lamp_tip_text(int rail);

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
