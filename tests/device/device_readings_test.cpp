#include "device/device_readings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "answer_support.h"
#include "device/parameter_catalog.h"

namespace {

using namespace std::string_literals;
using Answer = std::vector<AnswerBinding>;
using Edit = void (*)(DeviceReadings&);
using R = DeviceReadings;

void set_text(char (&field)[kIdTextSize], const std::string& text) {
    std::snprintf(field, sizeof field, "%s", text.c_str());
}
void family_1000(R& r) {
    r.family_rate_mbps = kFamily1000;
}
void downlink_77(R& r) {
    r.down_link_mbps = 77;
}
void family_1000_downlink_77(R& r) {
    family_1000(r);
    downlink_77(r);
}

std::vector<uint32_t> with_extra_zero(int index) {
    std::vector<uint32_t> name = catalog_name(index);
    name.push_back(0);
    return name;
}
std::vector<uint32_t> without_instance(int index) {
    std::vector<uint32_t> name = catalog_name(index);
    name.pop_back();
    return name;
}

class ReadingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        readings = DeviceReadings{};
        expected = DeviceReadings{};
    }
    DeviceReadings readings;
    DeviceReadings expected;
};

TEST_F(ReadingsTest, StartValuesAreZeroSaveNoWordsAndFamily350) {
    EXPECT_STREQ(receiver_lock_word(readings.receiver_lock), "no");
    EXPECT_STREQ(link_quality_word(readings.link_quality), "no");
    EXPECT_EQ(readings.family_rate_mbps, kFamily350);
    const std::string text = describe(readings);
    size_t non_zero = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        if (line.substr(line.size() - 2) != "=0" && line.substr(line.size() - 3) != "=\"\"") {
            ++non_zero;
        }
        start = end + 1;
    }
    EXPECT_EQ(non_zero, 3u) << text;
    EXPECT_EQ(describe(device_readings()), text);
}

TEST_F(ReadingsTest, MissingAnswerIsRefused) {
    fill_every_field(readings);
    const std::string before = describe(readings);
    EXPECT_FALSE(apply_answer(readings, nullptr));
    EXPECT_EQ(describe(readings), before);
}

// An answer applied to a record, and exactly what it must change in it.
struct RuleCase {
    const char* description;
    Edit before;  // applied to both records first; may be null
    Answer answer;
    Edit change;
};
void PrintTo(const RuleCase& c, std::ostream* out) {
    *out << c.description;
}

class DecodingRule : public ReadingsTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(DecodingRule, ChangesItsFieldsAndNothingElse) {
    const RuleCase& c = GetParam();
    if (c.before != nullptr) {
        c.before(readings);
        c.before(expected);
    }
    apply_or_fail(readings, c.answer);
    c.change(expected);
    EXPECT_EQ(describe(readings), describe(expected));
}

