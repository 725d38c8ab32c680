// The simulated device itself: the objects its agent serves, their values
// and the little physics behind them. No sockets and no threads here; the
// agent (simulated_transceiver.h) owns one model and guards it.
//
// Time is model time, in seconds since the device was switched on, handed
// in by the owner through `advance_to`. Every measurement is a smooth
// function of that time plus a small noise that depends only on the object
// and the whole second, so a fixed time gives fixed values. The counters
// are integrated between calls: they grow at a steady rate while the radio
// is on and stand still while it is off, and they never go down.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "snmp/message.h"

// The device comes in two families, named by their link rate.
enum class DeviceFamily : int32_t { k350 = 350, k1000 = 1000 };

// Every object the agent answers, in the lexicographic order of their
// identifiers: the three MIB-II system objects 1.3.6.1.2.1.1.{1,4,5}.0, then
// 1.3.6.1.4.1.47.2.G.N.0 for G.N = 1.1 .. 6.9.
enum class DeviceObject : int {
    kSysDescr,
    kSysContact,
    kSysName,
    kIdentification1,  // 1.1 maker
    kIdentification2,  // 1.2 model, carries the family code
    kIdentification3,  // 1.3 serial number
    kIdentification4,  // 1.4 firmware
    kIdentification5,  // 1.5 hardware revision
    kIdentification6,  // 1.6 transmit frequency
    kIdentification7,  // 1.7 receive frequency
    kIdentification8,  // 1.8 key, writable
    kSensorCount,      // 2.1
    kTemperature1,     // 2.2 .. 2.4, hundredths of a degree
    kTemperature2,
    kTemperature3,
    kReceiverVoltage,     // 3.1 mV
    kTransmitterVoltage,  // 3.2 mV
    kAgcVoltage,          // 3.3 mV
    kAttenuation,         // 3.4 tenths of a dB
    kHumidity,            // 3.5 percent
    kSupply24V,           // 4.1 .. 4.7 mV; the -12 V rail as a positive magnitude
    kSupply12V,
    kSupply9V,
    kSupplyMinus12V,
    kSupply5V,
    kSupply3V3,
    kSupply5VStandby,
    kTotalCurrent,  // 4.8 tenths of a mA
    kRadioSwitch,   // 5.1 .. 5.6, 0 off or 1 on, writable
    kSwitch2,
    kHeaterSwitch,
    kSwitch4,
    kSwitch5,
    kSwitch6,
    kPhyToRadioRate,              // 6.1 packets per second
    kRadioToPhyRate,              // 6.2 packets per second
    kFecErrorsOrFrequencyOffset,  // 6.3 family 1000: FEC error counter; 350: offset in Hz
    kFecFailures,                 // 6.4 cumulative
    kModemStatusOrMse,  // 6.5 family 1000: bit 0 locked, bit 1 bad quality; 350: MSE, 0.1 dB
    kDownlinkMbps,      // 6.6
    kUplinkMbps,        // 6.7
    kDropPhyToRadio,    // 6.8 cumulative
    kDropRadioToPhy,    // 6.9 cumulative
};
constexpr int kDeviceObjectCount = 43;

// The seven supply rails, in the order of their objects 4.1 .. 4.7.
enum class SupplyRail : int { k24V, k12V, k9V, kMinus12V, k5V, k3V3, k5VStandby };
constexpr int kSupplyRailCount = 7;

constexpr int kSwitchCount = 6;
constexpr int kRadioSwitch = 0;   // switch index of object 5.1
constexpr int kHeaterSwitch = 2;  // switch index of object 5.3
// Longest key that identification item 8 takes.
constexpr int32_t kMaxKeyLength = 255;

// A value as the agent sends it: an INTEGER or an OCTET STRING.
struct DeviceValue {
    uint8_t type = kTagInteger;  // kTagInteger or kTagOctetString
    int32_t number = 0;          // when INTEGER
    std::string text;            // when OCTET STRING

    static DeviceValue integer(int32_t number);
    static DeviceValue octets(std::string text);
};

// The values of one row of a replayed log, served in place of the model's
// own (see log_replay.h).
struct ReplayedValues {
    DeviceFamily family = DeviceFamily::k350;
    // Identification items 1 to 8 as logged; all empty when the log had no
    // header block, and then the family's own texts are served.
    std::array<std::string, 8> id;
    std::array<int32_t, kDeviceObjectCount> numbers{};  // by object; texts' slots unused
};

