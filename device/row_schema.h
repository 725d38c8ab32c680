// The row schema: every fact about a reading the console logs, shows and
// exports, in one table. The log writer and the log reader walk the same
// columns; the exports, the terminal's line and JSON forms, the manual's
// column list and the generators read them too. The supply rails keep their
// own facts (label, sign, lamp) in kSupplyRails, which this table points to.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>

#include "device/device_readings.h"
#include "device/parameter_catalog.h"
#include "device/supply_rails.h"

// The names of each device row outside the console: the MIB's descriptor
// and the unit of its value as the device sends it (empty where there is
// none or it depends on the family), and the snmp_exporter's metric (after
// its prefix) with its help, null for the rows the exporter does not ask
// for (the key, a secret, and the row the console never requests). One
// entry per row under the enterprise subtree, in catalog order.
struct RowNames {
    Param row;
    const char* mib;
    const char* device_unit;
    const char* metric;
    const char* metric_help;
};
// clang-format off
inline constexpr RowNames kRowNames[] = {
    {Param::kIdItem1, "tarvikIdItem1", "", "id_item_1",
     "Identification item 1 (ID1)"},
    {Param::kIdItem2, "tarvikIdItem2", "", "id_item_2",
     "Identification item 2 (ID2; carries the family code)"},
    {Param::kIdItem3, "tarvikIdItem3", "", "id_item_3",
     "Identification item 3 (ID3)"},
    {Param::kIdItem4, "tarvikIdItem4", "", "id_item_4",
     "Identification item 4 (ID4)"},
    {Param::kIdItem5, "tarvikIdItem5", "", "id_item_5",
     "Identification item 5 (ID5)"},
    {Param::kIdItem6, "tarvikIdItem6", "", "id_item_6",
     "Identification item 6 (ID6)"},
    {Param::kIdItem7, "tarvikIdItem7", "", "id_item_7",
     "Identification item 7 (ID7)"},
    {Param::kIdItem8, "tarvikIdItem8", "", nullptr,
     nullptr},
    {Param::kUnrequested, "tarvikUnrequested", "", nullptr,
     nullptr},
    {Param::kTemperature1, "tarvikTemperature1", "0.01 degrees Celsius", "temperature_1",
     "Temperature sensor 1, in 0.01 degC"},
    {Param::kTemperature2, "tarvikTemperature2", "0.01 degrees Celsius", "temperature_2",
     "Temperature sensor 2, in 0.01 degC"},
    {Param::kTemperature3, "tarvikTemperature3", "0.01 degrees Celsius", "temperature_3",
     "Temperature sensor 3, in 0.01 degC"},
    {Param::kReceiverVoltage, "tarvikReceiverVoltage", "mV", "receiver_voltage",
     "Receiver voltage, in mV"},
    {Param::kTransmitterVoltage, "tarvikTransmitterVoltage", "mV", "transmitter_voltage",
     "Transmitter voltage, in mV"},
    {Param::kAgcVoltage, "tarvikAgcVoltage", "mV", "agc_voltage",
     "AGC voltage, in mV"},
    {Param::kAttenuation, "tarvikAttenuation", "0.1 dB", "attenuation",
     "Attenuation, in 0.1 dB"},
    {Param::kHumidity, "tarvikHumidity", "", "humidity",
     "Humidity, in the device's own unit"},
    {Param::kSupply24V, "tarvikSupply24V", "mV", "supply_24v",
     "Supply +24 V, in mV"},
    {Param::kSupply12V, "tarvikSupply12V", "mV", "supply_12v",
     "Supply +12 V, in mV"},
    {Param::kSupply9V, "tarvikSupply9V", "mV", "supply_9v",
     "Supply +9 V, in mV"},
    {Param::kSupplyMinus12V, "tarvikSupplyMinus12V", "mV", "supply_minus_12v",
     "Supply -12 V, its magnitude in mV"},
    {Param::kSupply5V, "tarvikSupply5V", "mV", "supply_5v",
     "Supply +5 V, in mV"},
    {Param::kSupply3V3, "tarvikSupply3V3", "mV", "supply_3v3",
     "Supply +3.3 V, in mV"},
    {Param::kSupply5VStandby, "tarvikSupply5VStandby", "mV", "supply_5v_standby",
     "Supply +5 V standby, in mV"},
    {Param::kTotalCurrent, "tarvikTotalCurrent", "0.1 mA", "total_current",
     "Total current, in 0.1 mA"},
    {Param::kSwitch1, "tarvikRadioSwitch", "", "switch_1",
     "Switch 1 (radio), 0 off or 1 on"},
    {Param::kSwitch2, "tarvikSwitch2", "", "switch_2",
     "Switch 2, 0 off or 1 on"},
    {Param::kSwitch3, "tarvikHeaterSwitch", "", "switch_3",
     "Switch 3 (heater), 0 off or 1 on"},
    {Param::kSwitch4, "tarvikSwitch4", "", "switch_4",
     "Switch 4, 0 off or 1 on"},
    {Param::kSwitch5, "tarvikSwitch5", "", "switch_5",
     "Switch 5, 0 off or 1 on"},
    {Param::kSwitch6, "tarvikSwitch6", "", "switch_6",
     "Switch 6, 0 off or 1 on"},
    {Param::kPhyToRadioRate, "tarvikPhyToRadioRate", "packets per second", "phy_to_radio_rate",
     "PHY to radio rate, in packets per second"},
    {Param::kRadioToPhyRate, "tarvikRadioToPhyRate", "packets per second", "radio_to_phy_rate",
     "Radio to PHY rate, in packets per second"},
    {Param::kFecErrorCount, "tarvikFecErrorCount", "", "fec_errors_or_frequency_offset",
     "FEC errors (family 1000); frequency offset in Hz (family 350)"},
    {Param::kFecFailCount, "tarvikFecFailCount", "", "fec_failures_total",
     "FEC failures, cumulative"},
    {Param::kModemStatus, "tarvikModemStatus", "", "modem_status_or_mse",
     "Modem status bits (family 1000); receive MSE in 0.1 dB (family 350)"},
    {Param::kDownLinkMbps, "tarvikDownLinkRate", "Mbps", "down_link_rate",
     "Downlink rate, in Mbps"},
    {Param::kUpLinkMbps, "tarvikUpLinkRate", "Mbps", "up_link_rate",
     "Uplink rate, in Mbps"},
    {Param::kDropQ1Count, "tarvikDropPhyToRadio", "", "dropped_phy_to_radio_total",
     "Dropped PHY to radio packets, cumulative (32 bits, sent as signed)"},
    {Param::kDropTxCount, "tarvikDropRadioToPhy", "", "dropped_radio_to_phy_total",
     "Dropped radio to PHY packets, cumulative (32 bits, sent as signed)"},
};
// clang-format on