const RuleCase kNumberRules[] = {
    {"temperatures",
     nullptr,
     {number_at(12, -1234), number_at(13, 2345), number_at(14, 3456)},
     [](R& r) {
         r.temperature[0] = -1234;
         r.temperature[1] = 2345;
         r.temperature[2] = 3456;
     }},
    {"receiver group",
     nullptr,
     {number_at(15, 5001), number_at(16, 5002), number_at(17, -5003), number_at(18, 54),
      number_at(19, 55)},
     [](R& r) {
         r.receiver_voltage = 5001;
         r.transmitter_voltage = 5002;
         r.agc_voltage = -5003;
         r.attenuation = 54;
         r.humidity = 55;
     }},
    {"supply rails",
     nullptr,
     {number_at(20, 24001), number_at(21, 12002), number_at(22, 9003), number_at(23, 12004),
      number_at(24, 5005), number_at(25, 3306), number_at(26, 5007)},
     [](R& r) {
         r.supply_24v = 24001;
         r.supply_12v = 12002;
         r.supply_9v = 9003;
         r.supply_minus_12v = 12004;
         r.supply_5v = 5005;
         r.supply_3v3 = 3306;
         r.supply_5v_standby = 5007;
     }},
    {"total current 12345 gives 1234",
     nullptr,
     {number_at(27, 12345)},
     [](R& r) { r.total_current = 1234; }},
    {"total current minus 15 gives minus 1",
     nullptr,
     {number_at(27, -15)},
     [](R& r) { r.total_current = -1; }},
    {"control switches",
     nullptr,
     {number_at(28, 1), number_at(29, 2), number_at(30, 3), number_at(31, 4), number_at(32, 5),
      number_at(33, -6)},
     [](R& r) {
         const int32_t states[] = {1, 2, 3, 4, 5, -6};
         std::copy(std::begin(states), std::end(states), r.control_state);
     }},
    {"packet rates are signed",
     nullptr,
     {number_at(34, -7), number_at(35, 250)},
     [](R& r) {
         r.phy_to_radio_rate = -7.0;
         r.radio_to_phy_rate = 250.0;
     }},
    {"index 36 on family 350 is also the frequency offset",
     nullptr,
     {number_at(36, -2500)},
     [](R& r) {
         r.fec_error_count = -2500;
         r.frequency_offset_hz = -2500.0;
     }},
    {"index 36 on family 1000 is only the FEC error count",
     family_1000,
     {number_at(36, 17)},
     [](R& r) { r.fec_error_count = 17; }},
    {"FEC failures count from a zero baseline",
     nullptr,
     {number_at(37, 9)},
     [](R& r) {
         r.fec_fail_count = 9;
         r.fec_fail_since_reset = 9;
     }},
    {"link rates",
     nullptr,
     {number_at(39, 350), number_at(40, 150)},
     [](R& r) {
         r.down_link_mbps = 350;
         r.up_link_mbps = 150;
     }},
    {"drop counters are unsigned",
     nullptr,
     {number_at(41, -1), number_at(42, 5, kTagCounter32)},
     [](R& r) {
         r.drop_q1_count = r.drop_q1_since_reset = 4294967295u;
         r.drop_tx_count = r.drop_tx_since_reset = 5;
     }},
    {"rates and FEC failures take the unsigned types unsigned",
     nullptr,
     {number_at(34, -1, kTagGauge32), number_at(35, -2, kTagCounter32),
      number_at(37, static_cast<int32_t>(3000000000u), kTagCounter32)},
     [](R& r) {
         r.phy_to_radio_rate = 4294967295.0;
         r.radio_to_phy_rate = 4294967294.0;
         r.fec_fail_count = r.fec_fail_since_reset = 3000000000.0;
     }},
    {"the value tag does not matter",
     nullptr,
     {number_at(15, 42, kTagGauge32), number_at(16, 43, kTagTimeTicks)},
     [](R& r) {
         r.receiver_voltage = 42;
         r.transmitter_voltage = 43;
     }},
    {"a later binding for the same index wins",
     nullptr,
     {number_at(15, 1), number_at(15, 2)},
     [](R& r) { r.receiver_voltage = 2; }},
};
INSTANTIATE_TEST_SUITE_P(Numbers, DecodingRule, ::testing::ValuesIn(kNumberRules),
                         [](const auto& info) { return case_name(info.param.description); });

const RuleCase kModemStatusRules[] = {
    {"family 1000 status 3 is lock bad and downlink 1000",
     family_1000,
     {number_at(38, 3)},
     [](R& r) {
         r.modem_status = 3;
         r.receiver_lock = ReceiverLock::kLocked;
         r.link_quality = LinkQuality::kBad;
         r.down_link_mbps = 1000;
     }},
    {"family 1000 status 0 is no lock good and keeps downlink",
     family_1000_downlink_77,
     {number_at(38, 0)},
     [](R& r) {
         r.receiver_lock = ReceiverLock::kNotLocked;
         r.link_quality = LinkQuality::kGood;
     }},
    {"family 1000 status 1 is lock good",
     family_1000,
     {number_at(38, 1)},
     [](R& r) {
         r.modem_status = 1;
         r.receiver_lock = ReceiverLock::kLocked;
         r.link_quality = LinkQuality::kGood;
         r.down_link_mbps = 1000;
     }},
    {"family 1000 status 2 is no lock bad",
     family_1000_downlink_77,
     {number_at(38, 2)},
     [](R& r) {
         r.modem_status = 2;
         r.receiver_lock = ReceiverLock::kNotLocked;
         r.link_quality = LinkQuality::kBad;
     }},
    {"downlink after the status replaces the lock rate",
     family_1000,
     {number_at(38, 1), number_at(39, 200)},
     [](R& r) {
         r.modem_status = 1;
         r.receiver_lock = ReceiverLock::kLocked;
         r.link_quality = LinkQuality::kGood;
         r.down_link_mbps = 200;
     }},
    {"status after the downlink sets the lock rate",
     family_1000,
     {number_at(39, 200), number_at(38, 1)},
     [](R& r) {
         r.modem_status = 1;
         r.receiver_lock = ReceiverLock::kLocked;
         r.link_quality = LinkQuality::kGood;
         r.down_link_mbps = 1000;
     }},
    {"family 350 status fills only modem status and MSE",
     downlink_77,
     {number_at(38, 3)},
     [](R& r) {
         r.modem_status = 3;
         r.mse_tenths_db = 3;
     }},
    {"family 350 MSE is unsigned",
     nullptr,
     {number_at(38, -1)},
     [](R& r) {
         r.modem_status = -1;
         r.mse_tenths_db = 4294967295u;
     }},
};
INSTANTIATE_TEST_SUITE_P(ModemStatus, DecodingRule, ::testing::ValuesIn(kModemStatusRules),
                         [](const auto& info) { return case_name(info.param.description); });

