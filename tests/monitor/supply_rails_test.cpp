// The rail table's invariants: each row agrees with itself and with the
// decoder, so that a rail added or changed in one column only is caught.
#include "monitor/supply_rails.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

TEST(SupplyRails, EachRowAgreesWithItselfAndTheDecoder) {
    std::set<ControlId> lamps;
    for (const RailSpec& rail : kSupplyRails) {
        SCOPED_TRACE(rail.label);
        DeviceReadings probe;
        // The catalog row's number lands in the rail's reading.
        EXPECT_EQ(plain_integer_field(probe, rail.row), &(probe.*rail.reading));
        EXPECT_EQ(rail.shown_negative, rail.nominal_volts < 0);
        // The shown value of the nominal voltage, from mV as the device reports it.
        const auto nominal_mv =
            static_cast<int32_t>(std::lround(std::fabs(rail.nominal_volts) * 1000));
        EXPECT_DOUBLE_EQ(shown_volts(rail, nominal_mv), rail.nominal_volts);
        if (rail.has_lamp) {
            EXPECT_LT(rail.low, nominal_mv);
            EXPECT_GT(rail.high, nominal_mv);
            const RailBounds bounds = lamp_bounds_volts(rail);
            EXPECT_LT(bounds.bottom, rail.nominal_volts);
            EXPECT_GT(bounds.top, rail.nominal_volts);
            EXPECT_TRUE(lamps.insert(rail.lamp).second) << "a second rail on one lamp";
        }
    }
}
