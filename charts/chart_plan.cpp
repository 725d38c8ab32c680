#include "charts/chart_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "device/panes.h"
#include "device/supply_rails.h"
#include "device/text_format.h"
#include "process/local_time.h"

namespace charts {

namespace {

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;
constexpr double kTimeSteps[] = {
    1,       2,           5,           10,           15,           30,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,   2 * kHour,   6 * kHour,   12 * kHour,   kDay};

// The local day a time falls in.
double local_day(double seconds, double utc_offset) {
    return std::floor((seconds + utc_offset) / kDay);
}

}  // namespace

ViewChoice choose_view(const Held& held, double span, int pixels, const View* zoom) {
    pixels = std::max(kMinColumns, pixels);
    const double interval =
        held.polls > 1 ? (held.latest - held.earliest) / static_cast<double>(held.polls - 1) : 1;
    const double shortest_column = std::max(interval, held.resolution) * kPollsPerColumn;
    ViewChoice choice{View{}, false};
    View& v = choice.view;
    if (zoom == nullptr && span > 0 && held.latest - held.earliest >= span) {
        // The columns lie on a fixed grid and the view ends with the column
        // the newest poll is in: the axes move once a column.
        const double column = std::max(span / pixels, shortest_column);
        v.columns = std::max(1, static_cast<int>(std::ceil(span / column - 1e-9)));
        v.to = (std::floor(held.latest / column) + 1) * column;
        v.from = v.to - v.columns * column;
        choice.grid = true;
        return choice;
    }
    v.from = zoom != nullptr ? zoom->from : held.earliest;
    v.to = zoom != nullptr ? zoom->to : held.latest;
    if (v.to - v.from < 1) {
        v.from = v.to - 1;
    }
    const double most_columns = shortest_column > 0 ? (v.to - v.from) / shortest_column : 1;
    v.columns = std::max(1, static_cast<int>(std::min<double>(pixels, most_columns)));
    return choice;
}

ValueScale value_scale(double low, double high, int ticks) {
    double lo = low;
    double hi = high;
    if (!(lo <= hi)) {
        lo = 0;
        hi = 1;
    } else if (hi - lo <= 1e-9 * std::max(1.0, std::fabs(hi))) {
        // A constant: 5% of it either side, so that it reads as steady.
        const double margin = std::fabs(hi) * 0.05;
        if (margin > 0) {
            lo -= margin;
            hi += margin;
        } else {
            hi += 1;
        }
    } else {
        const double margin = (hi - lo) * 0.05;
        // Counts and rates never go below zero; neither does their axis.
        lo = lo >= 0 ? std::max(0.0, lo - margin) : lo - margin;
        hi += margin;
    }
    ticks = std::max(ticks, 2);
    const double rough = (hi - lo) / (ticks - 1);
    double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    // The round steps 1, 2 and 5 times a power of ten.
    static constexpr double kRound[] = {1, 2, 5};
    int round = fraction <= 1 ? 0 : fraction <= 2 ? 1 : fraction <= 5 ? 2 : 3;
    double step = 0;
    double first = 0;
    double last = 0;
    // Rounded out to whole steps, a range can take a tick more than asked;
    // the next round step then: a small chart keeps room for every label.
    for (;; ++round) {
        if (round == 3) {
            round = 0;
            power *= 10;
        }
        step = kRound[round] * power;
        first = std::floor(lo / step) * step;
        last = std::ceil(hi / step) * step;
        if (std::lround((last - first) / step) + 1 <= ticks) {
            break;
        }
    }
    // As many decimals as the step has.
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    return {first, last, static_cast<int>(std::lround((last - first) / step)) + 1, decimals};
}

TimeTicks time_ticks(double from, double to, int most, double utc_offset, double earliest,
                     double latest) {
    const double length = std::max(0.0, to - from);
    most = std::max(1, most);
    double step = 0;
    for (double s : kTimeSteps) {
        if (length <= s * (most - 1)) {
            step = s;
            break;
        }
    }
    if (step == 0) {
        step = std::ceil(length / (most - 1 > 0 ? most - 1 : 1) / kDay) * kDay;
    }
    // Multiples of the step in local time; the offset is whole minutes, so
    // steps up to a minute fall alike in either.
    const double first = std::ceil((from + utc_offset) / step) * step - utc_offset;
    const bool one_day =
        !(latest >= earliest) || local_day(earliest, utc_offset) == local_day(latest, utc_offset);
    const char* format = step >= kDay                ? "%d.%m"
                         : one_day && step < kMinute ? "%H:%M:%S"
                         : one_day                   ? "%H:%M"
                         : step < kMinute            ? "%d.%m %H:%M:%S"
                                                     : "%d.%m %H:%M";
    return {step, first, format};
}

namespace {

bool local_time(double seconds, std::tm* out) {
    return ::local_time(static_cast<std::time_t>(std::floor(seconds)), out);
}

constexpr uint32_t kPalette[] = {0x0000FF, 0xFF0000, 0x008000, 0xFF00FF,
                                 0x008080, 0x800000, 0x808000, 0x000000};

constexpr int kReceiverChart = kFirstRailChart + kRailCount;
constexpr int kLinkChart = kReceiverChart + 1;
constexpr int kPacketChart = kReceiverChart + 2;
constexpr int kErrorChart = kReceiverChart + 3;

constexpr TraceSpec rail_trace(Series series, Param row) {
    return {series, kSupplyRails[supply_rail_index(row)].label, nullptr,
            kFirstRailChart + supply_rail_index(row), false};
}

// The least part of its nominal value that a rail's axis spans either side.
constexpr double kRailLeastSpan = 0.05;

constexpr ChartSpec rail_chart(int k) {
    return {kSupplyRails[k].label, "V", nullptr};
}

// A range that grows to take values; empty until it takes one.
struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void take(double v) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    bool empty() const { return !(low <= high); }
};

std::string number_text(double value, const char* format) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

const ChartSpec kChartSpecs[kChartCount] = {
    {"Temperatures", "deg C", nullptr},
    rail_chart(0),
    rail_chart(1),
    rail_chart(2),
    rail_chart(3),
    rail_chart(4),
    rail_chart(5),
    rail_chart(6),
    {"Receiver", "dB", "1 = yes"},
    {"Link rates", "Mbps", nullptr},
    {"Packets", "packets/s", nullptr},
    {"Errors: FEC fails as the device counts them (Reset does not drop them), and PER", "FEC fails",
     "PER"},
};
static_assert(kRailCount == 7, "one chart per rail");

const TraceSpec kTraceSpecs[kTraceCount] = {
    {Series::kTemperature1, kTemperatureNames[0], nullptr, 0, false},
    {Series::kTemperature2, kTemperatureNames[1], nullptr, 0, false},
    {Series::kTemperature3, kTemperatureNames[2], nullptr, 0, false},
    rail_trace(Series::kSupply24V, Param::kSupply24V),
    rail_trace(Series::kSupply12V, Param::kSupply12V),
    rail_trace(Series::kSupply9V, Param::kSupply9V),
    rail_trace(Series::kSupplyMinus12V, Param::kSupplyMinus12V),
    rail_trace(Series::kSupply5V, Param::kSupply5V),
    rail_trace(Series::kSupply3V3, Param::kSupply3V3),
    rail_trace(Series::kSupply5VStandby, Param::kSupply5VStandby),
    {Series::kMse, kMseName, nullptr, kReceiverChart, false},
    {Series::kAttenuation, kAttenuationName, nullptr, kReceiverChart, false},
    {Series::kLock, kReceiverName, nullptr, kReceiverChart, true},
    {Series::kQuality, kQualityName, nullptr, kReceiverChart, true},
    {Series::kUpLinkMbps, kUpLinkName, nullptr, kLinkChart, false},
    {Series::kDownLinkMbps, kDownLinkName, nullptr, kLinkChart, false},
    {Series::kPhyToRadioRate, kPhyToRadioName, kPacketsPerSecond, kPacketChart, false},
    {Series::kRadioToPhyRate, kRadioToPhyName, kPacketsPerSecond, kPacketChart, false},
    {Series::kDropQ1Rate, kDropQ1Name, kPacketsPerSecond, kPacketChart, false},
    {Series::kDropTxRate, kDropTxName, kPacketsPerSecond, kPacketChart, false},
    // Not the pane's "FEC fails total", which counts since Reset.
    {Series::kFecFails, "FEC fails (device)", nullptr, kErrorChart, false},
    {Series::kPacketErrorRatio, kPerName, nullptr, kErrorChart, true},
};

std::string trace_name(const TraceSpec& def) {
    return std::string(def.label) + (def.suffix != nullptr ? def.suffix : "");
}

uint32_t trace_color(int trace) {
    int before = 0;
    for (int i = 0; i < trace && i < kTraceCount; ++i) {
        before += kTraceSpecs[i].chart == kTraceSpecs[trace].chart ? 1 : 0;
    }
    return kPalette[static_cast<std::size_t>(before) % std::size(kPalette)];
}

double local_utc_offset(double seconds) {
    std::tm local{};
    if (!local_time(seconds, &local)) {
        return 0;
    }
    const long long as_utc =
        days_from_civil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                        static_cast<unsigned>(local.tm_mday)) *
            86400 +
        local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
    return static_cast<double>(as_utc) - std::floor(seconds);
}