const RuleCase kTextRules[] = {
    {"identification item 1",
     nullptr,
     {text_at(3, "Radio link")},
     [](R& r) { set_text(r.id_text[0], "Radio link"); }},
    {"identification item 8",
     nullptr,
     {text_at(10, "KEY-123")},
     [](R& r) { set_text(r.id_text[7], "KEY-123"); }},
    {"a zero octet is kept as \\x00 with the text after it",
     nullptr,
     {text_at(5, "ab\0cd\0"s)},
     [](R& r) { set_text(r.id_text[2], "ab\\x00cd\\x00"); }},
    {"an escape that does not fit whole is left out",
     nullptr,
     {text_at(7, std::string(96, 'x') + "\0y"s)},
     [](R& r) { set_text(r.id_text[4], std::string(96, 'x')); }},
    {"an empty value empties the item",
     [](R& r) { set_text(r.id_text[3], "old"); },
     {text_at(6, "")},
     [](R& r) { set_text(r.id_text[3], ""); }},
    {"a shorter text replaces a longer one",
     [](R& r) { set_text(r.id_text[3], "longer"); },
     {text_at(6, "ab")},
     [](R& r) { set_text(r.id_text[3], "ab"); }},
    {"99 octets are kept whole",
     nullptr,
     {text_at(7, std::string(99, 'x'))},
     [](R& r) { set_text(r.id_text[4], std::string(99, 'x')); }},
    {"100 octets are cut to 99",
     nullptr,
     {text_at(7, std::string(99, 'x') + "y")},
     [](R& r) { set_text(r.id_text[4], std::string(99, 'x')); }},
    {"150 octets are cut to 99",
     nullptr,
     {text_at(9, std::string(149, 'a') + "b")},
     [](R& r) { set_text(r.id_text[6], std::string(99, 'a')); }},
};
INSTANTIATE_TEST_SUITE_P(Texts, DecodingRule, ::testing::ValuesIn(kTextRules),
                         [](const auto& info) { return case_name(info.param.description); });

// Answers that must leave a fully populated record exactly as it was.
struct UnchangedCase {
    const char* description;
    int32_t error_status;
    Answer answer;
    bool accepted;
};
void PrintTo(const UnchangedCase& c, std::ostream* out) {
    *out << c.description;
}

class AnswerWithoutEffect : public ReadingsTest,
                            public ::testing::WithParamInterface<UnchangedCase> {};

TEST_P(AnswerWithoutEffect, LeavesEveryField) {
    const UnchangedCase& c = GetParam();
    fill_every_field(readings);
    const std::string before = describe(readings);
    const MessagePtr answer = decoded_answer(c.answer, c.error_status);
    EXPECT_EQ(apply_answer(readings, answer.get()), c.accepted);
    EXPECT_EQ(describe(readings), before);
}

