#include "charts/chart_svg.h"

#include <cstdint>
#include <cstdio>

#include "charts/svg_text.h"

namespace charts {

namespace {

std::string line(double x1, double y1, double x2, double y2, const std::string& style) {
    return "<line x1=\"" + svg_number(x1) + "\" y1=\"" + svg_number(y1) + "\" x2=\"" +
           svg_number(x2) + "\" y2=\"" + svg_number(y2) + "\" " + style + "/>\n";
}

void value_axis(std::string& svg, const ValueScale& scale, const PlotBox& box, bool right,
                const char* title) {
    char format[8];
    std::snprintf(format, sizeof format, "%%.%df", scale.decimals);
    const double x = right ? box.left + box.width + 4 : box.left - 4;
    for (int k = 0; k < scale.ticks; ++k) {
        const double v = TrendPlan::tick_value(scale, k);
        const double y = y_at(scale, box, v);
        if (!right) {
            svg += line(box.left, y, box.left + box.width, y, "stroke=\"#e0e0e0\"");
        }
        char text[48];
        std::snprintf(text, sizeof text, format, v);
        if (!box.compact || k == 0 || k == scale.ticks - 1) {
            svg += svg_label(x, y + 4, text, right ? "start" : "end");
        }
    }
    const double tx = right ? box.left + box.width + 40 : box.left - 52;
    const double ty = box.top + box.height / 2;
    svg += svg_label(
        tx, ty, title, "middle",
        (" transform=\"rotate(-90 " + svg_number(tx) + " " + svg_number(ty) + ")\"").c_str());
}

}  // namespace

std::string trends_svg(const TrendPlan& plan, const PageLayout& page) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(page.width) +
           "\" height=\"" + std::to_string(page.height) + "\" viewBox=\"0 0 " +
           std::to_string(page.width) + " " + std::to_string(page.height) +
           "\" font-family=\"sans-serif\" font-size=\"10\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    const std::vector<LegendEntry> legend = legend_entries(plan, page);
    for (std::size_t c = 0; c < plan.charts.size() && c < page.plots.size(); ++c) {
        const ChartPlan& chart = plan.charts[c];
        const PlotBox& box = page.plots[c];
        svg += "<g>\n";
        if (!box.compact) {
            svg += svg_label(box.left + box.width / 2, box.top - 5, chart.def->title, "middle",
                             " font-weight=\"bold\"");
        }
        value_axis(svg, chart.left.scale, box, false, chart.def->left_title);
        if (chart.def->right_title != nullptr && chart.right.used) {
            value_axis(svg, chart.right.scale, box, true, chart.def->right_title);
        }
        for (const TimeTick& tick : plan.ticks) {
            const double x = x_at(plan, box, tick.seconds);
            svg += line(x, box.top, x, box.top + box.height, "stroke=\"#e0e0e0\"");
            if (!box.compact) {
                svg += svg_label(x, box.top + box.height + 12, tick.label, "middle");
            }
        }
        svg += "<rect x=\"" + svg_number(box.left) + "\" y=\"" + svg_number(box.top) +
               "\" width=\"" + svg_number(box.width) + "\" height=\"" + svg_number(box.height) +
               "\" fill=\"none\" stroke=\"#808080\"/>\n";
        // Each event a thin line across the plot, its text in the tooltip.
        for (const ChartMarker& m : plan.markers) {
            const double x = x_at(plan, box, m.seconds);
            svg += "<line class=\"marker\" x1=\"" + svg_number(x) + "\" y1=\"" +
                   svg_number(box.top) + "\" x2=\"" + svg_number(x) + "\" y2=\"" +
                   svg_number(box.top + box.height) + "\" stroke=\"" + svg_color(kMarkerColor) +
                   "\" stroke-width=\"1\"><title>" + svg_escaped(m.text) + "</title></line>\n";
        }
        for (int i : chart.traces) {
            const TracePlan& t = plan.traces[static_cast<std::size_t>(i)];
            if (!t.shown || !t.has_points) {
                continue;
            }
            const TraceSpec& def = kTraceSpecs[t.trace];
            const ValueScale& scale = def.right_axis ? chart.right.scale : chart.left.scale;
            const std::string color = svg_color(t.color);
            if (t.has_limits) {
                const std::string style = "stroke=\"" + color + "\" stroke-dasharray=\"6 4\"" +
                                          (t.out_of_limits ? " stroke-width=\"2.5\"" : "");
                for (double limit : {t.limit_low, t.limit_high}) {
                    const double y = y_at(scale, box, limit);
                    svg += line(box.left, y, box.left + box.width, y, style);
                }
            }
            std::string d;
            for (const std::vector<ChartPoint>& run : t.runs) {
                for (std::size_t k = 0; k < run.size(); ++k) {
                    d += (k == 0 ? (d.empty() ? "M" : " M") : " L") +
                         svg_number(x_at(plan, box, run[k].seconds)) + " " +
                         svg_number(y_at(scale, box, run[k].value));
                }
            }
            svg += "<path fill=\"none\" stroke=\"" + color +
                   "\" stroke-width=\"1.5\" stroke-linejoin=\"round\" d=\"" + d + "\"><title>" +
                   svg_escaped(t.name) + "</title></path>\n";
            // A run of one point draws no line: a dot shows it.
            for (const std::vector<ChartPoint>& run : t.runs) {
                if (run.size() == 1) {
                    svg += "<circle cx=\"" + svg_number(x_at(plan, box, run[0].seconds)) +
                           "\" cy=\"" + svg_number(y_at(scale, box, run[0].value)) +
                           "\" r=\"2\" fill=\"" + color + "\"/>\n";
                }
            }
        }
        for (const LegendEntry& e : legend) {
            const TracePlan& t = plan.traces[static_cast<std::size_t>(e.trace)];
            if (kTraceSpecs[e.trace].chart != static_cast<int>(c)) {
                continue;
            }
            // A hidden series' entry is faded, as the window draws it.
            const std::string faded = t.shown ? "" : " opacity=\"0.4\"";
            svg += line(e.x, e.y, e.x + 14, e.y,
                        "stroke=\"" + svg_color(t.color) + "\" stroke-width=\"2\"" + faded);
            svg += svg_label(e.x + 18, e.y + 3, t.name, "start", faded.c_str());
        }
        svg += "</g>\n";
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace charts