constexpr bool row_names_follow_catalog() {
    int index = kIdentificationRun.first_index;
    for (const RowNames& names : kRowNames) {
        if (catalog_index(names.row) != index++) {
            return false;
        }
    }
    return index == kTrafficRun.first_index + kTrafficRun.count;
}
static_assert(row_names_follow_catalog(), "one entry per device row, in catalog order");

// The names of device row `row` (rows 3 to 42).
constexpr const RowNames& row_names(Param row) {
    return kRowNames[catalog_index(row) - kIdentificationRun.first_index];
}

// How a reading is held in DeviceReadings.
enum class ValueKind : uint8_t { kInt32, kUint32, kDouble };

// Where a reading lives: one of the three accessors, by `kind`.
struct ReadingField {
    ValueKind kind;
    int32_t& (*int32)(DeviceReadings&);
    uint32_t& (*uint32)(DeviceReadings&);
    double& (*real)(DeviceReadings&);
};
constexpr ReadingField int32_field(int32_t& (*f)(DeviceReadings&)) {
    return {ValueKind::kInt32, f, nullptr, nullptr};
}
constexpr ReadingField uint32_field(uint32_t& (*f)(DeviceReadings&)) {
    return {ValueKind::kUint32, nullptr, f, nullptr};
}
constexpr ReadingField double_field(double& (*f)(DeviceReadings&)) {
    return {ValueKind::kDouble, nullptr, nullptr, f};
}

