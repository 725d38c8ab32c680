// The trend charts as an SVG image, written from the chart plan in plain
// C++ so that every platform writes the same file: each chart's frame,
// round ticks and labels, a rail's lamp limits as dashed lines, and each
// series as one <path> (a move at every gap) carrying a <title> with the
// series' pane name.
#pragma once

#include <string>

#include "charts/chart_plan.h"

namespace charts {

// The SVG document of `plan` laid out on `page`.
std::string trends_svg(const TrendPlan& plan, const PageLayout& page);

}  // namespace charts
