// The reading history: bounded store, min/max decimation, gaps, rates.
#include "charts/reading_history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Poll {
    double seconds;
    double value;  // NaN: the poll failed
};

DeviceReadings with_temperature(double celsius) {
    DeviceReadings r;
    r.temperature[0] = static_cast<int32_t>(std::lround(celsius * 100));
    return r;
}

ReadingHistory history_of(const std::vector<Poll>& polls) {
    ReadingHistory history;
    for (const Poll& p : polls) {
        history.add(p.seconds, with_temperature(std::isnan(p.value) ? 0 : p.value),
                    !std::isnan(p.value));
    }
    return history;
}

// Equal, NaN equal to NaN.
bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

std::string text(const std::vector<ChartPoint>& points) {
    std::string out;
    for (const ChartPoint& p : points) {
        out += "(" + std::to_string(p.seconds) + ", " + std::to_string(p.value) + ") ";
    }
    return out;
}

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

TEST(ReadingHistory, ColumnsKeepTheirFirstLowestHighestAndLastPollInTimeOrderAndKeepGaps) {
    const struct {
        const char* what;
        std::vector<Poll> polls;
        struct {
            double from, to;
            int width;
        } window;
        std::vector<ChartPoint> expected;
    } cases[] = {
        {"up to four polls a column are all kept, each at its own time",
         {{0, 5}, {1, 9}, {2, 1}, {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}},
         {0, 8, 2},
         {{0, 5}, {1, 9}, {2, 1}, {3, 4}, {4, 4}, {7, 4}}},
        {"a high before a low stays before it",
         {{0, 5}, {1, 1}, {2, 9}, {3, 7}, {4, 3}, {5, 6}},
         {0, 6, 1},
         {{0, 5}, {1, 1}, {2, 9}, {5, 6}}},
        {"a one-poll spike survives at its time",
         {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 100}, {5, 1}, {6, 1}, {7, 1}},
         {0, 8, 1},
         {{0, 1}, {4, 100}, {7, 1}}},
        {"a plateau that ends inside a column draws no second spike",
         {{0, 12}, {1, 12}, {2, 14.5}, {3, 14.5}, {4, 14.5}, {5, 12}, {6, 12}, {7, 12}},
         {0, 8, 2},
         {{0, 12}, {2, 14.5}, {3, 14.5}, {4, 14.5}, {5, 12}, {7, 12}}},
        {"a failed poll is a gap at its time, not a zero",
         {{0, 3}, {1, kGap}, {2, 3}},
         {0, 3, 3},
         {{0, 3}, {1, kGap}, {2, 3}}},
        {"a failed poll breaks the line inside its column too",
         {{0, 3}, {1, kGap}, {2, 4}},
         {0, 3, 1},
         {{0, 3}, {1, kGap}, {2, 4}}},
        {"the first empty column after values breaks the line, later ones add nothing",
         {{0, 2}, {7, 2}},
         {0, 8, 8},
         {{0, 2}, {1.5, kGap}, {7, 2}}},
        {"polls outside the window are left out", {{0, 1}, {5, 2}, {9, 3}}, {4, 6, 2}, {{5, 2}}},
        {"no columns", {{0, 1}}, {0, 1, 0}, {}},
        {"an empty window", {{0, 1}}, {1, 1, 4}, {}},
    };
    for (const auto& c : cases) {
        const auto got = history_of(c.polls).extract(Series::kTemperature1, c.window.from,
                                                     c.window.to, c.window.width);
        ASSERT_EQ(got.size(), c.expected.size()) << c.what << ": " << text(got);
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(same(got[i].seconds, c.expected[i].seconds) &&
                        same(got[i].value, c.expected[i].value))
                << c.what << ": " << text(got);
        }
    }
}

TEST(ReadingHistory, WindowAcrossFullResolutionAndBucketsIsExact) {
    // A ramp long enough to reach buckets of 4 polls; columns of 128 polls
    // start on bucket boundaries, so every column's extremes are its first
    // and its last poll, at their own times.
    constexpr int kWidth = 120;
    constexpr int kPolls = kWidth * 128;
    ReadingHistory history;
    for (int t = 0; t < kPolls; ++t) {
        history.add(t, with_temperature(t), true);
    }
    ASSERT_GT(kPolls, 3 * ReadingHistory::kBucketsPerLevel);
    const auto got = history.extract(Series::kTemperature1, 0, kPolls, kWidth);
    ASSERT_EQ(got.size(), 2u * kWidth);
    for (int c = 0; c < kWidth; ++c) {
        EXPECT_EQ(got[2 * c].seconds, 128 * c);
        EXPECT_EQ(got[2 * c].value, 128 * c) << c;
        EXPECT_EQ(got[2 * c + 1].seconds, 128 * c + 127);
        EXPECT_EQ(got[2 * c + 1].value, 128 * c + 127) << c;
    }
}