// The families whose log lines carry a column.
enum FamilySet : uint8_t { kIn350 = 1, kIn1000 = 2, kInBoth = 3 };

// The columns, in the order of the exports (both families' columns in one
// set): the columns both families log, then family 1000's, then 350's.
enum class Column : int {
    kTemperature1,
    kTemperature2,
    kTemperature3,
    kReceiverVoltage,
    kTransmitterVoltage,
    kAgcVoltage,
    kAttenuation,
    kHumidity,
    kSupply24V,
    kSupply12V,
    kSupply9V,
    kSupplyMinus12V,
    kSupply5V,
    kSupply3V3,
    kSupply5VStandby,
    kTotalCurrent,
    kRadioSwitch,
    kHeaterSwitch,
    kPhyToRadioRate,
    kPhyToRadioTotal,
    kRadioToPhyRate,
    kRadioToPhyTotal,
    kFecErrorCount,
    kFecFailCount,
    kPacketErrorRatio,
    kModemStatus,
    kDropQ1Count,
    kDropTxCount,
    kUpLinkMbps,
    kDownLinkMbps,
    kMse,
    kFrequencyOffset,
};
constexpr int kColumnCount = static_cast<int>(Column::kFrequencyOffset) + 1;

struct ColumnSpec {
    Column column;
    Param row;            // the catalog row it comes from (a total: its rate's)
    const char* heading;  // in the log, without padding: "TS1"
    const char* name;     // in the exports, without the unit: "temperature_1"
    const char* unit;     // of the logged and exported value; "" for a count
    double scale;         // device units per logged unit: 100 for degrees
    const char* format;   // the log's conversion: %ld for int32, %lu for uint32
    ReadingField field;
    FamilySet families;
    // What the window calls it (pane line, check box); "" where it is shown
    // nowhere.
    const char* pane;
    bool whole;           // exported as a whole number
    const char* meaning;  // one line for the manual
};

