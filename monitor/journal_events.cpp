#include "monitor/journal_events.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "device/row_schema.h"
#include "device/supply_rails.h"
#include "device/text_format.h"

namespace {

JournalEvent event_of(JournalKind kind, std::string text) {
    JournalEvent event;
    event.kind = kind;
    event.text = std::move(text);
    return event;
}

void add_text(JournalEvent& event, const char* name, const std::string& value) {
    event.fields.push_back({name, value, false});
}

// A number as JSON writes it: no exponent for the counters' sizes, no
// trailing zeros.
std::string number_text(double value) {
    return format_text("%.15g", value);
}

void add_number(JournalEvent& event, const char* name, double value) {
    event.fields.push_back({name, number_text(value), true});
}

// A length of time for a person: "45 s", "3 min 5 s", "2 h 0 min 7 s".
std::string duration_text(double seconds) {
    const long long whole = std::llround(seconds < 0 ? 0 : seconds);
    const long long h = whole / 3600;
    const long long m = whole / 60 % 60;
    const long long s = whole % 60;
    // std::to_string: MinGW's printf does not take every C99 length.
    const std::string seconds_text = std::to_string(s) + " s";
    if (h > 0) {
        return std::to_string(h) + " h " + std::to_string(m) + " min " + seconds_text;
    }
    return m > 0 ? std::to_string(m) + " min " + seconds_text : seconds_text;
}

// A rail's reading and its lamp's limits, as the voltage pane shows them.
void add_rail(JournalEvent& event, const DeviceReadings& readings, int rail) {
    const RailSpec& supply = kSupplyRails[rail];
    const RailBounds bounds = lamp_bounds_volts(supply);
    add_text(event, "rail", supply.label);
    add_number(event, "value", shown_volts(supply, readings.*supply.reading));
    add_number(event, "low", bounds.bottom);
    add_number(event, "high", bounds.top);
}

// The counters the device counts on, as the readings hold them.
struct DeviceCounter {
    Column column;
    double (*value)(const DeviceReadings&);
};
constexpr DeviceCounter kDeviceCounters[] = {
    {Column::kFecFailCount, [](const DeviceReadings& r) { return r.fec_fail_count; }},
    {Column::kDropQ1Count,
     [](const DeviceReadings& r) { return static_cast<double>(r.drop_q1_count); }},
    {Column::kDropTxCount,
     [](const DeviceReadings& r) { return static_cast<double>(r.drop_tx_count); }},
};

const char* on_off(bool on) {
    return on ? "on" : "off";
}

// The local time of day, as the status line shows it: "03:14:07".
std::string clock_text(double time) {
    std::tm local{};
    char text[16];
    if (!local_time(static_cast<std::time_t>(std::floor(time)), &local) ||
        std::strftime(text, sizeof text, "%H:%M:%S", &local) == 0) {
        return std::string();
    }
    return text;
}

}  // namespace

std::string identification_item(const DeviceReadings& readings, int item) {
    const char* text = readings.id_text[item];
    return std::string(text, strnlen(text, kIdTextSize));
}

