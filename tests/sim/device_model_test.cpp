// The simulated device's values over model time, without the network.
#include "sim/device_model.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "catalog_rows.h"

namespace {

constexpr double kDaySeconds = 24 * 3600;

DeviceObject object_of(int row) {
    const auto name = catalog_name(row);
    DeviceObject object{};
    EXPECT_TRUE(find_device_object(name.data(), static_cast<int32_t>(name.size()), &object))
        << dotted(name);
    return object;
}

int32_t number(const DeviceModel& model, int row) {
    return model.value(object_of(row)).number;
}

class DeviceModelTest : public ::testing::TestWithParam<DeviceFamily> {
protected:
    void SetUp() override { model_ = DeviceModel(GetParam()); }
    DeviceModel model_;
};

TEST_P(DeviceModelTest, EveryValueStaysPlausibleForADay) {
    for (double t = 0; t <= kDaySeconds; t += 97.3) {
        model_.advance_to(t);
        for (int row = 11; row <= kLastRow; ++row) {
            const DeviceValue v = model_.value(object_of(row));
            ASSERT_EQ(v.type, kTagInteger) << "row " << row;
            const Plausible range = plausible_range(row, GetParam());
            ASSERT_GE(v.number, range.low) << "row " << row << " at " << t << " s";
            ASSERT_LE(v.number, range.high) << "row " << row << " at " << t << " s";
        }
    }
}

TEST_P(DeviceModelTest, ValuesStayPlausibleWithTheHeaterWarmAndTheRadioOff) {
    model_.set_switch(kHeaterSwitch, true);
    model_.set_switch(kRadioSwitch, false);
    for (double t = 0; t <= kDaySeconds; t += 311.0) {
        model_.advance_to(t);
        for (int row : {12, 13, 14, 20, 21, 22, 23, 24, 25, 26}) {
            const Plausible range = plausible_range(row, GetParam());
            ASSERT_GE(number(model_, row), range.low) << "row " << row << " at " << t << " s";
            ASSERT_LE(number(model_, row), range.high) << "row " << row << " at " << t << " s";
        }
        for (int row : {34, 35, 39, 40}) {
            ASSERT_EQ(number(model_, row), 0) << "row " << row;
        }
    }
}

// How far a measurement may move in one second, and that it does move
// within an hour: slowly varying, not frozen.
struct Drift {
    int row;
    int32_t max_step_per_second;
};

TEST_P(DeviceModelTest, MeasurementsDriftSlowly) {
    const std::vector<Drift> drifts = {
        {12, 40}, {13, 40}, {14, 40}, {15, 30}, {17, 25},  {20, 60},   {21, 30},   {22, 25},
        {23, 30}, {24, 15}, {25, 10}, {26, 15}, {27, 120}, {34, 1200}, {35, 1200},
    };
    for (const Drift& d : drifts) {
        DeviceModel model(GetParam());
        int32_t low = number(model, d.row);
        int32_t high = low;
        int32_t previous = low;
        for (int t = 1; t <= 3600; ++t) {
            model.advance_to(t);
            const int32_t v = number(model, d.row);
            ASSERT_LE(std::abs(v - previous), d.max_step_per_second)
                << "row " << d.row << " at " << t << " s";
            previous = v;
            low = std::min(low, v);
            high = std::max(high, v);
        }
        EXPECT_LT(low, high) << "row " << d.row << " never changes";
    }
}

TEST_P(DeviceModelTest, CountersGrowSteadilyWhileTheRadioIsOnAndHoldWhileItIsOff) {
    std::vector<int> counters = {37, 41, 42};
    if (GetParam() == DeviceFamily::k1000) {
        counters.push_back(36);
    }
    std::vector<int32_t> start;
    for (int row : counters) {
        start.push_back(number(model_, row));
    }
    model_.advance_to(1000);
    std::vector<int32_t> grown;
    for (size_t i = 0; i < counters.size(); ++i) {
        grown.push_back(number(model_, counters[i]));
        EXPECT_GT(grown[i], start[i]) << "row " << counters[i];
    }
    model_.set_switch(kRadioSwitch, false);
    model_.advance_to(2000);
    for (size_t i = 0; i < counters.size(); ++i) {
        EXPECT_EQ(number(model_, counters[i]), grown[i]) << "row " << counters[i];
    }
    model_.set_switch(kRadioSwitch, true);
    model_.advance_to(3000);
    for (size_t i = 0; i < counters.size(); ++i) {
        // Steady: the second 1000 s with the radio on add what the first did.
        const int32_t first = grown[i] - start[i];
        const int32_t second = number(model_, counters[i]) - grown[i];
        EXPECT_NEAR(second, first, 1) << "row " << counters[i];
    }
}

TEST_P(DeviceModelTest, TimeNeverRunsBackwards) {
    model_.advance_to(500);
    const int32_t failures = number(model_, 37);
    const int32_t temperature = number(model_, 12);
    model_.advance_to(100);
    EXPECT_EQ(model_.now(), 500);
    EXPECT_EQ(number(model_, 37), failures);
    EXPECT_EQ(number(model_, 12), temperature);
}

TEST_P(DeviceModelTest, TheHeaterWarmsTheHousingGradually) {
    DeviceModel cold(GetParam());
    model_.set_switch(kHeaterSwitch, true);
    const auto warmer = [&](double t) {
        model_.advance_to(t);
        cold.advance_to(t);
        return number(model_, 14) - number(cold, 14);
    };
    const int32_t soon = warmer(5);
    const int32_t later = warmer(600);
    EXPECT_GT(soon, 0);
    EXPECT_GT(later, soon);
    EXPECT_LE(later, 1000) << "at most ten degrees";
    model_.set_switch(kHeaterSwitch, false);
    EXPECT_LT(warmer(1800), later) << "cools down again";
}

TEST_P(DeviceModelTest, ARailOverrideHoldsUntilCleared) {
    model_.override_rail(SupplyRail::kMinus12V, 7999);
    for (double t : {0.0, 10.0, 5000.0}) {
        model_.advance_to(t);
        EXPECT_EQ(number(model_, 23), 7999);
    }
    model_.clear_rail_overrides();
    EXPECT_NE(number(model_, 23), 7999);
    EXPECT_FALSE(model_.rail_override(SupplyRail::kMinus12V).has_value());
}

TEST_P(DeviceModelTest, LinkFaultsRunForTheirTimeThenEnd) {
    const bool wide = GetParam() == DeviceFamily::k1000;
    const auto at = [&](DeviceObject object) { return model_.value(object).number; };
    model_.advance_to(100);
    const int32_t fails = at(DeviceObject::kFecFailures);
    model_.set_error_rate(100);
    model_.advance_to(110);
    // 100 a second on top of the usual 0.2.
    EXPECT_EQ(at(DeviceObject::kFecFailures) - fails, 1002);
    model_.set_error_rate(0);
    model_.start_error_burst(5);
    model_.unlock_receiver(5);
    model_.take_link_down(5);
    model_.advance_to(114);
    EXPECT_EQ(at(DeviceObject::kDownlinkMbps), 0);
    EXPECT_EQ(at(DeviceObject::kUplinkMbps), 0);
    if (wide) {
        EXPECT_EQ(at(DeviceObject::kModemStatusOrMse), 2) << "no lock, bad quality in the burst";
    }
    // Over 30 % of the received blocks failed in the burst's seconds.
    const double received = at(DeviceObject::kRadioToPhyRate) * 4.0;
    EXPECT_GT(at(DeviceObject::kFecFailures) - fails - 1002, 0.3 * received);
    model_.advance_to(116);
    EXPECT_EQ(at(DeviceObject::kDownlinkMbps), static_cast<int32_t>(GetParam()));
    if (wide) {
        EXPECT_EQ(at(DeviceObject::kModemStatusOrMse), 1);
    }
    const int32_t after = at(DeviceObject::kFecFailures);
    model_.advance_to(126);
    EXPECT_EQ(at(DeviceObject::kFecFailures) - after, 2);
}

INSTANTIATE_TEST_SUITE_P(, DeviceModelTest,
                         ::testing::Values(DeviceFamily::k350, DeviceFamily::k1000),
                         [](const ::testing::TestParamInfo<DeviceFamily>& info) {
                             return "Family" + std::to_string(static_cast<int>(info.param));
                         });

TEST(DeviceObjectNames, EveryCatalogRowNamesItsOwnObject) {
    std::vector<bool> seen(kDeviceObjectCount, false);
    for (int row = kFirstRow; row <= kLastRow; ++row) {
        const DeviceObject object = object_of(row);
        EXPECT_EQ(device_object_name(object), catalog_name(row)) << "row " << row;
        EXPECT_EQ(device_object_type(object), catalog_type(row)) << "row " << row;
        EXPECT_FALSE(seen[static_cast<int>(object)]) << "row " << row << " shares an object";
        seen[static_cast<int>(object)] = true;
    }
}

TEST(DeviceObjectNames, NamesAreFoundExactlyAndTheNextOneAfterAnyName) {
    // The first and last objects, and names around them that are none.
    const struct {
        const char* what;
        std::vector<uint32_t> name;
        int found;  // object index, -1: no object has that name
        int next;   // object index, -1: none after it
    } cases[] = {
        {"before every object", {1, 3, 6, 1, 2, 1}, -1, 0},
        {"sysDescr", {1, 3, 6, 1, 2, 1, 1, 1, 0}, 0, 1},
        {"sysDescr without its instance", {1, 3, 6, 1, 2, 1, 1, 1}, -1, 0},
        {"sysDescr with one arc more", {1, 3, 6, 1, 2, 1, 1, 1, 0, 0}, -1, 1},
        {"between sysName and the enterprise", {1, 3, 6, 1, 3}, -1, 3},
        {"sysDescr instance 1", {1, 3, 6, 1, 2, 1, 1, 1, 1}, -1, 1},
        {"group 6 item 9", {1, 3, 6, 1, 4, 1, 47, 2, 6, 9, 0}, 42, -1},
        {"group 6 item 9 instance 1", {1, 3, 6, 1, 4, 1, 47, 2, 6, 9, 1}, -1, -1},
        {"sysDescr's item under the enterprise", {1, 3, 6, 1, 4, 1, 47, 2, 1, 0}, -1, 3},
        {"group 4 item 9, missing", {1, 3, 6, 1, 4, 1, 47, 2, 4, 9, 0}, -1, 28},
        {"past every object", {1, 3, 6, 1, 4, 1, 47, 3}, -1, -1},
    };
    for (const auto& c : cases) {
        const auto count = static_cast<int32_t>(c.name.size());
        DeviceObject object{};
        EXPECT_EQ(find_device_object(c.name.data(), count, &object), c.found >= 0) << c.what;
        if (c.found >= 0) {
            EXPECT_EQ(static_cast<int>(object), c.found) << c.what;
        }
        DeviceObject next{};
        EXPECT_EQ(next_device_object(c.name.data(), count, &next), c.next >= 0) << c.what;
        if (c.next >= 0) {
            EXPECT_EQ(static_cast<int>(next), c.next) << c.what;
        }
    }
}

TEST(DeviceObjectNames, AWalkFromTheRootVisitsEveryRowOnceInCatalogOrder) {
    std::vector<uint32_t> name = {1, 3};
    for (int row = kFirstRow; row <= kLastRow; ++row) {
        DeviceObject next{};
        ASSERT_TRUE(next_device_object(name.data(), static_cast<int32_t>(name.size()), &next))
            << "after " << dotted(name);
        name = device_object_name(next);
        EXPECT_EQ(name, catalog_name(row));
    }
    DeviceObject past{};
    EXPECT_FALSE(next_device_object(name.data(), static_cast<int32_t>(name.size()), &past));
}

}  // namespace