std::string local_time_text(double seconds, const char* format) {
    std::tm local{};
    char text[64];
    if (!local_time(seconds, &local) || std::strftime(text, sizeof text, format, &local) == 0) {
        return std::string();
    }
    return text;
}

double TrendPlan::tick_value(const ValueScale& scale, int k) {
    return scale.ticks > 1 ? scale.low + (scale.high - scale.low) * k / (scale.ticks - 1)
                           : scale.low;
}

TrendPlan plan_trends(const ReadingHistory& history, const PlanRequest& request) {
    TrendPlan plan;
    for (const ChartSpec& def : kChartSpecs) {
        plan.charts.push_back(ChartPlan{&def, AxisPlan(), AxisPlan(), {}});
    }
    for (int i = 0; i < kTraceCount; ++i) {
        const TraceSpec& def = kTraceSpecs[i];
        const SeriesInfo info = series_info(def.series);
        TracePlan t{i, trace_name(def), info.unit, trace_color(i), !request.hidden[i], {}};
        t.has_limits = info.has_limits;
        t.limit_low = info.low;
        t.limit_high = info.high;
        plan.traces.push_back(std::move(t));
        plan.charts[static_cast<std::size_t>(def.chart)].traces.push_back(i);
    }
    const uint64_t polls = history.held_polls();
    if (polls == 0) {
        return plan;
    }
    // The span held, whatever order a log's lines came in.
    const ReadingHistory::TimeSpan span = history.held_span();
    plan.earliest = span.earliest;
    plan.latest = span.latest;
    const Held held{span.earliest, span.latest, polls, request.resolution};
    const int pixels = std::max(1, request.plot_pixels);
    const ViewChoice choice = choose_view(
        held, request.span, pixels / std::max(1, request.pixels_per_column), request.zoom);
    plan.view = choice.view;
    plan.grid = choice.grid;
    const double from = choice.view.from;
    const double to = choice.view.to;
    plan.column_seconds = (to - from) / choice.view.columns;
    if (request.markers != nullptr) {
        for (const ChartMarker& m : *request.markers) {
            if (m.seconds >= from && m.seconds <= to) {
                plan.markers.push_back(m);
            }
        }
        std::stable_sort(
            plan.markers.begin(), plan.markers.end(),
            [](const ChartMarker& a, const ChartMarker& b) { return a.seconds < b.seconds; });
    }

    const int most = std::max(2, static_cast<int>(pixels / kTimeTickSpacing));
    const TimeTicks ticks =
        time_ticks(from, to, most, local_utc_offset(from), span.earliest, span.latest);
    for (double t = ticks.first; t <= to; t += ticks.step) {
        plan.ticks.push_back({t, local_time_text(t, ticks.format)});
    }

    SeriesSet wanted;
    for (const TraceSpec& def : kTraceSpecs) {
        if (request.charts[static_cast<std::size_t>(def.chart)]) {
            wanted.set(static_cast<std::size_t>(def.series));
        }
    }
    const std::vector<std::vector<ChartPoint>> points =
        history.extract_all(from, to, choice.view.columns, wanted);
    std::vector<Range> left(kChartCount);
    std::vector<Range> right(kChartCount);
    for (TracePlan& t : plan.traces) {
        const TraceSpec& def = kTraceSpecs[t.trace];
        if (!request.charts[static_cast<std::size_t>(def.chart)]) {
            continue;
        }
        Range values;
        t.runs.emplace_back();
        for (const ChartPoint& p : points[static_cast<std::size_t>(def.series)]) {
            // Beyond kLargestChartValue an axis's arithmetic would overflow:
            // such a value is a gap.
            if (std::isnan(p.value) || std::fabs(p.value) > kLargestChartValue) {
                if (!t.runs.back().empty()) {
                    t.runs.emplace_back();
                }
                continue;
            }
            t.runs.back().push_back(p);
            values.take(p.value);
        }
        if (t.runs.back().empty()) {
            t.runs.pop_back();
        }
        t.has_points = !values.empty();
        t.out_of_limits = t.has_points && t.has_limits &&
                          (values.low < t.limit_low || values.high > t.limit_high);
        ChartPlan& chart = plan.charts[static_cast<std::size_t>(def.chart)];
        AxisPlan& axis = def.right_axis ? chart.right : chart.left;
        axis.used = axis.used || t.has_points;
        if (t.shown && t.has_points) {
            Range& r = def.right_axis ? right[static_cast<std::size_t>(def.chart)]
                                      : left[static_cast<std::size_t>(def.chart)];
            r.take(values.low);
            r.take(values.high);
            // A rail's axis holds its lamp limits, so the line reads against them.
            if (t.has_limits) {
                r.take(t.limit_low);
                r.take(t.limit_high);
            }
            // And at least its nominal value +-5 %: a few millivolts of noise
            // on a rail without limits must not fill the chart as swings.
            if (const RailSpec* rail = series_info(def.series).rail) {
                r.take(rail->nominal_volts * (1 - kRailLeastSpan));
                r.take(rail->nominal_volts * (1 + kRailLeastSpan));
            }
        }
    }
    for (std::size_t c = 0; c < plan.charts.size(); ++c) {
        plan.charts[c].left.scale = value_scale(left[c].low, left[c].high, kValueTicks);
        plan.charts[c].right.scale = value_scale(right[c].low, right[c].high, kValueTicks);
    }
    return plan;
}

