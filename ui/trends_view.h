// The trends window's view arithmetic, kept free of Qt so that it is plain
// functions over plain numbers: which time the charts show and in how many
// columns, the value axes' round ranges, and the time axis's round ticks. Times are in seconds
// since the epoch.
#pragma once

#include <cstdint>

namespace trends {

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
// a 5% margin around them (not below 0 for values that are not negative), a
// unit around a single value, widened to about `ticks` round ticks of 1, 2
// or 5 times a power of ten.
ValueScale value_scale(double low, double high, int ticks);

// The time axis: ticks at multiples of `step` seconds in local time, the
// first at `first`, labelled with a Qt date-time format.
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

}  // namespace trends
