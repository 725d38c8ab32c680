#include "charts/quality_chart.h"

#include <algorithm>
#include <cstdio>

#include "charts/svg_text.h"

namespace charts {

namespace {

constexpr int kChartHeight = 220;
constexpr int kChartGap = 70;

uint64_t segment_seconds(const QualityBar& bar, QualitySegment segment) {
    switch (segment) {
        case QualitySegment::kErrored:
            return bar.errored;
        case QualitySegment::kSevere:
            return bar.severe;
        case QualitySegment::kUnavailable:
            return bar.unavailable;
        case QualitySegment::kUnknown:
            break;
    }
    return bar.unknown;
}

std::string rect(double x, double y, double w, double h, const std::string& style) {
    return "<rect x=\"" + svg_number(x) + "\" y=\"" + svg_number(y) + "\" width=\"" +
           svg_number(w) + "\" height=\"" + svg_number(h) + "\" " + style + "/>\n";
}

}  // namespace

const char* quality_segment_name(QualitySegment segment) {
    switch (segment) {
        case QualitySegment::kErrored:
            return "ES";
        case QualitySegment::kSevere:
            return "SES";
        case QualitySegment::kUnavailable:
            return "UAS";
        case QualitySegment::kUnknown:
            break;
    }
    return "unknown";
}

uint32_t quality_segment_color(QualitySegment segment) {
    switch (segment) {
        case QualitySegment::kErrored:
            return 0xE0B000;
        case QualitySegment::kSevere:
            return 0xE06000;
        case QualitySegment::kUnavailable:
            return 0xC00000;
        case QualitySegment::kUnknown:
            break;
    }
    return 0xC8C8C8;
}

QualityChartPlan plan_quality_chart(const std::vector<QualityBar>& bars, int pixels) {
    QualityChartPlan plan;
    plan.bars = bars;
    if (bars.empty()) {
        return plan;
    }
    plan.view.from = bars.front().start;
    plan.view.to = bars.back().start + bars.back().seconds;
    plan.view.columns = static_cast<int>(bars.size());
    uint64_t tallest = 0;
    for (const QualityBar& bar : bars) {
        tallest = std::max(tallest, bar.errored + bar.severe + bar.unavailable + bar.unknown);
    }
    plan.scale = value_scale(0, static_cast<double>(std::max<uint64_t>(tallest, 1)), kValueTicks);
    plan.scale.low = 0;
    plan.scale.decimals = 0;
    const double offset = local_utc_offset(plan.view.from);
    const TimeTicks ticks = time_ticks(plan.view.from, plan.view.to,
                                       std::max(2, static_cast<int>(pixels / kTimeTickSpacing)),
                                       offset, plan.view.from, plan.view.to);
    for (double t = ticks.first; t <= plan.view.to; t += ticks.step) {
        plan.ticks.push_back({t, local_time_text(t, ticks.format)});
    }
    return plan;
}

BarRect quality_bar_rect(const QualityChartPlan& plan, const PlotBox& box, std::size_t bar,
                         QualitySegment segment) {
    const QualityBar& b = plan.bars[bar];
    const double length = std::max(plan.view.to - plan.view.from, 1.0);
    const double left = box.left + (b.start - plan.view.from) / length * box.width;
    const double right = box.left + (b.start + b.seconds - plan.view.from) / length * box.width;
    // A bar leaves a tenth of its bin free, so neighbours stay apart.
    const double gap = (right - left) * 0.1;
    uint64_t below = 0;
    for (int s = 0; s < static_cast<int>(segment); ++s) {
        below += segment_seconds(b, static_cast<QualitySegment>(s));
    }
    const uint64_t top = below + segment_seconds(b, segment);
    return {left + gap / 2, right - gap / 2, y_at(plan.scale, box, static_cast<double>(below)),
            y_at(plan.scale, box, static_cast<double>(top))};
}

std::string quality_svg(const std::vector<std::string>& titles,
                        const std::vector<QualityChartPlan>& plans, int width) {
    const int height = static_cast<int>(plans.size()) * (kChartHeight + kChartGap) + 20;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) +
           " " + std::to_string(height) + "\" font-family=\"sans-serif\" font-size=\"10\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    for (std::size_t c = 0; c < plans.size(); ++c) {
        const QualityChartPlan& plan = plans[c];
        const PlotBox box{kPlotLeft, 30.0 + static_cast<double>(c) * (kChartHeight + kChartGap),
                          static_cast<double>(width - kPlotLeft - kPlotRight), kChartHeight};
        svg += "<g>\n";
        svg += svg_label(box.left + box.width / 2, box.top - 8,
                         "Error performance: " + (c < titles.size() ? titles[c] : std::string()),
                         "middle", " font-weight=\"bold\"");
        for (int k = 0; k < plan.scale.ticks; ++k) {
            const double v = TrendPlan::tick_value(plan.scale, k);
            const double y = y_at(plan.scale, box, v);
            svg += "<line x1=\"" + svg_number(box.left) + "\" y1=\"" + svg_number(y) + "\" x2=\"" +
                   svg_number(box.left + box.width) + "\" y2=\"" + svg_number(y) +
                   "\" stroke=\"#e0e0e0\"/>\n";
            svg += svg_label(box.left - 4, y + 4, std::to_string(static_cast<long long>(v)), "end");
        }
        const double ty = box.top + box.height / 2;
        svg += svg_label(
            box.left - 45, ty, "seconds", "middle",
            (" transform=\"rotate(-90 " + svg_number(box.left - 45) + " " + svg_number(ty) + ")\"")
                .c_str());
        const double length = std::max(plan.view.to - plan.view.from, 1.0);
        for (const TimeTick& tick : plan.ticks) {
            const double x = box.left + (tick.seconds - plan.view.from) / length * box.width;
            svg += svg_label(x, box.top + box.height + 12, tick.label, "middle");
        }
        for (std::size_t b = 0; b < plan.bars.size(); ++b) {
            for (int s = 0; s < kQualitySegmentCount; ++s) {
                const auto segment = static_cast<QualitySegment>(s);
                const BarRect r = quality_bar_rect(plan, box, b, segment);
                if (r.bottom - r.top <= 0) {
                    continue;
                }
                svg += rect(r.left, r.top, r.right - r.left, r.bottom - r.top,
                            "fill=\"" + svg_color(quality_segment_color(segment)) + "\"");
            }
        }
        svg += rect(box.left, box.top, box.width, box.height, "fill=\"none\" stroke=\"#808080\"");
        for (int s = 0; s < kQualitySegmentCount; ++s) {
            const auto segment = static_cast<QualitySegment>(s);
            const double y = box.top + 10 + s * kLegendRow;
            svg += rect(box.left + box.width + 20, y - 5, 12, 10,
                        "fill=\"" + svg_color(quality_segment_color(segment)) + "\"");
            svg +=
                svg_label(box.left + box.width + 38, y + 4, quality_segment_name(segment), "start");
        }
        svg += "</g>\n";
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace charts