TEST(ReadingHistory, DayOfPollsFitsWellUnderFiftyMegabytesAndIsAllHeld) {
    ReadingHistory history;
    DeviceReadings r;
    for (int t = 0; t < 86400; ++t) {
        r.temperature[0] = t % 5000;
        history.add(1.8e9 + t, r, t % 100 != 0);
    }
    EXPECT_EQ(history.polls(), 86400u);
    EXPECT_EQ(history.oldest_seconds(), 1.8e9);
    EXPECT_EQ(history.newest_seconds(), 1.8e9 + 86399);
    EXPECT_LT(history.memory_bytes(), 50u * 1000 * 1000);
    const auto day = history.extract(Series::kTemperature1, 1.8e9, 1.8e9 + 86400, 1200);
    EXPECT_LE(day.size(), 4800u);
    EXPECT_FALSE(day.empty());
}

// Full-resolution values of `series` for polls at 0, 1, 2 ...
std::vector<double> values(const ReadingHistory& history, Series series, int polls) {
    std::vector<double> out;
    for (const ChartPoint& p : history.extract(series, -0.5, polls - 0.5, polls)) {
        out.push_back(p.value);
    }
    return out;
}

TEST(ReadingHistory, HeldPollsAndSpanFollowWhatIsKeptInAnyLineOrder) {
    // Two buckets a level hold 2 * (2^10 - 1) polls at most.
    const struct {
        const char* name;
        std::vector<double> seconds;
        uint64_t held;
        double earliest;
        double latest;
    } cases[] = {
        {"in order", {10, 20, 30}, 3, 10, 30},
        {"clock stepped back", {100, 50, 300, 200}, 4, 50, 300},
        {"last line earliest", {500, 600, 700, 100}, 4, 100, 700},
    };
    for (const auto& c : cases) {
        ReadingHistory history(2);
        for (double t : c.seconds) {
            history.add(t, with_temperature(20), true);
        }
        EXPECT_EQ(history.held_polls(), c.held) << c.name;
        EXPECT_EQ(history.held_span().earliest, c.earliest) << c.name;
        EXPECT_EQ(history.held_span().latest, c.latest) << c.name;
    }

    ReadingHistory full(2);
    for (int i = 0; i < 3000; ++i) {
        full.add(3000 - i, with_temperature(20), true);  // newest first
    }
    EXPECT_EQ(full.polls(), 3000u);
    EXPECT_LT(full.held_polls(), 2046u) << "the oldest buckets went";
    EXPECT_EQ(full.held_span().earliest, 1) << "the polls held, folded out of order";
    EXPECT_EQ(full.held_span().latest,
              3000 - static_cast<double>(full.polls() - full.held_polls()));
}

TEST(ReadingHistory, DropRatesAreCountDifferencesPerSecondBetweenSuccessfulPolls) {
    const struct {
        uint32_t count;
        bool succeeded;
        int32_t family;
        double expected;
    } polls[] = {
        {100, true, kFamily350, kGap},  // first poll: nothing to compare with
        {110, true, kFamily350, 10},   {0, false, kFamily350, kGap},
        {130, true, kFamily350, 10},  // over the two seconds since the last success
        {5, true, kFamily350, kGap},  // the counter went down: restarts
        {8, true, kFamily350, 3},      {9, true, kFamily1000, kGap},  // family 1000 shows no drops
        {10, true, kFamily350, kGap},  // the family changed in between
    };
    ReadingHistory history;
    int t = 0;
    for (const auto& p : polls) {
        DeviceReadings r;
        r.family_rate_mbps = p.family;
        r.drop_q1_count = p.count;
        r.drop_tx_count = 2 * p.count;
        history.add(t++, r, p.succeeded);
    }
    const auto q1 = values(history, Series::kDropQ1Rate, t);
    const auto tx = values(history, Series::kDropTxRate, t);
    ASSERT_EQ(q1.size(), std::size(polls));
    ASSERT_EQ(tx.size(), std::size(polls));
    for (std::size_t i = 0; i < q1.size(); ++i) {
        EXPECT_TRUE(same(q1[i], polls[i].expected)) << i << ": " << q1[i];
        EXPECT_TRUE(same(tx[i], 2 * polls[i].expected)) << i << ": " << tx[i];
    }
}