std::string journal_time_text(double time) {
    std::tm local{};
    char text[32];
    if (!local_time(static_cast<std::time_t>(std::floor(time)), &local) ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) {
        return std::string();
    }
    const int offset = local_utc_offset(time);
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return text + format_text("%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

std::vector<JournalEvent> JournalTracker::after_poll(const PollFacts& poll,
                                                     const DeviceReadings& readings) {
    std::vector<JournalEvent> events;
    if (!poll.answered) {
        if (!silent_) {
            silent_ = true;
            silent_since_ = run_answered_ ? last_answer_ : poll.time;
            const std::string since = seen_answer_ ? journal_time_text(last_answer_) : "";
            JournalEvent event =
                event_of(JournalKind::kNoAnswer,
                         (since.empty() ? std::string("No answer")
                                        : "No answer since " + clock_text(last_answer_)) +
                             ": " + poll.cause);
            add_text(event, "since", since);
            add_text(event, "cause", poll.cause);
            events.push_back(std::move(event));
        }
    } else {
        if (silent_) {
            silent_ = false;
            const double outage = poll.time - silent_since_;
            JournalEvent event =
                event_of(JournalKind::kAnswered,
                         "Answered again after " + duration_text(outage) + " without answer");
            add_number(event, "outage_s", std::round(outage * 1000) / 1000);
            events.push_back(std::move(event));
        }
        seen_answer_ = true;
        run_answered_ = true;
        last_answer_ = poll.time;
        if (family_ != 0 && readings.family_rate_mbps != family_) {
            JournalEvent event = event_of(JournalKind::kFamilyChanged,
                                          format_text("The device's family changed from %d to %d",
                                                      family_, readings.family_rate_mbps));
            add_number(event, "family_before", family_);
            add_number(event, "family", readings.family_rate_mbps);
            events.push_back(std::move(event));
        }
        family_ = readings.family_rate_mbps;
        // One event for a restarted device, naming the first counter found
        // to have gone back.
        for (int k = 0; k < kDeviceCounterCount && counters_known_; ++k) {
            const double now = kDeviceCounters[k].value(readings);
            if (now < counters_[k]) {
                const ColumnSpec& column = kColumns[static_cast<int>(kDeviceCounters[k].column)];
                JournalEvent event = event_of(JournalKind::kCounterWentBack,
                                              std::string(column.pane) + " went back from " +
                                                  number_text(counters_[k]) + " to " +
                                                  number_text(now) + ": the device restarted");
                add_text(event, "counter", column.name);
                add_number(event, "before", counters_[k]);
                add_number(event, "now", now);
                events.push_back(std::move(event));
                break;
            }
        }
        for (int k = 0; k < kDeviceCounterCount; ++k) {
            counters_[k] = kDeviceCounters[k].value(readings);
        }
        counters_known_ = true;
        for (int k = 0; k < kVoltageAlarmCount; ++k) {
            if (poll.latched[k]) {
                JournalEvent event =
                    event_of(JournalKind::kLampLatched, voltage_alarm_text(readings, k));
                add_rail(event, readings, k);
                events.push_back(std::move(event));
            }
        }
        for (int k = 0; k < kVoltageAlarmCount; ++k) {
            if (out_of_range_[k] && !poll.out_of_range[k]) {
                const RailSpec& supply = kSupplyRails[k];
                const RailBounds bounds = lamp_bounds_volts(supply);
                JournalEvent event =
                    event_of(JournalKind::kRailInRange,
                             format_text("%s %.1f V back within %.1f..%.1f V", supply.label,
                                         shown_volts(supply, readings.*supply.reading),
                                         bounds.bottom, bounds.top));
                add_rail(event, readings, k);
                events.push_back(std::move(event));
            }
            out_of_range_[k] = poll.out_of_range[k];
        }
    }
    if (poll.unavailable != unavailable_) {
        unavailable_ = poll.unavailable;
        if (unavailable_) {
            const std::string since = journal_time_text(poll.unavailable_changed_at);
            JournalEvent event = event_of(
                JournalKind::kLinkUnavailable,
                "The link is unavailable since " + clock_text(poll.unavailable_changed_at) +
                    format_text(" (%u severely errored seconds)", kUnavailableRun));
            add_text(event, "since", since);
            events.push_back(std::move(event));
        } else {
            const double length = poll.unavailable_changed_at - unavailable_since_;
            JournalEvent event =
                event_of(JournalKind::kLinkAvailable, "The link is available again after " +
                                                          duration_text(length) + " unavailable");
            add_number(event, "unavailable_s", length);
            events.push_back(std::move(event));
        }
        unavailable_since_ = poll.unavailable_changed_at;
    }
    return events;
}

void JournalTracker::forget_device() {
    const std::map<std::string, Identity> identities = std::move(identities_);
    *this = JournalTracker();
    identities_ = identities;
}

void JournalTracker::on_start() {
    run_answered_ = false;
}

std::optional<JournalEvent> JournalTracker::identification_read(const std::string& address,
                                                                const DeviceReadings& readings) {
    const Identity now{identification_item(readings, kSerialItem),
                       identification_item(readings, kFirmwareItem)};
    const auto known = identities_.find(address);
    if (known == identities_.end()) {
        identities_.emplace(address, now);
        return std::nullopt;
    }
    const Identity before = known->second;
    known->second = now;
    if (before.serial == now.serial && before.firmware == now.firmware) {
        return std::nullopt;
    }
    const std::string firmware =
        before.firmware == now.firmware ? now.firmware : before.firmware + " -> " + now.firmware;
    JournalEvent event =
        event_of(JournalKind::kIdentificationChanged,
                 before.serial != now.serial
                     ? "Another unit answers at " + address + ": serial number " + before.serial +
                           " -> " + now.serial + ", firmware " + firmware
                     : "The firmware of " + now.serial + " changed: " + firmware);
    // The serial number now is the event's own.
    add_text(event, "serial_before", before.serial);
    add_text(event, "firmware_before", before.firmware);
    add_text(event, "firmware", now.firmware);
    return event;
}

JournalEvent JournalTracker::start(const std::string& address, int interval_ms, bool logging,
                                   const std::string& log_file) {
    JournalEvent event =
        event_of(JournalKind::kStart,
                 format_text("Start: polling %s every %d ms, ", address.c_str(), interval_ms) +
                     (logging ? "logging to " + log_file : "not logging"));
    add_number(event, "interval_ms", interval_ms);
    event.fields.push_back({"logging", logging ? "true" : "false", true});
    add_text(event, "log_file", logging ? log_file : "");
    return event;
}

JournalEvent JournalTracker::stop(const std::string& address) {
    return event_of(JournalKind::kStop, "Stop: polling " + address + " ended");
}

JournalEvent JournalTracker::address_changed(const std::string& from, const std::string& to) {
    JournalEvent event =
        event_of(JournalKind::kAddressChanged, "The address changed from " + from + " to " + to);
    add_text(event, "from", from);
    add_text(event, "to", to);
    return event;
}

JournalEvent JournalTracker::reset(const int32_t (&latched)[kVoltageAlarmCount]) {
    std::string cleared;
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        if (latched[k] != 0) {
            cleared += (cleared.empty() ? "" : ", ") + std::string(kSupplyRails[k].label);
        }
    }
    JournalEvent event =
        event_of(JournalKind::kReset,
                 cleared.empty() ? "Reset: no lamp was lit" : "Reset cleared the lamps " + cleared);
    add_text(event, "cleared", cleared);
    return event;
}

JournalEvent JournalTracker::set(bool radio_before, bool radio, bool heater_before, bool heater,
                                 const std::string& failure) {
    JournalEvent event =
        event_of(JournalKind::kSet,
                 format_text("Set Radio %s -> %s, Heater %s -> %s: ", on_off(radio_before),
                             on_off(radio), on_off(heater_before), on_off(heater)) +
                     (failure.empty() ? "done" : failure));
    add_number(event, "radio_before", radio_before ? 1 : 0);
    add_number(event, "radio", radio ? 1 : 0);
    add_number(event, "heater_before", heater_before ? 1 : 0);
    add_number(event, "heater", heater ? 1 : 0);
    add_text(event, "outcome", failure.empty() ? "ok" : failure);
    return event;
}

JournalEvent JournalTracker::key_sent(size_t octets, const std::string& failure) {
    JournalEvent event =
        event_of(JournalKind::kKeySent,
                 "Send KEY: a key of " + std::to_string(octets) + " octets, " +
                     (failure.empty() ? std::string("taken by the device") : failure));
    add_number(event, "octets", static_cast<double>(octets));
    add_text(event, "outcome", failure.empty() ? "ok" : failure);
    return event;
}

JournalEvent JournalTracker::log_not_written(const std::string& file, const std::string& reason) {
    JournalEvent event =
        event_of(JournalKind::kLogNotWritten,
                 "The measurement log could not be written: " + file + ": " + reason);
    add_text(event, "file", file);
    add_text(event, "reason", reason);
    return event;
}

JournalEvent JournalTracker::settings_not_saved(const std::string& reason) {
    JournalEvent event =
        event_of(JournalKind::kSettingsNotSaved, "The settings could not be saved: " + reason);
    add_text(event, "reason", reason);
    return event;
}