// clang-format off
inline constexpr ColumnSpec kColumns[kColumnCount] = {
    {Column::kTemperature1, Param::kTemperature1, "TS1", "temperature_1", "degC", kCentidegreesPerDegree, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.temperature[0]; }), kInBoth,
     "Temperature Sensor 1", false, "temperature sensor 1"},
    {Column::kTemperature2, Param::kTemperature2, "TS2", "temperature_2", "degC", kCentidegreesPerDegree, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.temperature[1]; }), kInBoth,
     "Temperature Sensor 2", false, "temperature sensor 2"},
    {Column::kTemperature3, Param::kTemperature3, "TS3", "temperature_3", "degC", kCentidegreesPerDegree, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.temperature[2]; }), kInBoth,
     "Temperature Sensor 3", false, "temperature sensor 3"},
    {Column::kReceiverVoltage, Param::kReceiverVoltage, "URE", "receiver_voltage", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.receiver_voltage; }), kInBoth,
     "Ureceiver", false, "receiver voltage"},
    {Column::kTransmitterVoltage, Param::kTransmitterVoltage, "UTR", "transmitter_voltage", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.transmitter_voltage; }), kInBoth,
     "Utransmitter", false, "transmitter voltage"},
    {Column::kAgcVoltage, Param::kAgcVoltage, "UAG", "agc_voltage", "V", kMillivoltsPerVolt, "%.2f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.agc_voltage; }), kInBoth,
     "Voltage AGC", false, "AGC voltage"},
    {Column::kAttenuation, Param::kAttenuation, "ATT", "attenuation", "dB", kTenthsPerDecibel, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.attenuation; }), kInBoth,
     "Attenuation", false, "attenuation"},
    {Column::kHumidity, Param::kHumidity, "HUM", "humidity", "", 1, "%ld",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.humidity; }), kInBoth,
     "", true, "humidity, in the device's own unit; logged, not shown"},
    {Column::kSupply24V, Param::kSupply24V, "U24V", "supply_24v", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.supply_24v; }), kInBoth,
     kSupplyRails[0].label, false, "+24 V supply rail"},
    {Column::kSupply12V, Param::kSupply12V, "U+12V", "supply_12v", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.supply_12v; }), kInBoth,
     kSupplyRails[1].label, false, "+12 V supply rail"},
    {Column::kSupply9V, Param::kSupply9V, "U+9V", "supply_9v", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.supply_9v; }), kInBoth,
     kSupplyRails[2].label, false, "+9 V supply rail"},
    {Column::kSupplyMinus12V, Param::kSupplyMinus12V, "U-12V", "supply_minus_12v", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.supply_minus_12v; }), kInBoth,
     kSupplyRails[3].label, false,
     "-12 V supply rail; the log holds its magnitude (12.1), the exports its signed value (-12.1)"},
    {Column::kSupply5V, Param::kSupply5V, "U+5V", "supply_5v", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.supply_5v; }), kInBoth,
     kSupplyRails[4].label, false, "+5 V supply rail"},
    {Column::kSupply3V3, Param::kSupply3V3, "U+3.3V", "supply_3v3", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.supply_3v3; }), kInBoth,
     kSupplyRails[5].label, false, "+3.3 V supply rail"},
    {Column::kSupply5VStandby, Param::kSupply5VStandby, "U+5VSB", "supply_5v_standby", "V", kMillivoltsPerVolt, "%.1f",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.supply_5v_standby; }), kInBoth,
     kSupplyRails[6].label, false, "+5 V standby rail"},
    {Column::kTotalCurrent, Param::kTotalCurrent, "Curr", "total_current", "mA", 1, "%ld",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.total_current; }), kInBoth,
     "Total Consumtion", true, "total current (the device reports tenths of a mA)"},
    {Column::kRadioSwitch, Param::kSwitch1, "ONP", "radio_switch", "", 1, "%ld",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.control_state[0]; }), kInBoth,
     "Radio", true, "radio switch: 0 off, 1 on"},
    {Column::kHeaterSwitch, Param::kSwitch3, "ON1", "heater_switch", "", 1, "%ld",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.control_state[2]; }), kInBoth,
     "Heater", true, "heater switch: 0 off, 1 on"},
    {Column::kPhyToRadioRate, Param::kPhyToRadioRate, "PHY->R[pps]", "phy_to_radio_rate", "pps", 1, "%.f",
     double_field([](DeviceReadings& r) -> double& { return r.phy_to_radio_rate; }), kInBoth,
     "PHY->Radio packets per sec.", true, "PHY-to-radio packets per second"},
    {Column::kPhyToRadioTotal, Param::kPhyToRadioRate, "PHY->R", "phy_to_radio_total", "", 1, "%.6e",
     double_field([](DeviceReadings& r) -> double& { return r.phy_to_radio_total; }), kInBoth,
     "PHY->Radio packets total", false,
     "PHY-to-radio packets since Reset, estimated from the rates and the time between polls (7 digits in the log)"},
    {Column::kRadioToPhyRate, Param::kRadioToPhyRate, "R->PHY[pps]", "radio_to_phy_rate", "pps", 1, "%.f",
     double_field([](DeviceReadings& r) -> double& { return r.radio_to_phy_rate; }), kInBoth,
     "Radio->PHY packets per sec.", true, "radio-to-PHY packets per second"},
    {Column::kRadioToPhyTotal, Param::kRadioToPhyRate, "R->PHY", "radio_to_phy_total", "", 1, "%.6e",
     double_field([](DeviceReadings& r) -> double& { return r.radio_to_phy_total; }), kInBoth,
     "Radio->PHY packets total", false,
     "radio-to-PHY packets since Reset, estimated from the rates and the time between polls (7 digits in the log)"},
    {Column::kFecErrorCount, Param::kFecErrorCount, "FECerr", "fec_errors", "", 1, "%ld",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.fec_error_count; }), kIn1000,
     "", true, "FEC error counter, as the device counts"},
    {Column::kFecFailCount, Param::kFecFailCount, "FECfail", "fec_failures", "", 1, "%.f",
     double_field([](DeviceReadings& r) -> double& { return r.fec_fail_count; }), kInBoth,
     "FEC fails total", true,
     "FEC failure counter, as the device counts (the pane shows the failures since Reset)"},
    {Column::kPacketErrorRatio, Param::kFecFailCount, "PER", "packet_error_ratio", "", 1, "%.3e",
     double_field([](DeviceReadings& r) -> double& { return r.packet_error_ratio; }), kInBoth,
     "PER total", false, "FEC failures since Reset over the radio-to-PHY total plus 1"},
    {Column::kModemStatus, Param::kModemStatus, "ModSt", "modem_status", "", 1, "%ld",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.modem_status; }), kIn1000,
     "Status", true, "modem status word: bit 0 receiver locked, bit 1 bad quality"},
    {Column::kDropQ1Count, Param::kDropQ1Count, "DropQ1", "dropped_phy_to_radio", "", 1, "%lu",
     uint32_field([](DeviceReadings& r) -> uint32_t& { return r.drop_q1_count; }), kIn350,
     "Drop PHY->R packets total", true,
     "dropped PHY-to-radio packets, as the device counts (the pane shows the drops since Reset)"},
    {Column::kDropTxCount, Param::kDropTxCount, "DropTX", "dropped_radio_to_phy", "", 1, "%lu",
     uint32_field([](DeviceReadings& r) -> uint32_t& { return r.drop_tx_count; }), kIn350,
     "Drop R->PHY packets total", true,
     "dropped radio-to-PHY packets, as the device counts (the pane shows the drops since Reset)"},
    {Column::kUpLinkMbps, Param::kUpLinkMbps, "UpLink_Mbps", "up_link", "Mbps", 1, "%ld",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.up_link_mbps; }), kIn350,
     "UpLink", true, "uplink rate"},
    {Column::kDownLinkMbps, Param::kDownLinkMbps, "DownLink_Mbps", "down_link", "Mbps", 1, "%ld",
     int32_field([](DeviceReadings& r) -> int32_t& { return r.down_link_mbps; }), kIn350,
     "DownLink", true, "downlink rate"},
    {Column::kMse, Param::kModemStatus, "MSE_RX", "mse", "dB", kTenthsPerDecibel, "%.1f",
     uint32_field([](DeviceReadings& r) -> uint32_t& { return r.mse_tenths_db; }), kIn350,
     "MSE dB", false, "receive MSE"},
    {Column::kFrequencyOffset, Param::kFecErrorCount, "Frequency_Offset_Hz", "frequency_offset", "Hz", 1, "%.f",
     double_field([](DeviceReadings& r) -> double& { return r.frequency_offset_hz; }), kIn350,
     "Frequency Offset MHz", true, "frequency offset (the pane shows MHz)"},
};
// clang-format on