const UnchangedCase kUnchangedCases[] = {
    {"error status 2 drops the whole answer",
     2,
     {number_at(15, 1), text_at(4, "xKTR"), number_at(38, 1), number_at(41, 1)},
     false},
    {"no bindings", 0, {}, true},
    {"system group rows", 0, {text_at(0, "d"), text_at(1, "c"), number_at(2, 5)}, true},
    {"unrequested row 11", 0, {number_at(11, 5)}, true},
    {"terminator row", 0, {number_at(43, 5)}, true},
    {"unknown name", 0, {number_named({1, 3, 6, 1, 4, 1, 47, 2, 6, 10, 0}, 5)}, true},
    {"twelve sub-identifiers", 0, {number_named(with_extra_zero(15), 5)}, true},
    {"ten sub-identifiers", 0, {number_named(without_instance(15), 5)}, true},
    {"NULL values", 0, {empty_at(4), empty_at(15), empty_at(38), empty_at(41)}, true},
    {"noSuchObject values",
     0,
     {empty_at(3, kTagNoSuchObject), empty_at(27, kTagNoSuchObject),
      empty_at(37, kTagNoSuchObject)},
     true},
    {"noSuchInstance values",
     0,
     {empty_at(10, kTagNoSuchInstance), empty_at(36, kTagNoSuchInstance)},
     true},
    {"endOfMibView values",
     0,
     {empty_at(34, kTagEndOfMibView), empty_at(42, kTagEndOfMibView)},
     true},
    {"values shorter than four octets",
     0,
     {text_at(15, "abc"), text_at(27, ""), text_at(37, "x"), text_at(38, "ab"),
      text_at(41, "\1\2"s)},
     true},
};
INSTANTIATE_TEST_SUITE_P(Table, AnswerWithoutEffect, ::testing::ValuesIn(kUnchangedCases),
                         [](const auto& info) { return case_name(info.param.description); });

struct FamilyCase {
    const char* description;
    int32_t family_before;
    const char* earlier_item_2;
    int index;
    std::string value;
    int32_t family_after;
};
void PrintTo(const FamilyCase& c, std::ostream* out) {
    *out << c.description;
}

class FamilyDetection : public ReadingsTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(FamilyDetection, FollowsLastCodeAfterFirstCharacter) {
    const FamilyCase& c = GetParam();
    readings.family_rate_mbps = c.family_before;
    set_text(readings.id_text[1], c.earlier_item_2);
    apply_or_fail(readings, {text_at(c.index, c.value)});
    EXPECT_EQ(readings.family_rate_mbps, c.family_after);
}

const FamilyCase kFamilyCases[] = {
    {"KTR at offset 1 selects 350", 1000, "", 4, "xKTR", 350},
    {"VXL at offset 1 selects 1000", 350, "", 4, "xVXL", 1000},
    {"VXL inside the text", 350, "", 4, "Model VXL-2 unit", 1000},
    {"VXL as the last three characters", 350, "", 4, "abcdVXL", 1000},
    {"VXL at offset 0 is not found", 350, "", 4, "VXL-1", 350},
    {"KTR at offset 0 is not found", 1000, "", 4, "KTR-1", 1000},
    {"later VXL wins over KTR", 350, "", 4, "aKTRbVXL", 1000},
    {"later KTR wins over VXL", 1000, "", 4, "aVXLbKTR", 350},
    {"three characters never change family", 350, "", 4, "VXL", 350},
    {"four characters can", 350, "", 4, "-VXL", 1000},
    {"match is case sensitive", 350, "", 4, "xvxl", 350},
    {"no code keeps family 1000", 1000, "", 4, "plain text", 1000},
    {"zero octet cuts a window short", 350, "", 4, "xVX\0Lxxx"s, 350},
    {"text after a zero octet is not searched", 350, "", 4, "ab\0VXLVXL"s, 350},
    {"remains of an earlier item 2 do not count", 350, "zzVXLzzzz", 4, "ab\0\0\0\0\0\0"s, 350},
    {"code past the 99 kept characters is not seen", 350, "", 4, std::string(97, 'a') + "VXL", 350},
    {"code in the last kept characters is seen", 350, "", 4, std::string(96, 'a') + "VXL", 1000},
    {"item 1 does not run detection", 350, "xVXL", 3, "abcdef", 350},
    {"item 3 does not run detection", 350, "xVXL", 5, "abcdef", 350},
};
INSTANTIATE_TEST_SUITE_P(Table, FamilyDetection, ::testing::ValuesIn(kFamilyCases),
                         [](const auto& info) { return case_name(info.param.description); });

struct CounterCase {
    const char* description;
    int index;
    double (*baseline)(const R&);
    double (*since_reset)(const R&);
};
void PrintTo(const CounterCase& c, std::ostream* out) {
    *out << c.description;
}

class SinceReset : public ReadingsTest, public ::testing::WithParamInterface<CounterCase> {};

