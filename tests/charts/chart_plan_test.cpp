// The trend charts' plan: view arithmetic as tables of exact results, and
// plans of known logs against the logs' own rows.
#include "charts/chart_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/supply_rails.h"
#include "logbook/log_reader.h"
#include "logbook/measurement_log.h"
#include "tests/support/environment.h"

namespace {

using charts::Held;
using charts::View;

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
        const charts::ViewChoice got = charts::choose_view(c.held, c.span, c.pixels, c.zoom);
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
        charts::ValueScale expected;
    } cases[] = {
        {"no values", kInf, -kInf, {0, 1, 3, 1}},
        {"a constant: 5% either side", 24, 24, {22, 26, 5, 0}},
        {"a constant link rate", 350, 350, {330, 370, 5, 0}},
        {"a constant zero", 0, 0, {0, 1, 3, 1}},
        {"counts do not go below zero", 0, 100, {0, 150, 4, 0}},
        // Never more ticks than asked, so that a small chart's labels fit.
        {"negative values", -14, -8, {-15, -5, 3, 0}},
        {"a rail's limits", 8, 11, {6, 12, 4, 0}},
        {"near a nominal", 98, 102, {96, 104, 5, 0}},
        {"small steps have decimals", 0.001, 0.004, {0, 0.006, 4, 3}},
    };
    for (const auto& c : cases) {
        const charts::ValueScale got = charts::value_scale(c.low, c.high, 5);
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
        const charts::TimeTicks got =
            charts::time_ticks(c.from, c.to, 8, c.offset, c.earliest, c.latest);
        EXPECT_DOUBLE_EQ(got.step, c.step) << c.what;
        EXPECT_DOUBLE_EQ(got.first, c.first) << c.what;
        EXPECT_STREQ(got.format, c.format) << c.what;
    }
}

}  // namespace

namespace {

using charts::plan_trends;
using charts::PlanRequest;
using charts::TracePlan;
using charts::TrendPlan;

constexpr std::time_t kLogStart = 1796812857;  // 2026-12-09 10:40:57 UTC
constexpr double kFailed = std::numeric_limits<double>::quiet_NaN();

// A log of one poll a second from kLogStart: the +12 V rail at each value
// (NaN: "NO CONNECTION"), temperature 1 stepping by a hundredth a poll.
std::string log_of(const std::vector<double>& volts) {
    DeviceReadings r;
    r.family_rate_mbps = kFamily350;
    std::string text = log_header_text(r);
    for (std::size_t i = 0; i < volts.size(); ++i) {
        r.supply_12v =
            std::isnan(volts[i]) ? 0 : static_cast<int32_t>(std::lround(volts[i] * 1000));
        r.temperature[0] = static_cast<int32_t>(2000 + i);
        text += log_line_text(r, !std::isnan(volts[i]), kLogStart + static_cast<std::time_t>(i));
    }
    return text;
}

struct Row {
    double seconds;
    double volts;
    double celsius;
};

// The log's rows as the reader gives them, and the plan of the whole log.
struct Planned {
    std::vector<Row> rows;  // the successful polls
    ReadingHistory history;
    TrendPlan plan;
};

void plan_of(const std::string& log, int pixels, Planned& out) {
    std::istringstream rows_in(log);
    read_measurement_log(
        rows_in,
        [&](const LogRecord& record) {
            if (record.succeeded) {
                out.rows.push_back({record.seconds,
                                    shown_volts(kSupplyRails[1], record.readings.supply_12v),
                                    record.readings.temperature[0] / 100.0});
            }
        },
        {});
    std::istringstream in(log);
    read_measurement_log(in, out.history, nullptr);
    PlanRequest request;
    request.span = 0;
    request.plot_pixels = pixels;
    request.resolution = 1;
    out.plan = plan_trends(out.history, request);
}

const TracePlan& trace_of(const TrendPlan& plan, Series series) {
    for (const TracePlan& t : plan.traces) {
        if (charts::kTraceSpecs[t.trace].series == series) {
            return t;
        }
    }
    throw std::logic_error("no such trace");
}

std::string volts_row(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "U +12V: %.6g V", v);
    return text;
}

std::string celsius_row(double v) {
    char text[80];
    std::snprintf(text, sizeof text, "Temperature Sensor 1: %.6g deg C", v);
    return text;
}

