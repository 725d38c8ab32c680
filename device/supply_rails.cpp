// Lookups, conversions and texts over the rail table.
#include "device/supply_rails.h"

#include "device/text_format.h"

double shown_volts(const RailSpec& rail, int32_t millivolts) {
    // + 0.0 keeps a zero from printing as "-0.0".
    const double value = static_cast<double>(millivolts) / kMillivoltsPerVolt;
    return (rail.shown_negative ? -value : value) + 0.0;
}

RailBounds lamp_bounds_volts(const RailSpec& rail) {
    const double a = shown_volts(rail, rail.low);
    const double b = shown_volts(rail, rail.high);
    return {a < b ? a : b, a < b ? b : a};
}

std::string voltage_alarm_text(const DeviceReadings& readings, int rail) {
    const RailSpec& supply = kSupplyRails[rail];
    return rail_alarm_text(rail,
                           format_text("%.1f", shown_volts(supply, readings.*supply.reading)));
}

std::string rail_alarm_text(int rail, const std::string& value) {
    const RailSpec& supply = kSupplyRails[rail];
    const RailBounds bounds = lamp_bounds_volts(supply);
    return format_text("%s %s V outside %.1f..%.1f V", supply.label, value.c_str(), bounds.bottom,
                       bounds.top);
}

std::string lamp_tip_text(int rail) {
    const RailSpec& supply = kSupplyRails[rail];
    const RailBounds bounds = lamp_bounds_volts(supply);
    return format_text("%s went outside %.1f..%.1f V; lit until Reset", supply.label, bounds.bottom,
                       bounds.top);
}

std::string clear_lamp_tip_text(int rail) {
    const RailSpec& supply = kSupplyRails[rail];
    const RailBounds bounds = lamp_bounds_volts(supply);
    return format_text("%s: lit when outside %.1f..%.1f V", supply.label, bounds.bottom,
                       bounds.top);
}

std::string not_known_lamp_tip_text(int rail) {
    const RailSpec& supply = kSupplyRails[rail];
    const RailBounds bounds = lamp_bounds_volts(supply);
    return format_text(
        "%s went outside %.1f..%.1f V earlier; not known now, shown again when the device answers",
        supply.label, bounds.bottom, bounds.top);
}
