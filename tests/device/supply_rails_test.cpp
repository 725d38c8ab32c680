// The rail table's invariants: each row agrees with itself and with the
// decoder, so that a rail added or changed in one column only is caught;
// and the texts of latched rails.
#include "device/supply_rails.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "test_names.h"

namespace {

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

struct RailCase {
    int rail;  // index into kSupplyRails
    int32_t millivolts;
    const char* text;
};

const RailCase kRailCases[] = {
    {0, 36000, "U +24V 36.0 V outside 22.0..35.0 V"},
    {1, 14500, "U +12V 14.5 V outside 10.0..14.0 V"},
    {1, 9940, "U +12V 9.9 V outside 10.0..14.0 V"},
    {2, 7000, "U +9V 7.0 V outside 8.0..11.0 V"},
    {3, 7900, "U -12V -7.9 V outside -14.0..-8.0 V"},
    {3, 14500, "U -12V -14.5 V outside -14.0..-8.0 V"},
    {3, 0, "U -12V 0.0 V outside -14.0..-8.0 V"},
    {4, 6200, "U +5V 6.2 V outside 4.0..6.0 V"},
    {5, 2400, "U +3.3V 2.4 V outside 2.5..4.0 V"},
};

class RailTextTest : public testing::TestWithParam<RailCase> {};

TEST_P(RailTextTest, NamesTheRailItsValueAndItsLimitsAsThePaneShowsThem) {
    DeviceReadings readings;
    readings.*kSupplyRails[GetParam().rail].reading = GetParam().millivolts;
    EXPECT_EQ(voltage_alarm_text(readings, GetParam().rail), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rails, RailTextTest, testing::ValuesIn(kRailCases),
                         [](const auto& info) { return case_name(info.param.text); });

}  // namespace