constexpr bool columns_in_order() {
    for (int i = 0; i < kColumnCount; ++i) {
        if (static_cast<int>(kColumns[i].column) != i) {
            return false;
        }
    }
    return true;
}
static_assert(columns_in_order(), "kColumns[i] is column i");

constexpr const ColumnSpec& column_spec(Column column) {
    return kColumns[static_cast<int>(column)];
}

// The log's first heading, padded as the console has always written it.
constexpr char kLogTimeHeading[] = "Time             ";

// One column of a family's log line, with its heading as written there
// (two of family 350's carry padding: " PER", "      DropQ1").
struct LogSlot {
    Column column;
    const char* heading = nullptr;  // null: the column's own heading
};

// The columns of each family's log line after the time, in their order.
// clang-format off
inline constexpr LogSlot kLogLayout350[] = {
    {Column::kTemperature1}, {Column::kTemperature2}, {Column::kTemperature3},
    {Column::kReceiverVoltage}, {Column::kTransmitterVoltage}, {Column::kAgcVoltage},
    {Column::kAttenuation}, {Column::kHumidity}, {Column::kSupply24V}, {Column::kSupply12V},
    {Column::kSupply9V}, {Column::kSupplyMinus12V}, {Column::kSupply5V}, {Column::kSupply3V3},
    {Column::kSupply5VStandby}, {Column::kTotalCurrent}, {Column::kRadioSwitch},
    {Column::kHeaterSwitch}, {Column::kPhyToRadioRate}, {Column::kPhyToRadioTotal},
    {Column::kRadioToPhyRate}, {Column::kRadioToPhyTotal},
    {Column::kFecFailCount}, {Column::kPacketErrorRatio, " PER"},
    {Column::kDropQ1Count, "      DropQ1"}, {Column::kDropTxCount}, {Column::kUpLinkMbps},
    {Column::kDownLinkMbps}, {Column::kMse}, {Column::kFrequencyOffset},
};
inline constexpr LogSlot kLogLayout1000[] = {
    {Column::kTemperature1}, {Column::kTemperature2}, {Column::kTemperature3},
    {Column::kReceiverVoltage}, {Column::kTransmitterVoltage}, {Column::kAgcVoltage},
    {Column::kAttenuation}, {Column::kHumidity}, {Column::kSupply24V}, {Column::kSupply12V},
    {Column::kSupply9V}, {Column::kSupplyMinus12V}, {Column::kSupply5V}, {Column::kSupply3V3},
    {Column::kSupply5VStandby}, {Column::kTotalCurrent}, {Column::kRadioSwitch},
    {Column::kHeaterSwitch}, {Column::kPhyToRadioRate}, {Column::kPhyToRadioTotal},
    {Column::kRadioToPhyRate}, {Column::kRadioToPhyTotal},
    {Column::kFecErrorCount}, {Column::kFecFailCount}, {Column::kPacketErrorRatio},
    {Column::kModemStatus},
};
// clang-format on

