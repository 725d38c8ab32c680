// Lookups and conversions over the rail table.
#include "monitor/supply_rails.h"

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
