// Everything the console has decoded from the device, and the decoding.
//
// There is one process-wide record (`device_readings()`), but every
// operation here takes the record by reference so that tests use their own.
// Readings keep the device's units (millivolts, hundredths of a degree,
// tenths of a dB); scaling happens only when they are shown or logged.
#pragma once

#include <bitset>
#include <cstdint>

#include "device/parameter_catalog.h"
#include "snmp/message.h"

constexpr int kIdTextCount = 8;
constexpr int kIdTextSize = 100;  // 99 characters and the terminator
constexpr int kTemperatureCount = 3;
constexpr int kControlStateCount = 6;
constexpr int kVoltageAlarmCount = 6;

// Device families, named by their link rate. Identification item 2 names
// the family with "KTR" (350) or "VXL" (1000).
constexpr int32_t kFamily350 = 350;
constexpr int32_t kFamily1000 = 1000;

// The family codes that identification item 2 carries. A code counts from
// the item's second character on and only within the stored text
// (kIdTextSize - 1 characters); the last code found decides, and a text
// without one leaves the family as it was.
constexpr int kFamilyCodeLength = 3;
struct FamilyCode {
    char code[kFamilyCodeLength + 1];
    int32_t family;
};
inline constexpr FamilyCode kFamilyCodes[] = {{"KTR", kFamily350}, {"VXL", kFamily1000}};

// The status word of row kModemStatus on family 1000: the receiver is
// locked while the first bit is set, its quality is bad while the second is.
constexpr uint32_t kModemLockedBit = 1u;
constexpr uint32_t kModemBadQualityBit = 2u;

// The receiver's lock and the link's quality on family 1000. kUnknown is the
// start value and what family 350 (which reports neither) leaves.
enum class ReceiverLock : uint8_t { kUnknown, kLocked, kNotLocked };
enum class LinkQuality : uint8_t { kUnknown, kGood, kBad };

struct ModemState {
    ReceiverLock lock;
    LinkQuality quality;
};
// The one decoder of the status word, for answers and log lines alike.
constexpr ModemState decode_modem_status(uint32_t bits) {
    return {(bits & kModemLockedBit) != 0 ? ReceiverLock::kLocked : ReceiverLock::kNotLocked,
            (bits & kModemBadQualityBit) != 0 ? LinkQuality::kBad : LinkQuality::kGood};
}

// The words the RX pane shows: "no" (unknown), "Lock", "NoLock"; "no",
// "Good", "Bad".
const char* receiver_lock_word(ReceiverLock lock);
const char* link_quality_word(LinkQuality quality);

// The device's units against the units the panes show. The total current
// arrives in tenths of a mA and is kept in whole mA, truncated toward zero.
constexpr double kCentidegreesPerDegree = 100.0;
constexpr double kMillivoltsPerVolt = 1000.0;
constexpr double kTenthsPerDecibel = 10.0;
constexpr double kHertzPerMegahertz = 1000000.0;
constexpr int32_t kCurrentTenthsPerMilliampere = 10;

// The groups of readings that `clear_readings` empties.
enum class ReadingGroup : int {
    kMeasurements = 1,
    kIdentification = 2,
};

// A default-constructed record holds the start values: everything zero,
// lock and quality unknown, family 350. Each field is decoded from the catalog
// row (`Param` in parameter_catalog.h) named beside it.
struct DeviceReadings {
    // kIdItem1 to kIdItem8; item 8 also holds the last key sent.
    char id_text[kIdTextCount][kIdTextSize] = {};

    int32_t temperature[kTemperatureCount] = {};  // kTemperature1 to kTemperature3
    int32_t receiver_voltage = 0;                 // kReceiverVoltage
    int32_t transmitter_voltage = 0;              // kTransmitterVoltage
    int32_t agc_voltage = 0;                      // kAgcVoltage
    int32_t attenuation = 0;                      // kAttenuation
    int32_t humidity = 0;                         // kHumidity
    int32_t supply_24v = 0;                       // kSupply24V
    int32_t supply_12v = 0;                       // kSupply12V
    int32_t supply_9v = 0;                        // kSupply9V
    int32_t supply_minus_12v = 0;                 // kSupplyMinus12V, the positive magnitude
    int32_t supply_5v = 0;                        // kSupply5V
    int32_t supply_3v3 = 0;                       // kSupply3V3
    int32_t supply_5v_standby = 0;                // kSupply5VStandby
    int32_t total_current = 0;                    // kTotalCurrent, mA (the device sends tenths)