bool has_row(const std::vector<std::string>& rows, const std::string& row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

class ChartPlanOfALog : public testing::Test {
protected:
    void SetUp() override { use_utc_time_zone(); }
};

TEST_F(ChartPlanOfALog, EveryVertexIsALogRowAndEachTooltipShowsItsOwnRow) {
    std::vector<double> long_run;
    for (int i = 0; i < 2000; ++i) {
        long_run.push_back(i == 1234 ? 14.5 : (i / 300) % 2 == 0 ? 12.0 : 12.1);
    }
    long_run[777] = kFailed;
    const struct {
        const char* what;
        std::vector<double> volts;
        int pixels;
        std::size_t runs;
        bool reduced;              // more rows than columns: fewer vertices than rows
        std::size_t longest_high;  // the longest sequence of vertices at 14.5
    } cases[] = {
        {"a three-poll plateau", {12, 12, 12, 14.5, 14.5, 14.5, 12, 12, 12}, 800, 1, false, 3},
        {"a one-poll spike", {12, 12, 12, 12, 14.5, 12, 12, 12}, 800, 1, false, 1},
        {"a failed poll", {12, 12, 14.5, kFailed, 12, 12}, 800, 2, false, 1},
        {"more polls than columns", long_run, 200, 2, true, 1},
    };
    for (const auto& c : cases) {
        Planned p;
        plan_of(log_of(c.volts), c.pixels, p);
        const TracePlan& rail = trace_of(p.plan, Series::kSupply12V);
        ASSERT_EQ(rail.runs.size(), c.runs) << c.what;
        std::size_t vertices = 0;
        std::size_t high = 0;
        std::size_t longest_high = 0;
        double previous = -1;
        for (const auto& run : rail.runs) {
            for (const ChartPoint& v : run) {
                ++vertices;
                EXPECT_GT(v.seconds, previous) << c.what << ": in time order";
                previous = v.seconds;
                const auto row = std::find_if(p.rows.begin(), p.rows.end(),
                                              [&](const Row& r) { return r.seconds == v.seconds; });
                ASSERT_NE(row, p.rows.end()) << c.what << ": no row at " << v.seconds;
                EXPECT_EQ(v.value, row->volts) << c.what << " at " << v.seconds;
                high = v.value == 14.5 ? high + 1 : 0;
                longest_high = std::max(longest_high, high);
            }
        }
        EXPECT_EQ(longest_high, c.longest_high) << c.what;
        if (c.reduced) {
            EXPECT_LT(vertices, p.rows.size()) << c.what;
        }
        // The tooltip at each row's time shows that row, whatever was drawn.
        for (const Row& r : p.rows) {
            const auto tip = charts::tooltip_rows(p.history, p.plan, r.seconds);
            ASSERT_FALSE(tip.empty()) << c.what;
            EXPECT_EQ(tip.front(), charts::local_time_text(r.seconds, "%d.%m.%Y %H:%M:%S"));
            EXPECT_TRUE(has_row(tip, celsius_row(r.celsius)) && has_row(tip, volts_row(r.volts)))
                << c.what << " at " << r.seconds;
        }
    }
}

TEST_F(ChartPlanOfALog, AxesHoldTheValuesAndTheRailsLampLimitsWithRoundTicks) {
    DeviceReadings r;
    r.family_rate_mbps = kFamily350;
    r.supply_12v = 12000;
    r.up_link_mbps = 350;
    r.down_link_mbps = 350;
    ReadingHistory history;
    for (int i = 0; i < 10; ++i) {
        history.add(kLogStart + i, r, true);
    }
    PlanRequest request;
    request.span = 0;
    request.hidden.set(0);  // Temperature Sensor 1
    const TrendPlan plan = plan_trends(history, request);
    const struct {
        Series series;
        const char* name;
        double low, high;  // the axis
    } cases[] = {
        {Series::kSupply12V, "U +12V", 8, 16},        // lamp limits 10..14 V
        {Series::kSupply5VStandby, "U +5VSB", 0, 6},  // no lamp: 0, and 5 V +-5 %
        {Series::kUpLinkMbps, "UpLink", 330, 370},    // constant: 5% either side
        {Series::kTemperature2, "Temperature Sensor 2", 0, 1},
    };
    for (const auto& c : cases) {
        const TracePlan& t = trace_of(plan, c.series);
        EXPECT_EQ(t.name, c.name);
        const charts::ChartPlan& chart =
            plan.charts[static_cast<std::size_t>(charts::kTraceSpecs[t.trace].chart)];
        EXPECT_DOUBLE_EQ(chart.left.scale.low, c.low) << c.name;
        EXPECT_DOUBLE_EQ(chart.left.scale.high, c.high) << c.name;
        if (t.has_limits) {
            EXPECT_LE(chart.left.scale.low, t.limit_low) << c.name;
            EXPECT_GE(chart.left.scale.high, t.limit_high) << c.name;
        }
    }
    EXPECT_FALSE(plan.traces[0].shown);
    EXPECT_EQ(charts::tooltip_rows(history, plan, kLogStart + 3).size(),
              1u + charts::kTraceCount - 1 - 2)
        << "the time, and neither the hidden series nor family 1000's two";
    ASSERT_FALSE(plan.ticks.empty());
    EXPECT_EQ(plan.ticks.front().label, "10:40:58");
}

// Every rail's axis spans at least its nominal value +-5 %, so that a few
// millivolts of noise (a rail without lamp limits) do not fill its chart.
TEST_F(ChartPlanOfALog, RailAxesSpanAtLeastTheirNominalValueFivePercentEitherSide) {
    DeviceReadings r;
    ReadingHistory history;
    for (int i = 0; i < 10; ++i) {
        r.supply_5v_standby = i % 2 == 0 ? 4975 : 4990;
        r.supply_3v3 = 3300 + i;
        history.add(kLogStart + i, r, true);
    }
    PlanRequest request;
    request.span = 0;
    const TrendPlan plan = plan_trends(history, request);
    for (int k = 0; k < kRailCount; ++k) {
        const charts::ChartPlan& chart =
            plan.charts[static_cast<std::size_t>(charts::kFirstRailChart + k)];
        const double nominal = kSupplyRails[k].nominal_volts;
        SCOPED_TRACE(kSupplyRails[k].label);
        EXPECT_LE(chart.left.scale.low, std::min(nominal * 0.95, nominal * 1.05));
        EXPECT_GE(chart.left.scale.high, std::max(nominal * 0.95, nominal * 1.05));
    }
}

TEST_F(ChartPlanOfALog, OnlyTheChartsAskedForArePlanned) {
    std::vector<double> volts;
    for (int i = 0; i < 50; ++i) {
        volts.push_back(12 + (i % 7) * 0.1);
    }
    Planned all;
    plan_of(log_of(volts), 400, all);
    PlanRequest request;
    request.span = 0;
    request.plot_pixels = 400;
    request.resolution = 1;
    request.charts.reset();
    const int rail = charts::kTraceSpecs[4].chart;  // U +12V
    request.charts.set(static_cast<std::size_t>(rail));
    const TrendPlan some = plan_trends(all.history, request);
    for (int i = 0; i < charts::kTraceCount; ++i) {
        const TracePlan& t = some.traces[static_cast<std::size_t>(i)];
        const bool asked = charts::kTraceSpecs[i].chart == rail;
        EXPECT_EQ(t.runs.size(), asked ? all.plan.traces[i].runs.size() : 0u) << t.name;
        EXPECT_EQ(t.has_points, asked && all.plan.traces[i].has_points) << t.name;
    }
    EXPECT_EQ(some.charts[rail].left.scale.low, all.plan.charts[rail].left.scale.low);
    EXPECT_EQ(some.charts[rail].left.scale.high, all.plan.charts[rail].left.scale.high);
    EXPECT_FALSE(some.charts[0].left.used) << "the temperatures, not asked for";
}

TEST_F(ChartPlanOfALog, ALegendRowNamesEachSeriesWithValuesShownOrHidden) {
    Planned p;
    plan_of(log_of({12, 12.5, 13}), 400, p);
    PlanRequest request;
    request.span = 0;
    request.resolution = 1;
    request.hidden.set(1);  // Temperature Sensor 2
    const charts::PageLayout page = charts::lay_out_page(900, 1400);
    const TrendPlan plan = charts::plan_page(p.history, request, page);
    const std::vector<charts::LegendEntry> legend = charts::legend_entries(plan, page);
    // The temperatures' rows come first; family 350 has no lock: no value, no row.
    ASSERT_TRUE(legend.size() > 2 && legend[1].trace == 1 && legend[2].trace == 2);
    EXPECT_TRUE(std::none_of(legend.begin(), legend.end(),
                             [](const charts::LegendEntry& e) { return e.trace == 12; }));
    const struct {
        const char* what;
        int row;  // the row (and trace) the point is taken from
        double dx, dy;
        int found;
    } cases[] = {
        {"the sample line", 0, 5, 0, 0},
        {"the name, low in the row", 0, 120, 6, 0},
        {"a hidden series' row", 1, 40, 0, 1},
        {"left of the legend", 0, -3, 0, -1},
        {"the next row", 0, 40, charts::kLegendRow, 1},
        {"below the last row", 2, 40, charts::kLegendRow, -1},
    };
    for (const auto& c : cases) {
        const charts::LegendEntry& e = legend[static_cast<std::size_t>(c.row)];
        EXPECT_EQ(charts::legend_entry_at(plan, page, e.x + c.dx, e.y + c.dy), c.found) << c.what;
    }
}

}  // namespace
