#include "monitor/alarm_events.h"

#include "device/text_format.h"

namespace {

constexpr char kLockLost[] = "receiver lost lock";

}  // namespace

std::vector<AlarmEvent> AlarmTracker::after_poll(bool answered, const DeviceReadings& readings,
                                                 const std::string& address,
                                                 const std::string& failure,
                                                 const std::string& cause) {
    std::vector<AlarmEvent> events;
    if (!answered) {
        // Readings are not refreshed by a poll without answer: only the link
        // changes. A new address's silence, or another cause, replaces the
        // standing alarm.
        const std::string text =
            failure + " from " + address + (cause.empty() ? std::string() : ": " + cause);
        if (link_alarm_ != text) {
            if (!link_alarm_.empty()) {
                events.push_back({AlarmKind::kLink, true, link_alarm_});
            }
            link_alarm_ = text;
            events.push_back({AlarmKind::kLink, false, link_alarm_});
        }
        return events;
    }
    if (!link_alarm_.empty()) {
        events.push_back({AlarmKind::kLink, true, link_alarm_});
        link_alarm_.clear();
    }
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        if (readings.voltage_alarm[k] != 0 && !lamp_raised_[k]) {
            lamp_raised_[k] = true;
            events.push_back({AlarmKind::kVoltage, false, voltage_alarm_text(readings, k)});
        } else if (readings.voltage_alarm[k] == 0) {
            lamp_raised_[k] = false;
        }
    }
    // An unknown lock (nothing decoded yet) tells nothing.
    const bool locked = readings.receiver_lock == ReceiverLock::kLocked;
    const bool unlocked = readings.receiver_lock == ReceiverLock::kNotLocked;
    const bool family_1000 = readings.family_rate_mbps == kFamily1000;
    if (family_1000 && unlocked && !lock_lost_) {
        lock_lost_ = true;
        events.push_back({AlarmKind::kLock, false, kLockLost});
    } else if (lock_lost_ && (locked || !family_1000)) {
        lock_lost_ = false;
        events.push_back({AlarmKind::kLock, true, kLockLost});
    }
    return events;
}

void AlarmTracker::on_reset() {
    for (bool& raised : lamp_raised_) {
        raised = false;
    }
}

void StandingAlarm::on_event(const AlarmEvent& event) {
    if (event.kind == AlarmKind::kLink) {
        link_alarm_ = event.cleared ? std::string() : event.text;
    } else if (event.kind == AlarmKind::kVoltage && !event.cleared) {
        voltage_alarm_ = event.text;
    }
}

std::string StandingAlarm::text(bool lamp_latched) const {
    if (!link_alarm_.empty()) {
        return link_alarm_;
    }
    return lamp_latched ? voltage_alarm_ : std::string();
}