enum class SetOutcome {
    kAccepted,
    kNotWritable,  // the object exists but cannot be set
    kBadValue,     // wrong type, or a value the object does not take
};

// The object named by `count` sub-identifiers at `ids`; false when the
// device has no such object (a prefix or an extension of a name is none).
bool find_device_object(const uint32_t* ids, int32_t count, DeviceObject* object);

// The first object whose name comes after the given name in lexicographic
// order; false past the last object.
bool next_device_object(const uint32_t* ids, int32_t count, DeviceObject* object);

// The object's full name, instance sub-identifier 0 included.
std::vector<uint32_t> device_object_name(DeviceObject object);

// The type every value of `object` has.
uint8_t device_object_type(DeviceObject object);

// "24v", "12v", "9v", "-12v", "5v", "3v3", "5vsb".
const char* supply_rail_name(SupplyRail rail);

// Nominal value of a rail, mV (the -12 V rail as a positive magnitude).
int32_t supply_rail_nominal_mv(SupplyRail rail);

class DeviceModel {
public:
    explicit DeviceModel(DeviceFamily family = DeviceFamily::k350);

    // Moves model time forward to `seconds`, integrating the counters and
    // the heater's warmth over the interval. A time before the current one
    // is taken as the current one: model time never runs backwards.
    void advance_to(double seconds);
    double now() const { return now_; }

    DeviceValue value(DeviceObject object) const;

    // Whether `value` may be written to `object`; `apply_set` then writes it.
    SetOutcome check_set(DeviceObject object, const DeviceValue& value) const;
    void apply_set(DeviceObject object, const DeviceValue& value);

    DeviceFamily family() const { return family_; }
    // Changes the family; switches, key and counters are kept.
    void set_family(DeviceFamily family) { family_ = family; }

    int32_t switch_state(int index) const;
    void set_switch(int index, bool on);

    // Serves `values` (and their family) instead of the model's own from
    // now on; a switch or the key written from then on is served as
    // written for as long as the replay lasts, and the radio switched off
    // that way makes both link rates and both link speeds read 0.
    void start_replay();
    void show_replayed(const ReplayedValues& values);
    bool replaying() const { return replaying_; }
    const std::string& key() const { return key_; }
    void set_key(std::string key) { key_ = std::move(key); }

    // Pins a rail at `millivolts` (for example outside its alarm limits)
    // until the override is cleared.
    void override_rail(SupplyRail rail, int32_t millivolts);
    void clear_rail_overrides();
    std::optional<int32_t> rail_override(SupplyRail rail) const;

    // Faults of the radio link, for seeing each class of second. Each runs
    // from the model's present time; a later call replaces it.
    // `per_second` more FEC failures every second (0: none beyond the usual).
    void set_error_rate(double per_second);
    // 40 % of the received blocks fail FEC for `seconds`.
    void start_error_burst(double seconds);
    // The receiver reports no lock for `seconds` (family 1000's status word).
    void unlock_receiver(double seconds);
    // Both link rates read 0 for `seconds`.
    void take_link_down(double seconds);
    // Every link fault above ended.
    void clear_link_faults();
    double error_rate() const { return error_rate_; }
    // The seconds each fault has still to run.
    double burst_left() const { return std::max(burst_until_ - now_, 0.0); }
    double unlock_left() const { return std::max(unlock_until_ - now_, 0.0); }
    double link_down_left() const { return std::max(link_down_until_ - now_, 0.0); }

private:
    int32_t measurement(DeviceObject object) const;
    int32_t replayed_measurement(DeviceObject object) const;
    int32_t supply_mv(SupplyRail rail) const;
    bool radio_on() const { return switches_[kRadioSwitch] != 0; }

    DeviceFamily family_;
    double now_ = 0.0;
    std::array<int32_t, kSwitchCount> switches_{};
    std::string key_;
    std::array<std::optional<int32_t>, kSupplyRailCount> rail_overrides_{};
    bool replaying_ = false;
    ReplayedValues replayed_;
    std::array<bool, kSwitchCount> switch_written_{};
    bool key_written_ = false;
    // Integrated state.
    double heater_warmth_ = 0.0;  // 0 (cold) .. 1 (fully warmed)
    double fec_errors_;
    double fec_failures_;
    double drops_phy_to_radio_;
    double drops_radio_to_phy_;
    double error_rate_ = 0.0;
    double burst_until_ = 0.0;
    double unlock_until_ = 0.0;
    double link_down_until_ = 0.0;
};