    int32_t control_state[kControlStateCount] = {};  // kSwitch1 to kSwitch6

    double phy_to_radio_rate = 0;   // kPhyToRadioRate, packets per second
    double radio_to_phy_rate = 0;   // kRadioToPhyRate
    double phy_to_radio_total = 0;  // running sums kept by the poll cycle
    double radio_to_phy_total = 0;

    int32_t fec_error_count = 0;     // kFecErrorCount
    double frequency_offset_hz = 0;  // kFecErrorCount on family 350
    double fec_fail_count = 0;       // kFecFailCount
    double fec_fail_baseline = 0;
    double fec_fail_since_reset = 0;
    double packet_error_ratio = 0;

    int32_t modem_status = 0;                             // kModemStatus
    uint32_t mse_tenths_db = 0;                           // kModemStatus on family 350
    ReceiverLock receiver_lock = ReceiverLock::kUnknown;  // kModemStatus on family 1000
    LinkQuality link_quality = LinkQuality::kUnknown;     // kModemStatus on family 1000
    int32_t down_link_mbps = 0;  // kDownLinkMbps (and kModemStatus on lock)
    int32_t up_link_mbps = 0;    // kUpLinkMbps

    uint32_t drop_q1_count = 0;  // kDropQ1Count
    uint32_t drop_q1_baseline = 0;
    uint32_t drop_q1_since_reset = 0;
    uint32_t drop_tx_count = 0;  // kDropTxCount
    uint32_t drop_tx_baseline = 0;
    uint32_t drop_tx_since_reset = 0;

    int32_t family_rate_mbps = kFamily350;
    int32_t voltage_alarm[kVoltageAlarmCount] = {};  // latches, in the order of kSupplyRails
};

// The process-wide record.
DeviceReadings& device_readings();

// The field of `readings` that the number of catalog row `row` is stored in
// unchanged, or null for a row that is decoded otherwise (or not at all).
int32_t* plain_integer_field(DeviceReadings& readings, Param row);

// Whether catalog row `row` keeps its number as a signed 32-bit measurement
// (temperatures, voltages, attenuation, humidity, rails, current, switches,
// link rates). An unsigned type's value above 2147483647 would turn
// negative there (a Gauge32 of 4294967295 would show as -0.0), so an answer
// carrying one is no reading of the row.
bool signed_measurement_row(Param row);

// kMeasurements zeroes the temperatures, voltages, attenuation, humidity,
// supplies, total current, both rates, modem status, MSE, both link rates
// and the frequency offset, and sets the lock and the quality to unknown.
// kIdentification empties the eight identification texts and zeroes the
// control states. A value outside the enumeration does nothing. Totals,
// counters, baselines, since-reset counts, the error ratio, the family and
// the alarm latches are never touched.
void clear_readings(DeviceReadings& readings, ReadingGroup group);

// The status fields that both Start's clearing and Reset empty: modem
// status, MSE, both link rates and the frequency offset to 0, the lock and
// the quality to unknown.
void clear_status_fields(DeviceReadings& readings);

// The Reset half of the since-reset counters (FEC failures and both drop
// counters): each counter that is above 0 becomes its own baseline, and its
// since-reset count restarts at 0. A counter at 0 is left as it is.
void rebase_since_reset_counters(DeviceReadings& readings);

// Counting as a fresh run counts: both running totals, the three counters,
// their baselines and since-reset counts, and the error ratio to 0. For
// another device, whose counts have nothing to do with the last one's.
void restart_totals(DeviceReadings& readings);

// One bit per rail with a lamp, in the order of `kSupplyRails`.
using VoltageAlarms = std::bitset<kVoltageAlarmCount>;

// Sets the latch of every rail with a lamp that is outside its limits.
// A latch stays set, the rail back in range or not, until the owner clears
// it (Reset). Returns the rails found outside their limits by this call.
VoltageAlarms latch_voltage_alarms(DeviceReadings& readings);

// Decodes an answer into `readings`. Returns false, with nothing changed,
// when there is no answer or its error status is not 0. Otherwise applies
// each binding in order by its catalog row (bindings outside the catalog,
// the system rows, kUnrequested and kTerminator are skipped; a binding
// without a value, or with fewer than 4 value octets where a number is
// expected, leaves its field alone) and returns true, also when there are
// no bindings. The rates and the FEC failures, held as doubles, take a
// Counter32, Gauge32, TimeTicks or UInteger32 as the unsigned number it is.
bool apply_answer(DeviceReadings& readings, const SnmpMessage* answer);
