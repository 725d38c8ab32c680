// The trend charts' plan: everything a chart shows, worked out from a
// ReadingHistory with no toolkit, so that the Qt window, the Win32 window
// and the SVG writer draw the same thing. Which time is shown and in how
// many columns, the charts and their series (named as the panes name them),
// each series' points after reduction as runs between gaps, value axes with
// round ticks that hold the rails' lamp limits, the time axis's round ticks
// with their labels, and the rows a tooltip shows. Times are in seconds
// since the epoch.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "charts/reading_history.h"

namespace charts {

// What a history holds: its earliest and latest time, its polls, and the
// step of its time stamps (0: any).
struct Held {
    double earliest;
    double latest;
    uint64_t polls;
    double resolution;
};

// The time shown, [from, to], in `columns` columns of equal time.
struct View {
    double from = 0;
    double to = 0;
    int columns = 0;
    bool operator==(const View& o) const {
        return from == o.from && to == o.to && columns == o.columns;
    }
    bool operator!=(const View& o) const { return !(*this == o); }
};

// A chart has at least this many columns, whatever its width in pixels.
constexpr int kMinColumns = 50;
// A column spans at least this many of the average poll intervals held, so
// that a column without a poll is a real gap.
constexpr double kPollsPerColumn = 2;

// A chosen view: `grid` when it follows the polls on a grid of fixed columns
// (the chosen span is filled), so a new poll changes the newest column alone
// until the grid moves on.
struct ViewChoice {
    View view;
    bool grid;
};

// The view of `held` for a time window of `span` seconds (0: all held) on a
// plot `pixels` wide. `zoom`, when not null, is the operator's zoomed or
// panned range, which stays. Until the span is filled the view runs from the
// earliest point to the latest; then it scrolls, ending with the column the
// latest point is in. A view is never shorter than a second.
ViewChoice choose_view(const Held& held, double span, int pixels, const View* zoom);

// A value axis: [low, high] with round ticks `step` apart, labelled with
// `decimals` decimals.
struct ValueScale {
    double low;
    double high;
    int ticks;
    int decimals;
};
// The scale for values in [low, high] (empty when low > high or NaN: 0..1):
// a 5% margin around them (not below 0 for values that are not negative),
// 5% of a single value around it (a unit around 0), widened to whole steps:
// at most `ticks` (at least 2) round ticks of 1, 2 or 5 times a power of ten.
ValueScale value_scale(double low, double high, int ticks);

// The time axis: ticks at multiples of `step` seconds in local time, the
// first at `first`, labelled with a strftime() format.
struct TimeTicks {
    double step;
    double first;
    const char* format;
};
// The round step (1, 2, 5, 10, 15, 30 s or min, 1, 2, 6, 12 h, then whole
// days) that puts at most `most` ticks on [from, to]; `utc_offset` is the
// local time's offset in seconds. The labels carry the date unless every
// point held, [earliest, latest], lies within one local day.
TimeTicks time_ticks(double from, double to, int most, double utc_offset, double earliest,
                     double latest);

// The local time's offset from UTC at `seconds`, in seconds.
double local_utc_offset(double seconds);
// `seconds` in local time, as strftime() `format` gives it.
std::string local_time_text(double seconds, const char* format);

// The charts, top to bottom: temperatures, one per supply rail (in volts,
// with its lamp limits), the receiver, link rates, packet rates, errors.
// Every axis holds one quantity.
struct ChartSpec {
    const char* title;
    const char* left_title;
    const char* right_title;  // null: no right axis
};
constexpr int kFirstRailChart = 1;
constexpr int kChartCount = kFirstRailChart + kRailCount + 4;
extern const ChartSpec kChartSpecs[kChartCount];

// A series drawn: which chart it is in, on which axis, named as its pane
// names it (`label` then `suffix`, when not null).
struct TraceSpec {
    Series series;
    const char* label;
    const char* suffix;
    int chart;
    bool right_axis;
};
constexpr int kTraceCount = 22;
extern const TraceSpec kTraceSpecs[kTraceCount];
std::string trace_name(const TraceSpec& def);
// Each series' colour as 0xRRGGBB, distinct within its chart.
uint32_t trace_color(int trace);

// An event marked on the time axis: a thin line across every chart at its
// time, its text in the tooltip. The charts know nothing of what the event
// was; whoever fills the request says it in `text`.
struct ChartMarker {
    double seconds;
    std::string text;
};
// Every front end draws the markers in this colour (0xRRGGBB), apart from
// the series' palette.
constexpr uint32_t kMarkerColor = 0xFF8C00;

// What to plan: the time window (`span` seconds, 0: all held; or `zoom`,
// the operator's zoomed or panned range), the plot's width in pixels and
// how many pixels a column takes, the step of the history's time stamps
// (see Held), the series the operator hid, and the charts to plan: the
// series of the others get no points and their axes no values (a window
// plans only the charts in sight). `markers`, when not null, are the events
// to mark, in any order; those in view are planned.
struct PlanRequest {
    double span = 3600;
    const View* zoom = nullptr;
    int plot_pixels = 600;
    int pixels_per_column = 2;
    double resolution = 0;
    std::bitset<kTraceCount> hidden;
    std::bitset<kChartCount> charts = std::bitset<kChartCount>().set();
    const std::vector<ChartMarker>* markers = nullptr;
};

// A series as drawn: its points (in time order, each a poll's own time and
// value) as runs between gaps, whether it has any value in view, and for a
// rail with a lamp its limits and whether it went beyond them in view.
struct TracePlan {
    int trace;  // index in kTraceSpecs
    std::string name;
    const char* unit;
    uint32_t color;
    bool shown;
    std::vector<std::vector<ChartPoint>> runs;
    bool has_points = false;
    bool has_limits = false;
    double limit_low = 0;
    double limit_high = 0;
    bool out_of_limits = false;
};

struct AxisPlan {
    ValueScale scale{0, 1, 3, 1};
    bool used = false;  // any series on it has a value in view
};

struct ChartPlan {
    const ChartSpec* def;
    AxisPlan left;
    AxisPlan right;           // only with def->right_title
    std::vector<int> traces;  // indices in TrendPlan::traces
};

struct TimeTick {
    double seconds;
    std::string label;
};

struct TrendPlan {
    View view;          // from == to == 0 when nothing is held
    bool grid = false;  // see ViewChoice
    double column_seconds = 0;
    double earliest = 0;  // the span held
    double latest = 0;
    std::vector<TimeTick> ticks;
    std::vector<ChartPlan> charts;     // kChartCount, in kChartSpecs' order
    std::vector<TracePlan> traces;     // kTraceCount, in kTraceSpecs' order
    std::vector<ChartMarker> markers;  // the request's within the view, in time order
    // The value at tick k of `scale`.
    static double tick_value(const ValueScale& scale, int k);
};

// About this many ticks on a value axis, and this many pixels between time
// ticks at least.
constexpr int kValueTicks = 5;
constexpr double kTimeTickSpacing = 90;

// The plan of `history` for `request`.
TrendPlan plan_trends(const ReadingHistory& history, const PlanRequest& request);

// A page of every chart, for the front ends that draw the plan themselves
// (the SVG writer, the Win32 window): each chart's plot area in pixels,
// with room left of it for the value labels and the axis title, above it
// for the chart's title, below it for the time labels and right of it for
// the right axis and the legend. A rail's chart is half as high as the
// others and compact: no title (its legend names the rail), no time
// labels, and only its lowest and highest value labelled.
struct PlotBox {
    double left;
    double top;
    double width;
    double height;
    bool compact = false;
};
struct PageLayout {
    int width;
    int height;
    std::vector<PlotBox> plots;  // kChartCount, top to bottom
};
constexpr int kPlotLeft = 70;
constexpr int kPlotRight = 230;
constexpr int kCompactGap = 8;
constexpr int kPlotTitle = 18;
constexpr int kPlotBottom = 18;
PageLayout lay_out_page(int width, int height);
// Where a time falls across a plot, and a value up it.
double x_at(const TrendPlan& plan, const PlotBox& box, double seconds);
double y_at(const ValueScale& scale, const PlotBox& box, double value);
// The legend right of each plot: a row for each series with a value in
// view, shown or hidden (a click on its row hides or shows it; a hidden
// series' row is drawn faded), each row a sample line from (x, y) and the
// series' name after it. A row is kLegendRow high, centred on y, and runs
// to the page's right edge.
constexpr int kLegendGap = 50;  // from the plot's right edge, past the right axis's labels
constexpr int kLegendRow = 14;
struct LegendEntry {
    int trace;  // index in TrendPlan::traces
    double x;
    double y;
};
std::vector<LegendEntry> legend_entries(const TrendPlan& plan, const PageLayout& page);
// The series whose legend row holds (x, y) of the page, or -1.
int legend_entry_at(const TrendPlan& plan, const PageLayout& page, double x, double y);
// The plan for a page: `request` with the page's plot width.
TrendPlan plan_page(const ReadingHistory& history, PlanRequest request, const PageLayout& page);

// What a tooltip at `seconds` shows: the poll of `history` nearest to it
// within a column of `plan`, so that a time and its values always come from
// one poll: its time ("dd.mm.yyyy HH:MM:SS"), then each shown series' value
// in it as "name: value unit" (with a rail's lamp limits when
// `with_limits`). Empty when no poll lies within reach.
std::vector<std::string> tooltip_rows(const ReadingHistory& history, const TrendPlan& plan,
                                      double seconds, bool with_limits = false);

// The texts of the plan's markers within `reach` seconds of `seconds`, one
// a line, in time order; empty when none is.
std::string marker_text_near(const TrendPlan& plan, double seconds, double reach);

}  // namespace charts