TEST_P(SinceReset, CountsFromBaselineAndFollowsDeviceRestart) {
    const CounterCase& c = GetParam();
    apply_or_fail(readings, {number_at(c.index, 100)});
    rebase_since_reset_counters(readings);
    ASSERT_EQ(c.baseline(readings), 100);
    ASSERT_EQ(c.since_reset(readings), 0);

    struct Step {
        int32_t value;
        double since_reset;
        double baseline;
    };
    // At 40 the device has restarted its counter: the baseline drops to 0
    // and the count so far stays until the counter passes it.
    const Step steps[] = {{100, 0, 100}, {150, 50, 100}, {150, 50, 100}, {40, 50, 0}, {60, 60, 0}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.value);
        apply_or_fail(readings, {number_at(c.index, step.value)});
        EXPECT_EQ(c.since_reset(readings), step.since_reset);
        EXPECT_EQ(c.baseline(readings), step.baseline);
    }
}

const CounterCase kCounters[] = {
    {"FEC failures", 37, [](const R& r) { return r.fec_fail_baseline; },
     [](const R& r) { return r.fec_fail_since_reset; }},
    {"first drop counter", 41, [](const R& r) { return double(r.drop_q1_baseline); },
     [](const R& r) { return double(r.drop_q1_since_reset); }},
    {"second drop counter", 42, [](const R& r) { return double(r.drop_tx_baseline); },
     [](const R& r) { return double(r.drop_tx_since_reset); }},
};
INSTANTIATE_TEST_SUITE_P(Table, SinceReset, ::testing::ValuesIn(kCounters),
                         [](const auto& info) { return case_name(info.param.description); });

// An operation on a fully populated record, and exactly what it must change.
struct EffectCase {
    const char* description;
    Edit before;  // applied to both records after filling them; may be null
    Edit operation;
    Edit change;  // may be null: nothing changes
};
void PrintTo(const EffectCase& c, std::ostream* out) {
    *out << c.description;
}

class Effect : public ReadingsTest, public ::testing::WithParamInterface<EffectCase> {};

TEST_P(Effect, ChangesTheseFieldsAndNothingElse) {
    const EffectCase& c = GetParam();
    fill_every_field(readings);
    fill_every_field(expected);
    if (c.before != nullptr) {
        c.before(readings);
        c.before(expected);
    }
    c.operation(readings);
    if (c.change != nullptr) {
        c.change(expected);
    }
    EXPECT_EQ(describe(readings), describe(expected));
}

const EffectCase kClearCases[] = {
    {"group 1 empties the measurements", nullptr,
     [](R& r) { clear_readings(r, ReadingGroup::kMeasurements); },
     [](R& r) {
         r.temperature[0] = r.temperature[1] = r.temperature[2] = 0;
         r.receiver_voltage = r.transmitter_voltage = r.agc_voltage = 0;
         r.attenuation = r.humidity = 0;
         r.supply_24v = r.supply_12v = r.supply_9v = r.supply_minus_12v = 0;
         r.supply_5v = r.supply_3v3 = r.supply_5v_standby = 0;
         r.total_current = 0;
         r.phy_to_radio_rate = r.radio_to_phy_rate = 0;
         r.modem_status = 0;
         r.mse_tenths_db = 0;
         r.up_link_mbps = r.down_link_mbps = 0;
         r.frequency_offset_hz = 0;
         r.receiver_lock = ReceiverLock::kUnknown;
         r.link_quality = LinkQuality::kUnknown;
     }},
    {"group 2 empties the identification and switch states", nullptr,
     [](R& r) { clear_readings(r, ReadingGroup::kIdentification); },
     [](R& r) {
         for (auto& text : r.id_text) {
             set_text(text, "");
         }
         for (int32_t& state : r.control_state) {
             state = 0;
         }
     }},
    {"group 0 does nothing", nullptr, [](R& r) { clear_readings(r, static_cast<ReadingGroup>(0)); },
     nullptr},
    {"group 3 does nothing", nullptr, [](R& r) { clear_readings(r, static_cast<ReadingGroup>(3)); },
     nullptr},
};
INSTANTIATE_TEST_SUITE_P(Clear, Effect, ::testing::ValuesIn(kClearCases),
                         [](const auto& info) { return case_name(info.param.description); });

