#include "ui/trends_view.h"

#include <algorithm>
#include <cmath>

namespace trends {

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
    } else if (hi - lo < 1e-9) {
        lo -= 0.5;
        hi += 0.5;
    } else {
        const double margin = (hi - lo) * 0.05;
        // Counts and rates never go below zero; neither does their axis.
        lo = lo >= 0 ? std::max(0.0, lo - margin) : lo - margin;
        hi += margin;
    }
    const double rough = (hi - lo) / std::max(1, ticks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / power;
    const double step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * power;
    lo = std::floor(lo / step) * step;
    hi = std::ceil(hi / step) * step;
    // As many decimals as the step has.
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    return {lo, hi, static_cast<int>(std::lround((hi - lo) / step)) + 1, decimals};
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
    const char* format = step >= kDay                ? "dd.MM"
                         : one_day && step < kMinute ? "HH:mm:ss"
                         : one_day                   ? "HH:mm"
                         : step < kMinute            ? "dd.MM HH:mm:ss"
                                                     : "dd.MM HH:mm";
    return {step, first, format};
}

}  // namespace trends
