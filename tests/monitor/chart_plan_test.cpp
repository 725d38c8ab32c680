// The trend charts' plan: view arithmetic as tables of exact results, and
// plans of known logs against the logs' own rows.
#include "monitor/chart_plan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

using trends::Held;
using trends::View;

TEST(ChartPlan, ChoosesTheTimeShownAndItsColumns) {
    const View zoom{150, 160, 0};
    const struct {
        const char* what;
        Held held;
        double span;
        int pixels;
        const View* zoom;
        View expected;
        bool grid;
    } cases[] = {
        {"span not yet filled: first point to last",
         {1000, 1029, 30, 1},
         300,
         880,
         nullptr,
         {1000, 1029, 14},
         false},
        {"filled: two polls a column on a grid past the last",
         {0, 3600, 3601, 0},
         300,
         880,
         nullptr,
         {3302, 3602, 150},
         true},
        {"filled: a pixel a column",
         {0, 86400, 86401, 0},
         3600,
         900,
         nullptr,
         {82804, 86404, 900},
         true},
        {"all held, ten seconds between polls",
         {100, 200, 11, 0},
         0,
         880,
         nullptr,
         {100, 200, 5},
         false},
        {"zoomed: the chosen range stays",
         {100, 200, 101, 0},
         300,
         880,
         &zoom,
         {150, 160, 5},
         false},
        {"one poll: a second before it", {500, 500, 1, 0}, 300, 880, nullptr, {499, 500, 1}, false},
        {"a narrow plot still has fifty columns",
         {0, 3600, 3601, 0},
         3600,
         10,
         nullptr,
         {72, 3672, 50},
         true},
        {"a log's one-second stamps widen the columns",
         {0, 100, 1001, 1},
         0,
         880,
         nullptr,
         {0, 100, 50},
         false},
    };
    for (const auto& c : cases) {
        const trends::ViewChoice got = trends::choose_view(c.held, c.span, c.pixels, c.zoom);
        EXPECT_DOUBLE_EQ(got.view.from, c.expected.from) << c.what;
        EXPECT_DOUBLE_EQ(got.view.to, c.expected.to) << c.what;
        EXPECT_EQ(got.view.columns, c.expected.columns) << c.what;
        EXPECT_EQ(got.grid, c.grid) << c.what;
    }
}

TEST(ChartPlan, ValueAxesTakeRoundTicksAroundTheValues) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        double low, high;
        trends::ValueScale expected;
    } cases[] = {
        {"no values", kInf, -kInf, {0, 1, 3, 1}},
        {"a constant: 5% either side", 24, 24, {22, 26, 5, 0}},
        {"a constant link rate", 350, 350, {330, 370, 5, 0}},
        {"a constant zero", 0, 0, {0, 1, 3, 1}},
        {"counts do not go below zero", 0, 100, {0, 150, 4, 0}},
        {"negative values", -14, -8, {-16, -6, 6, 0}},
        {"near a nominal", 98, 102, {96, 104, 5, 0}},
        {"small steps have decimals", 0.001, 0.004, {0, 0.005, 6, 3}},
    };
    for (const auto& c : cases) {
        const trends::ValueScale got = trends::value_scale(c.low, c.high, 5);
        EXPECT_DOUBLE_EQ(got.low, c.expected.low) << c.what;
        EXPECT_DOUBLE_EQ(got.high, c.expected.high) << c.what;
        EXPECT_EQ(got.ticks, c.expected.ticks) << c.what;
        EXPECT_EQ(got.decimals, c.expected.decimals) << c.what;
    }
}

TEST(ChartPlan, TimeTicksFallOnRoundLocalTimes) {
    constexpr double kDay = 86400;
    const struct {
        const char* what;
        double from, to, offset, earliest, latest;
        double step, first;
        const char* format;
    } cases[] = {
        {"half a minute", 0, 29, 0, 0, 29, 5, 0, "%H:%M:%S"},
        {"five minutes", 1000.5, 1300, 0, 1000, 1300, 60, 1020, "%H:%M"},
        {"an hour", 1000, 4600, 0, 1000, 4600, 600, 1200, "%H:%M"},
        {"a day over midnight", 0, kDay, 0, 0, kDay, 6 * 3600, 0, "%d.%m %H:%M"},
        {"hours of UTC+1", 1800, 1800 + 5 * 3600, 3600, 1800, 1800, 3600, 3600, "%H:%M"},
        {"hours of UTC+5:30", 0, 5 * 3600, 19800, 0, 0, 3600, 1800, "%H:%M"},
        {"a month", 0, 30 * kDay, 0, 0, 30 * kDay, 5 * kDay, 0, "%d.%m"},
        {"seconds over midnight", 82800, 82820, 0, 82800, 90000, 5, 82800, "%d.%m %H:%M:%S"},
        {"the same span in UTC-2 is one day", 82800, 82820, -7200, 82800, 90000, 5, 82800,
         "%H:%M:%S"},
    };
    for (const auto& c : cases) {
        const trends::TimeTicks got =
            trends::time_ticks(c.from, c.to, 8, c.offset, c.earliest, c.latest);
        EXPECT_DOUBLE_EQ(got.step, c.step) << c.what;
        EXPECT_DOUBLE_EQ(got.first, c.first) << c.what;
        EXPECT_STREQ(got.format, c.format) << c.what;
    }
}

}  // namespace
