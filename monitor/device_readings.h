// Everything the console has decoded from the device, and the decoding.
//
// There is one process-wide record (`device_readings()`), but every
// operation here takes the record by reference so that tests use their own.
// Readings keep the device's units (millivolts, hundredths of a degree,
// tenths of a dB); scaling happens only when they are shown or logged.
#pragma once

#include <cstdint>

#include "snmp/agent_link.h"
#include "snmp/message.h"

constexpr int kIdTextCount = 8;
constexpr int kIdTextSize = 100;  // 99 characters and the terminator
constexpr int kStatusWordSize = 12;
constexpr int kTemperatureCount = 3;
constexpr int kControlStateCount = 6;
constexpr int kVoltageAlarmCount = 6;

// Device families, named by their link rate. Identification item 2 names
// the family with "KTR" (350) or "VXL" (1000).
constexpr int32_t kFamily350 = 350;
constexpr int32_t kFamily1000 = 1000;

// Groups for `clear_readings`.
constexpr int kClearMeasurements = 1;
constexpr int kClearIdentification = 2;

// A default-constructed record holds the start values: everything zero,
// both status words "no", family 350.
struct DeviceReadings {
    // Identification items 1 to 8 (catalog 3 to 10); item 8 also holds the
    // last key sent.
    char id_text[kIdTextCount][kIdTextSize] = {};

    int32_t temperature[kTemperatureCount] = {};  // catalog 12 to 14
    int32_t receiver_voltage = 0;                 // 15
    int32_t transmitter_voltage = 0;              // 16
    int32_t agc_voltage = 0;                      // 17
    int32_t attenuation = 0;                      // 18
    int32_t humidity = 0;                         // 19
    int32_t supply_24v = 0;                       // 20
    int32_t supply_12v = 0;                       // 21
    int32_t supply_9v = 0;                        // 22
    int32_t supply_minus_12v = 0;                 // 23, the positive magnitude
    int32_t supply_5v = 0;                        // 24
    int32_t supply_3v3 = 0;                       // 25
    int32_t supply_5v_standby = 0;                // 26
    int32_t total_current = 0;                    // 27, mA (the device sends tenths)

    int32_t control_state[kControlStateCount] = {};  // 28 to 33

    double phy_to_radio_rate = 0;   // 34, packets per second
    double radio_to_phy_rate = 0;   // 35
    double phy_to_radio_total = 0;  // running sums kept by the poll cycle
    double radio_to_phy_total = 0;

    int32_t fec_error_count = 0;     // 36
    double frequency_offset_hz = 0;  // 36 on family 350
    double fec_fail_count = 0;       // 37
    double fec_fail_baseline = 0;
    double fec_fail_since_reset = 0;
    double packet_error_ratio = 0;

    int32_t modem_status = 0;                    // 38
    uint32_t mse_tenths_db = 0;                  // 38 on family 350
    char receiver_word[kStatusWordSize] = "no";  // 38 on family 1000
    char quality_word[kStatusWordSize] = "no";   // 38 on family 1000
    int32_t down_link_mbps = 0;                  // 39 (and 38 on lock)
    int32_t up_link_mbps = 0;                    // 40

    uint32_t drop_q1_count = 0;  // 41
    uint32_t drop_q1_baseline = 0;
    uint32_t drop_q1_since_reset = 0;
    uint32_t drop_tx_count = 0;  // 42
    uint32_t drop_tx_baseline = 0;
    uint32_t drop_tx_since_reset = 0;

    int32_t family_rate_mbps = kFamily350;
    int32_t voltage_alarm[kVoltageAlarmCount] = {};  // 24, 12, 9, -12, 5, 3.3 V latches
};

// The process-wide record.
DeviceReadings& device_readings();

// kClearMeasurements zeroes the temperatures, voltages, attenuation,
// humidity, supplies, total current, both rates, modem status, MSE, both
// link rates and the frequency offset, and sets both status words to "no".
// kClearIdentification empties the eight identification texts and zeroes
// the control states. Any other group does nothing. Totals, counters,
// baselines, since-reset counts, the error ratio, the family and the alarm
// latches are never touched.
void clear_readings(DeviceReadings& readings, int group);

// The status fields that both Start's clearing and Reset empty: modem
// status, MSE, both link rates and the frequency offset to 0, both status
// words to "no".
void clear_status_fields(DeviceReadings& readings);

// The Reset half of the since-reset counters (FEC failures and both drop
// counters): each counter that is above 0 becomes its own baseline, and its
// since-reset count restarts at 0. A counter at 0 is left as it is.
void rebase_since_reset_counters(DeviceReadings& readings);

// Decodes an answer into `readings`. Returns false, with nothing changed,
// when there is no answer or its error status is not 0. Otherwise applies
// each binding in order by its catalog index (bindings outside the catalog,
// and indices 0, 1, 2, 11 and 43, are skipped; a binding without a value,
// or with fewer than 4 value octets where a number is expected, leaves its
// field alone) and returns true, also when there are no bindings.
bool apply_answer(DeviceReadings& readings, const SnmpMessage* answer);

// True when the answer has a binding for each of catalog rows `first_index`
// to `first_index + count - 1`.
bool answer_carries_rows(const SnmpMessage* answer, int first_index, int count);

// Requests catalog rows `first_index` to `first_index + count - 1` in one
// GetRequest over `link` and decodes the answer with `apply_answer`. Returns
// false, with nothing changed, when the rows lie outside the catalog, the
// request cannot be built (nothing is then sent), no answer comes within
// the link's wait, the answer carries an error status, or it lacks any of
// the rows asked for (an empty answer would otherwise pass for readings of
// zero).
bool fetch_parameters(AgentLink& link, DeviceReadings& readings, int first_index, int count);
