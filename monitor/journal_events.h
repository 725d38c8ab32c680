// The journal's events (logbook/journal.h), computed from what the monitor
// knows after each poll and command. Like the alarms, an event marks a
// change, never a state that merely persists: a device that stays silent
// gives one "no_answer", a rail that stays out of range one "lamp_latched".
//
// The tracker gives each event its kind, text and fields; the monitor
// stamps it with the time, the address and the serial number.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/device_readings.h"
#include "logbook/error_performance.h"
#include "logbook/journal.h"

// The device's own counters compared poll by poll: FEC failures, dropped
// PHY-to-radio and radio-to-PHY packets.
constexpr int kDeviceCounterCount = 3;

// The identification items that name the unit: its serial number and its
// firmware (items 3 and 4).
constexpr int kSerialItem = 2;
constexpr int kFirmwareItem = 3;

// The identification item `item` of `readings` as a string.
std::string identification_item(const DeviceReadings& readings, int item);

// What one finished poll tells the tracker.
struct PollFacts {
    double time = 0;  // seconds since the epoch
    bool answered = false;
    // Why it was not answered: the link alarm's text ("no answer from
    // HOST: reason").
    std::string cause;
    // The rails with a lamp that this poll found outside their limits, and
    // the lamps that latched by it (were clear before it).
    bool out_of_range[kVoltageAlarmCount] = {};
    bool latched[kVoltageAlarmCount] = {};
    // The link's availability as the error performance decides it after
    // this poll, and the start of the run that last changed it.
    bool unavailable = false;
    double unavailable_changed_at = 0;
};

// "2026-12-10T03:14:07+01:00": a time as the journal's texts name it, local
// with its offset.
std::string journal_time_text(double time);

class JournalTracker {
public:
    // The events of one finished poll of `readings`, in the order: no
    // answer or answered, family, counters, lamps latched, rails back in
    // range, link unavailable or available.
    std::vector<JournalEvent> after_poll(const PollFacts& poll, const DeviceReadings& readings);
    // Another device (a new address): its outage, rails, counters, family
    // and link are not the last one's. What is known of each address's
    // identification stays.
    void forget_device();
    // Polling started. A device silent at Stop is still silent: like the
    // link alarm, its answer after Start ends the outage. An outage that
    // begins in a run without answer counts from its first poll.
    void on_start();

    // Identification items read (Start or Get) from the device at `address`:
    // an event when its serial number or firmware differ from the last ones
    // known for that address this session.
    std::optional<JournalEvent> identification_read(const std::string& address,
                                                    const DeviceReadings& readings);

    // Each returns the one event of its kind.
    static JournalEvent start(const std::string& address, int interval_ms, bool logging,
                              const std::string& log_file);
    static JournalEvent stop(const std::string& address);
    static JournalEvent address_changed(const std::string& from, const std::string& to);
    // Reset with `latched` the lamps lit before it.
    static JournalEvent reset(const int32_t (&latched)[kVoltageAlarmCount]);
    // Set: the Radio and Heater switches before (as last read) and sent;
    // `failure` empty when the device took it (outcome "ok"), else what
    // the operator was told.
    static JournalEvent set(bool radio_before, bool radio, bool heater_before, bool heater,
                            const std::string& failure);
    static JournalEvent key_sent(size_t octets, const std::string& failure);
    static JournalEvent log_not_written(const std::string& file, const std::string& reason);
    static JournalEvent settings_not_saved(const std::string& reason);

private:
    struct Identity {
        std::string serial;
        std::string firmware;
    };
    bool seen_answer_ = false;   // any answered poll of this device
    bool run_answered_ = false;  // any answered poll since Start
    double last_answer_ = 0;     // the last answered poll's time
    bool silent_ = false;        // a "no_answer" stands
    double silent_since_ = 0;    // the outage's start
    bool out_of_range_[kVoltageAlarmCount] = {};
    bool counters_known_ = false;  // `counters_` are from an answered poll
    double counters_[kDeviceCounterCount] = {};
    int32_t family_ = 0;  // 0: no answered poll yet
    bool unavailable_ = false;
    double unavailable_since_ = 0;
    std::map<std::string, Identity> identities_;  // by address, as typed
};
