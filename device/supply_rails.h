// The supply rails: the one table that names each rail, its nominal voltage,
// its sign on screen, its lamp and the lamp's limits. The panes, the lamps
// and their latches, the alarm texts, the history's series, the terminal
// console and the generators all read it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "device/control_ids.h"
#include "device/device_readings.h"
#include "device/parameter_catalog.h"

struct RailSpec {
    int32_t DeviceReadings::*reading;  // mV as the device reports it
    Param row;
    const char* label;     // as the voltage pane names it: "U +24V"
    double nominal_volts;  // as shown: negative for the rail shown negative
    // The -12 V rail arrives as its positive magnitude and is shown negative.
    bool shown_negative;
    bool has_lamp;
    // The lamp's limits in mV as the device reports the rail; a value equal
    // to a limit is in range. Both 0 without a lamp.
    int32_t high;
    int32_t low;
    ControlId lamp;  // meaningful only with a lamp

    // The label without the pane's "U ": "+24V", as the rules and the
    // terminal console name the rail.
    constexpr const char* short_label() const { return label + 2; }
};

// The rails with a lamp come first, in the order of the latches
// (`DeviceReadings::voltage_alarm`); the standby rail has none.
constexpr int kRailCount = kVoltageAlarmCount + 1;
inline constexpr RailSpec kSupplyRails[kRailCount] = {
    // clang-format off
    {&DeviceReadings::supply_24v,        Param::kSupply24V,       "U +24V",  24,  false, true,  35000, 22000, ControlId::kVoltageLamp1},
    {&DeviceReadings::supply_12v,        Param::kSupply12V,       "U +12V",  12,  false, true,  14000, 10000, ControlId::kVoltageLamp2},
    {&DeviceReadings::supply_9v,         Param::kSupply9V,        "U +9V",   9,   false, true,  11000, 8000,  ControlId::kVoltageLamp3},
    {&DeviceReadings::supply_minus_12v,  Param::kSupplyMinus12V,  "U -12V",  -12, true,  true,  14000, 8000,  ControlId::kVoltageLamp4},
    {&DeviceReadings::supply_5v,         Param::kSupply5V,        "U +5V",   5,   false, true,  6000,  4000,  ControlId::kVoltageLamp5},
    {&DeviceReadings::supply_3v3,        Param::kSupply3V3,       "U +3.3V", 3.3, false, true,  4000,  2500,  ControlId::kVoltageLamp6},
    {&DeviceReadings::supply_5v_standby, Param::kSupply5VStandby, "U +5VSB", 5,   false, false, 0,     0,     ControlId::kVoltagePane},
    // clang-format on
};

constexpr bool lamps_come_first() {
    for (int k = 0; k < kRailCount; ++k) {
        if (kSupplyRails[k].has_lamp != (k < kVoltageAlarmCount)) {
            return false;
        }
    }
    return true;
}
static_assert(lamps_come_first(), "rail k < kVoltageAlarmCount has latch k; the others none");

// The lamps' controls in the order of the latches.
constexpr std::array<ControlId, kVoltageAlarmCount> voltage_lamps() {
    std::array<ControlId, kVoltageAlarmCount> lamps{};
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        lamps[static_cast<std::size_t>(k)] = kSupplyRails[k].lamp;
    }
    return lamps;
}
inline constexpr std::array<ControlId, kVoltageAlarmCount> kVoltageLamps = voltage_lamps();

// The rail of catalog row `row` (its index in kSupplyRails, -1 for none; or
// null for a row that is no supply rail).
constexpr int supply_rail_index(Param row) {
    for (int k = 0; k < kRailCount; ++k) {
        if (kSupplyRails[k].row == row) {
            return k;
        }
    }
    return -1;
}
inline const RailSpec* supply_rail_of(Param row) {
    const int k = supply_rail_index(row);
    return k < 0 ? nullptr : &kSupplyRails[k];
}

// A reading of `rail` in volts as the pane shows it (never "-0").
double shown_volts(const RailSpec& rail, int32_t millivolts);

// A lamp's limits in volts as the pane shows the rail (the -12 V rail's
// negative), bottom below top.
struct RailBounds {
    double bottom;
    double top;
};
RailBounds lamp_bounds_volts(const RailSpec& rail);

// The texts of a rail's lamp and alarm, read by the alarms, the windows'
// tips and the generated alert rules. `rail` below is a latch's index, which
// is the rail's row in `kSupplyRails`.

// A latched rail as the voltage pane shows it: "U -12V -7.9 V outside
// -14.0..-8.0 V" (the -12 V rail and its limits shown negative).
std::string voltage_alarm_text(const DeviceReadings& readings, int rail);
// The same with the value already written, such as a template's
// placeholder: "U -12V VALUE V outside -14.0..-8.0 V".
std::string rail_alarm_text(int rail, const std::string& value);
// A clear lamp's tip in the window, naming what lights it: "U +12V: lit
// when outside 10.0..14.0 V".
std::string clear_lamp_tip_text(int rail);
// A lit lamp's tip in the window: "U +12V went outside 10.0..14.0 V; lit
// until Reset".
std::string lamp_tip_text(int rail);
// The tip of a lamp that a poll without answer unchecked while its latch
// stands: "U +12V went outside 10.0..14.0 V earlier; not known now, shown
// again when the device answers".
std::string not_known_lamp_tip_text(int rail);
