// Error performance: named sequences of polls against the ES, SES, BBE, UAS
// and unknown seconds they must come to, and the bins they fall in.
#include "logbook/error_performance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "environment.h"
#include "test_names.h"

namespace {

// A quarter hour's start, UTC.
constexpr double kStart = 1796738400;
constexpr double kBlocksPerSecond = 1000;

// A sequence is tokens "<kind><count>[/<interval>]", each `count` polls
// `interval` seconds apart (1 by default), after one clean poll at kStart:
//   C clean, E one errored block a poll, T exactly 30 % of the blocks
//   errored, S 40 % errored, D a defect (family 350: uplink rate 0; family
//   1000 with L: receiver not locked), N no answer, B the counter goes back.
struct Step {
    char kind;
    int count;
    double interval;
};

std::vector<Step> steps_of(const std::string& text) {
    std::vector<Step> steps;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        Step step{text[i++], 1, 1.0};
        char* end = nullptr;
        step.count = static_cast<int>(std::strtol(text.c_str() + i, &end, 10));
        i = static_cast<std::size_t>(end - text.c_str());
        if (i < text.size() && text[i] == '/') {
            step.interval = std::strtod(text.c_str() + i + 1, &end);
            i = static_cast<std::size_t>(end - text.c_str());
        }
        steps.push_back(step);
    }
    return steps;
}

// Feeds the sequence; the polls end at the returned time.
double feed(ErrorPerformance& quality, const std::string& sequence) {
    DeviceReadings r;
    r.radio_to_phy_rate = kBlocksPerSecond;
    r.up_link_mbps = 350;
    r.down_link_mbps = 350;
    r.fec_fail_count = 1000;
    double t = kStart;
    quality.add_poll(t, true, r);
    for (const Step& step : steps_of(sequence)) {
        for (int k = 0; k < step.count; ++k) {
            t += step.interval;
            DeviceReadings now = r;
            const double blocks = kBlocksPerSecond * step.interval;
            switch (step.kind) {
                case 'E':
                    now.fec_fail_count += 1;
                    break;
                case 'T':
                    now.fec_fail_count += 0.30 * blocks;
                    break;
                case 'S':
                    now.fec_fail_count += 0.40 * blocks;
                    break;
                case 'D':
                    now.up_link_mbps = 0;
                    break;
                case 'L':
                    now.family_rate_mbps = kFamily1000;
                    now.receiver_lock = ReceiverLock::kNotLocked;
                    break;
                case 'B':
                    now.fec_fail_count = 0;
                    break;
                default:
                    break;
            }
            quality.add_poll(t, step.kind != 'N', now);
            if (step.kind != 'N') {
                r.fec_fail_count = now.fec_fail_count;
            }
        }
    }
    return t;
}

struct QualityCase {
    const char* description;
    const char* sequence;
    QualityCounts expected;  // es, ses, bbe, uas, unknown, available
};

const QualityCase kQualityCases[] = {
    {"clean seconds are available", "C5", {0, 0, 0, 0, 0, 5}},
    {"an errored block makes an errored second and a background error",
     "C2 E3",
     {3, 0, 3, 0, 0, 5}},
    {"exactly 30 percent errored is errored not severely", "T2", {2, 0, 600, 0, 0, 2}},
    {"more than 30 percent errored is severely errored", "S2", {2, 2, 0, 0, 0, 2}},
    {"a defect is severely errored", "D3 C1", {3, 3, 0, 0, 0, 4}},
    {"a receiver not locked is severely errored", "L2 C1", {2, 2, 0, 0, 0, 3}},
    {"9 severely errored seconds leave the link available", "S9 C1", {9, 9, 0, 0, 0, 10}},
    {"10 severely errored seconds are unavailable from the first", "C1 S10", {0, 0, 0, 10, 0, 1}},
    {"unavailable time ends at the first of 10 seconds that are not",
     "S10 E10",
     {10, 0, 10, 10, 0, 10}},
    {"fewer than 10 good seconds inside unavailable time are unavailable",
     "S10 C9 S1 C10",
     {0, 0, 0, 20, 0, 10}},
    {"10 and 10 again stay unavailable throughout", "S10 S10 C10", {0, 0, 0, 20, 0, 10}},
    {"the data ending inside unavailable time leaves it unavailable",
     "S12 C4",
     {0, 0, 0, 16, 0, 0}},
    {"an unanswered poll makes the time around it unknown", "C2 N1 C2", {0, 0, 0, 0, 2, 3}},
    {"an unanswered poll inside a burst does not break it", "S6 N1 S6", {0, 0, 0, 11, 2, 0}},
    {"a counter that goes back gives an unknown second", "E1 B1 E1", {2, 0, 2, 0, 1, 2}},
    {"a 5 second interval is classified as a whole", "E2/5", {10, 0, 2, 0, 0, 10}},
    {"two severe 5 second intervals make unavailable time", "S2/5 C2/5", {0, 0, 0, 10, 0, 10}},
    {"polls faster than a second add up to their second", "C8/0.125 E8/0.125", {1, 0, 8, 0, 0, 2}},
    {"a gap longer than the longest interval is unknown", "C1 C1/1000 C1", {0, 0, 0, 0, 1000, 2}},
    {"a clock set back counts nothing across it", "C2 C1/-5000 C2", {0, 0, 0, 0, 0, 4}},
    {"a clock set forward by more than a month counts nothing across it",
     "C2 C1/2700000 C2",
     {0, 0, 0, 0, 0, 4}},
};

class ErrorPerformanceTest : public testing::TestWithParam<QualityCase> {
protected:
    void SetUp() override { use_utc_time_zone(); }
};

TEST_P(ErrorPerformanceTest, CountsTheSequence) {
    ErrorPerformance quality;
    feed(quality, GetParam().sequence);
    const QualityCounts before = quality.totals_if_finished();
    quality.finish();
    const QualityCounts got = quality.totals();
    const QualityCounts& want = GetParam().expected;
    EXPECT_EQ(got.es, want.es);
    EXPECT_EQ(got.ses, want.ses);
    EXPECT_EQ(got.bbe, want.bbe);
    EXPECT_EQ(got.uas, want.uas);
    EXPECT_EQ(got.unknown, want.unknown);
    EXPECT_EQ(got.available, want.available);
    EXPECT_EQ(before.uas, got.uas) << "a look before the end changes nothing";
}

INSTANTIATE_TEST_SUITE_P(Sequences, ErrorPerformanceTest, testing::ValuesIn(kQualityCases),
                         [](const auto& info) { return case_name(info.param.description); });

TEST(ErrorPerformanceBins, SecondsFallInTheLocalBinTheyBeginIn) {
    use_utc_time_zone();
    ErrorPerformance quality(900);
    // 895 clean seconds, then 10 severely errored from 14:14:55 on: the
    // unavailable time counts back into the first quarter hour.
    feed(quality, "C895 S10 C10");
    quality.finish();
    const auto& bins = quality.bins();
    ASSERT_EQ(bins.size(), 2u);
    EXPECT_EQ(bins.begin()->first, static_cast<int64_t>(kStart));
    EXPECT_EQ(bins.begin()->second.available, 895u);
    EXPECT_EQ(bins.begin()->second.uas, 5u);
    EXPECT_EQ(bins.rbegin()->second.uas, 5u);
    EXPECT_EQ(bins.rbegin()->second.available, 10u);
    EXPECT_DOUBLE_EQ(bins.begin()->second.availability(), 895.0 / 900.0);
}

}  // namespace
