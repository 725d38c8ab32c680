// Readings for the benchmarks that fill a history: every chart has lines,
// and the values move a little from poll to poll.
#pragma once

#include <cstdint>

#include "device/device_readings.h"

inline DeviceReadings readings_at(int i) {
    DeviceReadings r;
    r.temperature[0] = 2000 + i % 700;
    r.temperature[1] = 3000 - i % 300;
    r.temperature[2] = 2500 + i % 150;
    r.supply_24v = 24000 + i % 97;
    r.supply_12v = 12000 + i % 89;
    r.supply_minus_12v = 12000 - i % 53;
    r.supply_5v = 5000 + i % 31;
    r.phy_to_radio_rate = 1000 + i % 17;
    r.radio_to_phy_rate = 900 + i % 19;
    r.phy_to_radio_total = 1000.0 * i;
    r.packet_error_ratio = (i % 13) * 1e-4;
    r.drop_q1_count = static_cast<uint32_t>(i / 3);
    r.mse_tenths_db = static_cast<uint32_t>(200 + i % 40);
    r.frequency_offset_hz = -2500 + i % 11;
    return r;
}
