#include "monitor/alarm_events.h"

#include <cstring>

#include "monitor/text_format.h"

namespace {

double volts(int32_t millivolts, bool negative) {
    // + 0.0 keeps a zero from printing as "-0.0".
    const double value = static_cast<double>(millivolts) / 1000.0;
    return (negative ? -value : value) + 0.0;
}

constexpr char kLockLost[] = "receiver lost lock";

}  // namespace

RailBounds rail_bounds_volts(int rail) {
    const RailLimits& limits = kRailLimits[rail];
    const bool negative = kRailNames[rail].shown_negative;
    return {volts(negative ? limits.high : limits.low, negative),
            volts(negative ? limits.low : limits.high, negative)};
}

std::string voltage_alarm_text(const DeviceReadings& readings, int rail) {
    const double value =
        volts(readings.*kRailLimits[rail].reading, kRailNames[rail].shown_negative);
    return rail_alarm_text(rail, format_text("%.1f", value));
}

std::string rail_alarm_text(int rail, const std::string& value) {
    const RailBounds bounds = rail_bounds_volts(rail);
    return format_text("%s %s V outside %.1f..%.1f V", kRailNames[rail].name, value.c_str(),
                       bounds.bottom, bounds.top);
}

std::string lamp_tip_text(int rail) {
    const RailBounds bounds = rail_bounds_volts(rail);
    return format_text("%s went outside %.1f..%.1f V; lit until Reset", kRailNames[rail].name,
                       bounds.bottom, bounds.top);
}

std::vector<AlarmEvent> AlarmTracker::after_poll(bool answered, const DeviceReadings& readings,
                                                 const std::string& address) {
    std::vector<AlarmEvent> events;
    if (!answered) {
        // Readings are not refreshed by a poll without answer: only the link
        // changes. A new address's silence replaces the old address's alarm.
        const std::string text = "no answer from " + address;
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
    // "no" (nothing decoded yet) tells nothing about the lock.
    const bool locked = std::strcmp(readings.receiver_word, "Lock") == 0;
    const bool unlocked = std::strcmp(readings.receiver_word, "NoLock") == 0;
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
