// The error performance chart: per bin, a stacked bar of its errored,
// severely errored and unavailable seconds, with its unknown time shaded
// above them; planned without a toolkit (time ticks, a value axis in
// seconds, the bars' edges), so that every front end draws the same bars.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "charts/chart_plan.h"

namespace charts {

// One bin's seconds, by class. `errored` are the errored seconds that are
// not severely errored.
struct QualityBar {
    double start;  // seconds since the epoch
    double seconds;
    uint64_t errored;
    uint64_t severe;
    uint64_t unavailable;
    uint64_t unknown;
};

// The classes from the bottom of a bar up, with their colours as 0xRRGGBB.
enum class QualitySegment : int { kErrored, kSevere, kUnavailable, kUnknown };
constexpr int kQualitySegmentCount = 4;
const char* quality_segment_name(QualitySegment segment);
uint32_t quality_segment_color(QualitySegment segment);

struct QualityChartPlan {
    View view;  // the bins' time, from the first's start to the last's end
    ValueScale scale{0, 1, 2, 0};
    std::vector<TimeTick> ticks;
    std::vector<QualityBar> bars;
};

// The plan of `bars` (in time order) on a plot `pixels` wide. The value axis
// runs from 0 to the tallest bar, so that a few errored seconds in a
// quarter hour show.
QualityChartPlan plan_quality_chart(const std::vector<QualityBar>& bars, int pixels);

// A bar's segment as a rectangle on `box`: its left and right edge and its
// bottom and top, in pixels.
struct BarRect {
    double left;
    double right;
    double bottom;
    double top;
};
BarRect quality_bar_rect(const QualityChartPlan& plan, const PlotBox& box, std::size_t bar,
                         QualitySegment segment);

// One chart a device, titled, on a page `width` wide, as SVG.
std::string quality_svg(const std::vector<std::string>& titles,
                        const std::vector<QualityChartPlan>& plans, int width);

}  // namespace charts
