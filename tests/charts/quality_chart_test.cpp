// The error performance chart's plan: bars stacked in class order from the
// axis up, each within its bin, on a scale that holds the tallest.
#include "charts/quality_chart.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using charts::QualitySegment;

TEST(QualityChart, SegmentsStackFromTheAxisWithinTheirBins) {
    const std::vector<charts::QualityBar> bars = {{0, 900, 3, 2, 10, 5}, {900, 900, 0, 0, 0, 40}};
    const charts::QualityChartPlan plan = charts::plan_quality_chart(bars, 900);
    EXPECT_EQ(plan.view.from, 0);
    EXPECT_EQ(plan.view.to, 1800);
    EXPECT_EQ(plan.scale.low, 0);
    EXPECT_GE(plan.scale.high, 40);
    const charts::PlotBox box{0, 0, 900, 400};
    struct {
        std::size_t bar;
        QualitySegment segment;
        double below;  // seconds under the segment
        double height;
    } const cases[] = {
        {0, QualitySegment::kErrored, 0, 3},      {0, QualitySegment::kSevere, 3, 2},
        {0, QualitySegment::kUnavailable, 5, 10}, {0, QualitySegment::kUnknown, 15, 5},
        {1, QualitySegment::kErrored, 0, 0},      {1, QualitySegment::kUnknown, 0, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bar) + " " + charts::quality_segment_name(c.segment));
        const charts::BarRect r = charts::quality_bar_rect(plan, box, c.bar, c.segment);
        EXPECT_DOUBLE_EQ(r.bottom, charts::y_at(plan.scale, box, c.below));
        EXPECT_DOUBLE_EQ(r.top, charts::y_at(plan.scale, box, c.below + c.height));
        EXPECT_GT(r.left, c.bar * 450.0);
        EXPECT_LT(r.right, (c.bar + 1) * 450.0);
    }
    const std::string svg = charts::quality_svg({"RL-KTR-350 SN 1"}, {plan}, 1200);
    EXPECT_NE(svg.find("Error performance: RL-KTR-350 SN 1"), std::string::npos);
}

}  // namespace