PageLayout lay_out_page(int width, int height) {
    PageLayout page{width, height, {}};
    double weights = 0;
    for (int c = 0; c < kChartCount; ++c) {
        weights += c >= kFirstRailChart && c < kFirstRailChart + kRailCount ? 1 : 2;
    }

    double top = 0;
    for (int c = 0; c < kChartCount; ++c) {
        const bool rail = c >= kFirstRailChart && c < kFirstRailChart + kRailCount;
        const double block = height * (rail ? 1 : 2) / weights;
        const double above = rail ? kCompactGap / 2.0 : kPlotTitle;
        const double below = rail ? kCompactGap / 2.0 : kPlotBottom;
        page.plots.push_back({static_cast<double>(kPlotLeft), top + above,
                              std::max(1.0, width - double(kPlotLeft) - kPlotRight),
                              std::max(1.0, block - above - below), rail});
        top += block;
    }
    return page;
}

double x_at(const TrendPlan& plan, const PlotBox& box, double seconds) {
    const double length = plan.view.to - plan.view.from;
    return box.left + (length > 0 ? (seconds - plan.view.from) / length * box.width : 0);
}

double y_at(const ValueScale& scale, const PlotBox& box, double value) {
    const double range = scale.high - scale.low;
    return box.top + box.height - (range > 0 ? (value - scale.low) / range * box.height : 0);
}