TEST(ReadingHistory, SeriesFollowThePanesAndTheFamily) {
    DeviceReadings r350;
    r350.supply_minus_12v = 12100;
    r350.mse_tenths_db = 123;
    r350.frequency_offset_hz = -2500;
    r350.up_link_mbps = 350;
    r350.fec_fail_count = 7;
    r350.fec_fail_since_reset = 2;
    DeviceReadings r1000 = r350;
    r1000.family_rate_mbps = kFamily1000;
    r1000.receiver_lock = ReceiverLock::kLocked;
    r1000.link_quality = LinkQuality::kBad;
    const struct {
        Series series;
        double on350;
        double on1000;
    } cases[] = {
        {Series::kSupplyMinus12V, -12.1, -12.1},
        {Series::kMse, 12.3, kGap},
        {Series::kFrequencyOffset, -0.0025, kGap},
        {Series::kLock, kGap, 1},
        {Series::kQuality, kGap, 0},
        {Series::kUpLinkMbps, 350, 350},
        // The device's count, as the log holds it: Reset does not drop it.
        {Series::kFecFails, 7, 7},
    };
    ReadingHistory history;
    history.add(0, r350, true);
    history.add(1, r1000, true);
    SeriesSet known = all_series();
    known.reset(static_cast<std::size_t>(Series::kUpLinkMbps));
    history.add(2, r350, true, known);
    for (const auto& c : cases) {
        const auto got = values(history, c.series, 3);
        ASSERT_EQ(got.size(), 3u) << series_info(c.series).name;
        EXPECT_TRUE(same(got[0], c.on350)) << series_info(c.series).name << " " << got[0];
        EXPECT_TRUE(same(got[1], c.on1000)) << series_info(c.series).name << " " << got[1];
    }
    EXPECT_TRUE(std::isnan(values(history, Series::kUpLinkMbps, 3)[2])) << "not known: a gap";

    const SeriesInfo minus12 = series_info(Series::kSupplyMinus12V);
    EXPECT_TRUE(minus12.has_limits && minus12.low == -14 && minus12.high == -8 &&
                std::string(minus12.unit) == "V");
    EXPECT_FALSE(series_info(Series::kSupply5VStandby).has_limits) << "no lamp, no limits";
}

TEST(ReadingHistory, ExtractingSeriesAtOnceGivesWhatEachExtractionGives) {
    // Small levels, so the window spans folded buckets; failed polls and a
    // change of family give gaps in some series and not in others.
    ReadingHistory history(16);
    DeviceReadings r;
    for (int t = 0; t < 300; ++t) {
        r.temperature[1] = (t * 37) % 500;
        r.supply_9v = 9000 + (t * 7919) % 900;
        r.drop_q1_count = static_cast<uint32_t>(t * 3);
        r.family_rate_mbps = t < 150 ? kFamily350 : kFamily1000;
        history.add(t, r, t % 23 != 5);
    }
    // Every series, and every third one (the others left empty).
    SeriesSet some;
    for (int s = 1; s < kSeriesCount; s += 3) {
        some.set(static_cast<size_t>(s));
    }
    for (const SeriesSet& wanted : {all_series(), some}) {
        const auto all = history.extract_all(40, 290, 37, wanted);
        ASSERT_EQ(all.size(), static_cast<size_t>(kSeriesCount));
        for (int s = 0; s < kSeriesCount; ++s) {
            auto one = history.extract(static_cast<Series>(s), 40, 290, 37);
            if (!wanted[static_cast<size_t>(s)]) {
                one.clear();
            }
            ASSERT_EQ(all[s].size(), one.size()) << s;
            for (size_t i = 0; i < one.size(); ++i) {
                EXPECT_EQ(all[s][i].seconds, one[i].seconds) << s;
                EXPECT_TRUE(all[s][i].value == one[i].value ||
                            (std::isnan(all[s][i].value) && std::isnan(one[i].value)))
                    << s << " at " << i;
            }
        }
    }
}

}  // namespace
