// The SVG of the trends: each series' path holds the plan's vertices.
#include "charts/chart_svg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

// The vertices of each <path> by its title; a NaN point where the path
// moves without drawing (a gap).
std::map<std::string, std::vector<ChartPoint>> paths_of(const std::string& svg) {
    std::map<std::string, std::vector<ChartPoint>> paths;
    const std::regex path("<path [^>]*d=\"([^\"]*)\"><title>([^<]*)</title></path>");
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), path); it != std::sregex_iterator();
         ++it) {
        std::vector<ChartPoint>& points = paths[(*it)[2].str()];
        const std::string d = (*it)[1].str();
        const char* p = d.c_str();
        while (*p != '\0') {
            const char command = *p++;
            char* end = nullptr;
            const double x = std::strtod(p, &end);
            const double y = std::strtod(end, &end);
            p = end;
            while (*p == ' ') {
                ++p;
            }
            if (command == 'M' && !points.empty()) {
                points.push_back({0, std::nan("")});
            }
            points.push_back({x, y});
        }
    }
    return paths;
}

TEST(ChartSvg, EachSeriesIsOnePathTitledWithItsPaneNameWhoseVerticesAreThePlans) {
    ReadingHistory history;
    DeviceReadings r;
    r.family_rate_mbps = kFamily350;
    for (int i = 0; i < 400; ++i) {
        r.supply_12v = i >= 100 && i < 103 ? 14500 : 12000;
        r.temperature[0] = 2000 + (i * 37) % 300;
        r.phy_to_radio_rate = i;
        history.add(1.8e9 + i, r, i % 50 != 7);
    }
    charts::PlanRequest request;
    request.span = 0;
    const charts::PageLayout page = charts::lay_out_page(900, 1400);
    const charts::TrendPlan plan = charts::plan_page(history, request, page);
    const auto paths = paths_of(charts::trends_svg(plan, page));

    std::size_t drawn = 0;
    for (const charts::TracePlan& t : plan.traces) {
        // "PHY->Radio ..." is written with its ">" escaped.
        const std::string title = std::regex_replace(t.name, std::regex(">"), "&gt;");
        const auto found = paths.find(title);
        ASSERT_EQ(found != paths.end(), t.has_points) << t.name;
        if (!t.has_points) {
            continue;
        }
        ++drawn;
        const charts::ChartPlan& chart =
            plan.charts[static_cast<std::size_t>(charts::kTraceSpecs[t.trace].chart)];
        const charts::PlotBox& box =
            page.plots[static_cast<std::size_t>(charts::kTraceSpecs[t.trace].chart)];
        const charts::ValueScale& scale =
            charts::kTraceSpecs[t.trace].right_axis ? chart.right.scale : chart.left.scale;
        std::vector<ChartPoint> expected;
        for (const auto& run : t.runs) {
            if (!expected.empty()) {
                expected.push_back({0, std::nan("")});
            }
            for (const ChartPoint& p : run) {
                expected.push_back(
                    {charts::x_at(plan, box, p.seconds), charts::y_at(scale, box, p.value)});
            }
        }
        const std::vector<ChartPoint>& got = found->second;
        ASSERT_EQ(got.size(), expected.size()) << t.name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (std::isnan(expected[i].value)) {
                EXPECT_TRUE(std::isnan(got[i].value)) << t.name << " vertex " << i;
                continue;
            }
            EXPECT_NEAR(got[i].seconds, expected[i].seconds, 0.005) << t.name << " vertex " << i;
            EXPECT_NEAR(got[i].value, expected[i].value, 0.005) << t.name << " vertex " << i;
        }
    }
    EXPECT_EQ(paths.size(), drawn) << "one path a series";
    EXPECT_GT(drawn, 10u);
}

// Events as markers: those within the time shown are a line across each
// chart at their time, with their text as its title; the others are left out.
TEST(ChartSvg, EventsInViewAreMarkedAcrossEachChartWithTheirText) {
    ReadingHistory history;
    DeviceReadings r;
    for (int i = 0; i <= 100; ++i) {
        history.add(1.8e9 + i, r, true);
    }
    struct Case {
        double seconds;
        const char* text;
        bool shown;
    };
    const Case cases[] = {
        {1.8e9 - 1, "before the log", false},
        {1.8e9, "at its first poll", true},
        {1.8e9 + 50.5, "no answer <timeout>", true},
        {1.8e9 + 100, "at its last poll", true},
        {1.8e9 + 101, "after it", false},
    };
    std::vector<charts::ChartMarker> markers;
    for (const Case& c : cases) {
        markers.push_back({c.seconds, c.text});
    }
    charts::PlanRequest request;
    request.span = 0;
    request.markers = &markers;
    const charts::PageLayout page = charts::lay_out_page(900, 1400);
    const charts::TrendPlan plan = charts::plan_page(history, request, page);
    const std::string svg = charts::trends_svg(plan, page);
    const std::regex line("<line class=\"marker\" x1=\"([^\"]*)\"[^>]*><title>([^<]*)</title>");
    std::map<std::string, std::vector<double>> drawn;  // the x of each line by its title
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), line); it != std::sregex_iterator();
         ++it) {
        drawn[(*it)[2].str()].push_back(std::stod((*it)[1].str()));
    }
    for (const Case& c : cases) {
        const std::string title = std::regex_replace(
            std::regex_replace(c.text, std::regex("<"), "&lt;"), std::regex(">"), "&gt;");
        const std::vector<double>& xs = drawn[title];
        ASSERT_EQ(xs.size(), c.shown ? page.plots.size() : 0u) << c.text;
        for (const double x : xs) {
            EXPECT_NEAR(x, charts::x_at(plan, page.plots[0], c.seconds), 0.005) << c.text;
        }
    }
}

}  // namespace