struct LogLayout {
    const LogSlot* slots;
    int count;  // columns after the time
};
// The layout of `family`'s lines: family 350's for 350, 1000's otherwise.
constexpr LogLayout log_layout(int32_t family) {
    return family == kFamily350
               ? LogLayout{kLogLayout350, static_cast<int>(std::size(kLogLayout350))}
               : LogLayout{kLogLayout1000, static_cast<int>(std::size(kLogLayout1000))};
}

constexpr bool layouts_follow_families() {
    for (int32_t family : {kFamily350, kFamily1000}) {
        const FamilySet in = family == kFamily350 ? kIn350 : kIn1000;
        const LogLayout layout = log_layout(family);
        int present = 0;
        for (const ColumnSpec& c : kColumns) {
            present += (c.families & in) != 0;
        }
        if (present != layout.count) {
            return false;
        }
        for (int i = 0; i < layout.count; ++i) {
            if ((column_spec(layout.slots[i].column).families & in) == 0) {
                return false;
            }
        }
    }
    return true;
}
static_assert(layouts_follow_families(), "each family logs exactly its columns");

// The heading of `slot` as the log writes it.
constexpr const char* log_heading(const LogSlot& slot) {
    return slot.heading != nullptr ? slot.heading : column_spec(slot.column).heading;
}

// The reading of `column` in device units.
double device_value(const ColumnSpec& column, const DeviceReadings& r);
// The reading in the logged unit, as the log holds it (the -12 V rail's
// magnitude).
double logged_value(const ColumnSpec& column, const DeviceReadings& r);
// The reading in the logged unit with its sign as shown: the -12 V rail
// negative. What the exports and the terminal's line and JSON forms give.
double signed_value(const ColumnSpec& column, const DeviceReadings& r);
// The field of `column` set from `value` in the logged unit, rounded to
// the device's unit; false, with nothing changed, when it does not fit.
bool store_logged_value(const ColumnSpec& column, DeviceReadings& r, double value);

// "temperature_1_degC": the export's heading of `column`, its unit after
// the name.
std::string export_heading(const ColumnSpec& column);