const EffectCase kRebaseCases[] = {
    {"counters above zero become their baselines",
     [](R& r) {
         r.fec_fail_count = 12;
         r.drop_q1_count = 500;
         r.drop_tx_count = 7;
     },
     rebase_since_reset_counters,
     [](R& r) {
         r.fec_fail_baseline = 12;
         r.fec_fail_since_reset = 0;
         r.drop_q1_baseline = 500;
         r.drop_q1_since_reset = 0;
         r.drop_tx_baseline = 7;
         r.drop_tx_since_reset = 0;
     }},
    {"counters at zero keep baseline and count",
     [](R& r) {
         r.fec_fail_count = 0;
         r.drop_q1_count = 0;
         r.drop_tx_count = 0;
     },
     rebase_since_reset_counters, nullptr},
    {"each counter is judged on its own",
     [](R& r) {
         r.fec_fail_count = 0;
         r.drop_q1_count = 500;
         r.drop_tx_count = 0;
     },
     rebase_since_reset_counters,
     [](R& r) {
         r.drop_q1_baseline = 500;
         r.drop_q1_since_reset = 0;
     }},
    {"negative FEC failure count is not above zero", [](R& r) { r.fec_fail_count = -3; },
     rebase_since_reset_counters,
     [](R& r) {
         r.drop_q1_baseline = r.drop_q1_count;
         r.drop_q1_since_reset = 0;
         r.drop_tx_baseline = r.drop_tx_count;
         r.drop_tx_since_reset = 0;
     }},
};
INSTANTIATE_TEST_SUITE_P(Rebase, Effect, ::testing::ValuesIn(kRebaseCases),
                         [](const auto& info) { return case_name(info.param.description); });

// Every rail with a latch well inside its limits.
void rails_in_range(R& r) {
    r.supply_24v = 24000;
    r.supply_12v = 12000;
    r.supply_9v = 9000;
    r.supply_minus_12v = 12000;
    r.supply_5v = 5000;
    r.supply_3v3 = 3300;
}

struct LatchCase {
    const char* description;
    int32_t R::*rail;
    int32_t millivolts;
    int latch;  // the latch this value sets; -1 for none
};
void PrintTo(const LatchCase& c, std::ostream* out) {
    *out << c.description;
}

class VoltageLatch : public ReadingsTest, public ::testing::WithParamInterface<LatchCase> {};

TEST_P(VoltageLatch, OutOfRangeSetsTheLatchAndItStaysWhenBackInRange) {
    const LatchCase& c = GetParam();
    rails_in_range(readings);
    rails_in_range(expected);
    readings.*c.rail = expected.*c.rail = c.millivolts;
    VoltageAlarms out_of_range;
    if (c.latch >= 0) {
        out_of_range.set(static_cast<size_t>(c.latch));
        expected.voltage_alarm[c.latch] = 1;
    }
    EXPECT_EQ(latch_voltage_alarms(readings), out_of_range);
    EXPECT_EQ(describe(readings), describe(expected));

    rails_in_range(readings);
    rails_in_range(expected);
    EXPECT_EQ(latch_voltage_alarms(readings), VoltageAlarms());
    EXPECT_EQ(describe(readings), describe(expected));
}

const LatchCase kLatchCases[] = {
    {"24 V at its high limit is in range", &R::supply_24v, 35000, -1},
    {"24 V at its low limit is in range", &R::supply_24v, 22000, -1},
    {"24 V above 35 V", &R::supply_24v, 35001, 0},
    {"24 V below 22 V", &R::supply_24v, 21999, 0},
    {"12 V above 14 V", &R::supply_12v, 14001, 1},
    {"12 V below 10 V", &R::supply_12v, 9999, 1},
    {"9 V above 11 V", &R::supply_9v, 11001, 2},
    {"9 V below 8 V", &R::supply_9v, 7999, 2},
    {"minus 12 V magnitude above 14 V", &R::supply_minus_12v, 14001, 3},
    {"minus 12 V magnitude below 8 V", &R::supply_minus_12v, 7999, 3},
    {"5 V above 6 V", &R::supply_5v, 6001, 4},
    {"5 V below 4 V", &R::supply_5v, 3999, 4},
    {"3.3 V above 4 V", &R::supply_3v3, 4001, 5},
    {"3.3 V below 2.5 V", &R::supply_3v3, 2499, 5},
    {"5 V standby has no latch", &R::supply_5v_standby, 0, -1},
};
INSTANTIATE_TEST_SUITE_P(Table, VoltageLatch, ::testing::ValuesIn(kLatchCases),
                         [](const auto& info) { return case_name(info.param.description); });

TEST_F(ReadingsTest, RailsAtZeroSetEveryLatch) {
    EXPECT_EQ(latch_voltage_alarms(readings), VoltageAlarms().set());
    for (int32_t latch : readings.voltage_alarm) {
        EXPECT_EQ(latch, 1);
    }
}

}  // namespace