std::vector<LegendEntry> legend_entries(const TrendPlan& plan, const PageLayout& page) {
    std::vector<LegendEntry> entries;
    for (std::size_t c = 0; c < plan.charts.size() && c < page.plots.size(); ++c) {
        const PlotBox& box = page.plots[c];
        int row = 0;
        for (int i : plan.charts[c].traces) {
            if (plan.traces[static_cast<std::size_t>(i)].has_points) {
                entries.push_back({i, box.left + box.width + kLegendGap,
                                   box.top + kLegendRow / 2.0 - 2 + row * kLegendRow});
                ++row;
            }
        }
    }
    return entries;
}

int legend_entry_at(const TrendPlan& plan, const PageLayout& page, double x, double y) {
    for (const LegendEntry& e : legend_entries(plan, page)) {
        if (x >= e.x && x < page.width && std::fabs(y - e.y) <= kLegendRow / 2.0) {
            return e.trace;
        }
    }
    return -1;
}

TrendPlan plan_page(const ReadingHistory& history, PlanRequest request, const PageLayout& page) {
    request.plot_pixels = page.plots.empty() ? 1 : static_cast<int>(page.plots.front().width);
    return plan_trends(history, request);
}

std::vector<std::string> tooltip_rows(const ReadingHistory& history, const TrendPlan& plan,
                                      double seconds, bool with_limits) {
    std::vector<std::string> rows;
    ReadingHistory::PollValues poll;
    // A poll counts as at the cursor within one column of it.
    if (!history.poll_near(seconds, plan.column_seconds, &poll)) {
        return rows;
    }
    rows.push_back(local_time_text(poll.seconds, "%d.%m.%Y %H:%M:%S"));
    for (const TracePlan& t : plan.traces) {
        const double value = poll.value[static_cast<int>(kTraceSpecs[t.trace].series)];
        if (!t.shown || std::isnan(value) || std::fabs(value) > kLargestChartValue) {
            continue;
        }
        std::string row = t.name + ": " + number_text(value, "%.6g");
        if (*t.unit != '\0') {
            row += std::string(" ") + t.unit;
        }
        if (with_limits && t.has_limits) {
            row += " (lamp limits " + number_text(t.limit_low, "%.1f") + ".." +
                   number_text(t.limit_high, "%.1f") + " " + t.unit + ")";
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string marker_text_near(const TrendPlan& plan, double seconds, double reach) {
    std::string text;
    for (const ChartMarker& m : plan.markers) {
        if (std::fabs(m.seconds - seconds) <= reach) {
            text += (text.empty() ? "" : "\n") + m.text;
        }
    }
    return text;
}

}  // namespace charts
