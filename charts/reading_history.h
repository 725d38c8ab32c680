// The readings' recent history, for trend charts: one value per series per
// poll, kept in a store of fixed total capacity.
//
// Every poll is added, failed ones too: a failed poll is a gap (no value),
// never a zero. The newest polls are kept at full resolution; older ones are
// folded, two neighbours at a time, into min/max buckets that coarsen as
// they age, so a spike stays visible at any age; each bucket keeps the times
// of its extremes, so every value extracted is a poll's own value at that
// poll's own time. Extraction reduces a time window to a chart's columns as
// each column's first, lowest, highest and last poll, in time order.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "device/device_readings.h"
#include "device/supply_rails.h"

// What a chart can show, in the units of the panes.
enum class Series : int {
    kTemperature1,        // deg C
    kTemperature2,        // deg C
    kTemperature3,        // deg C
    kSupply24V,           // V
    kSupply12V,           // V
    kSupply9V,            // V
    kSupplyMinus12V,      // V, negative as the pane shows it
    kSupply5V,            // V
    kSupply3V3,           // V
    kSupply5VStandby,     // V
    kReceiverVoltage,     // V
    kTransmitterVoltage,  // V
    kAgcVoltage,          // V
    kAttenuation,         // dB
    kMse,                 // dB, family 350 only
    kLock,                // 1 locked, 0 not; family 1000 only
    kQuality,             // 1 good, 0 bad; family 1000 only
    kUpLinkMbps,          // Mbps
    kDownLinkMbps,        // Mbps
    kPhyToRadioRate,      // packets/s
    kRadioToPhyRate,      // packets/s
    kPacketErrorRatio,    // ratio
    kFecFails,            // the device's count (Reset does not drop it)
    kDropQ1Rate,          // packets/s, from successive counts; family 350 only
    kDropTxRate,          // packets/s, from successive counts; family 350 only
    kFrequencyOffset,     // MHz, family 350 only
};
constexpr int kSeriesCount = static_cast<int>(Series::kFrequencyOffset) + 1;

// A series' name (lower case with underscores, usable as a metric name), its
// unit, and for the rails that have a lamp the limits of its lamp (kSupplyRails) in the
// series' own unit (a value equal to a limit is in range).
struct SeriesInfo {
    const char* name;
    const char* unit;
    bool has_limits;
    double low;
    double high;
    const RailSpec* rail = nullptr;  // the supply rail shown (label, nominal voltage), or null
};
SeriesInfo series_info(Series series);

// The series a caller has values for; the others are gaps for that poll.
using SeriesSet = std::bitset<kSeriesCount>;
inline SeriesSet all_series() {
    return SeriesSet().set();
}

// The largest magnitude a chart takes: far beyond any reading, yet with room
// for an axis's margins and rounding, which would overflow near the largest
// double. Larger values are not drawn.
constexpr double kLargestChartValue = 1e15;

// One point of an extracted series; a NaN value is a gap.
struct ChartPoint {
    double seconds;
    double value;
};

class ReadingHistory {
public:
    // Polls kept at full resolution; level k beyond them holds up to as
    // many buckets of 2^k polls each. The oldest buckets of the last level
    // are dropped. With one poll a second that is an hour at full resolution
    // and about six weeks in all.
    static constexpr std::size_t kBucketsPerLevel = 3600;
    static constexpr int kLevels = 10;

    // `buckets_per_level` (at least 2) sets the capacity: tests use a small one.
    explicit ReadingHistory(std::size_t buckets_per_level = kBucketsPerLevel);

    // One poll at `seconds` (any monotonic clock the caller chooses). A
    // failed poll adds a gap to every series. Series outside `known` get a
    // gap too. The drop rates are the counts' differences between successive
    // successful polls divided by the time between them; a count that goes
    // down, a change of family or a first poll gives no value.
    void add(double seconds, const DeviceReadings& readings, bool succeeded,
             const SeriesSet& known = all_series());

    // The window [from, to] reduced to `width` columns of equal time: for
    // each column with values, its earliest, lowest, highest and latest
    // value, each at its poll's time, in time order and each poll once (so a
    // column of up to four polls keeps them all, and no reduction reorders
    // what it keeps). A failed poll breaks the line where it was: a NaN
    // point at its time (the earliest one, in a column of several). The
    // first column after one with values that no poll reached gives a NaN
    // point at its middle. So at most 5 * width points, in time order.
    // Empty when width < 1 or to <= from.
    std::vector<ChartPoint> extract(Series series, double from, double to, int width) const;
    // extract() of every series in `wanted` (the others are left empty),
    // indexed by Series, in one pass over the store.
    std::vector<std::vector<ChartPoint>> extract_all(double from, double to, int width,
                                                     const SeriesSet& wanted = all_series()) const;

    // The poll nearest to `seconds`, within `reach` of it: its time and each
    // series' value in it (NaN: none). For polls folded into buckets only
    // the extremes are held, so only series whose extreme it was have one.
    // False when no poll lies within reach.
    struct PollValues {
        double seconds;
        double value[kSeriesCount];
    };
    bool poll_near(double seconds, double reach, PollValues* out) const;

    // Polls added since construction, and the span of time still held.
    uint64_t polls() const { return polls_; }
    double oldest_seconds() const;
    double newest_seconds() const;
    // Polls still held: polls() less those whose buckets were dropped.
    uint64_t held_polls() const;
    // The earliest and the latest time held, whatever order the polls were
    // added in (a log's clock may step back); NaN when nothing is held.
    struct TimeSpan {
        double earliest;
        double latest;
    };
    TimeSpan held_span() const;

    // Bytes the store has allocated. Levels are allocated as they fill: a day
    // at one poll a second takes about 7 MB, every level full about 16 MB.
    std::size_t memory_bytes() const;

private:
    struct Bucket {
        double first;  // the earliest and the latest time of the polls folded in
        double last;
        double min[kSeriesCount];  // NaN when no poll in the bucket had a value
        double max[kSeriesCount];
        double min_at[kSeriesCount];  // the time of the poll that had min (max)
        double max_at[kSeriesCount];
    };
    // A ring of at most buckets_per_level_ buckets, oldest first.
    struct Level {
        std::vector<Bucket> buckets;
        std::size_t head = 0;
        std::size_t count = 0;
        const Bucket& at(std::size_t i) const { return buckets[(head + i) % buckets.size()]; }
    };

    void push(int level, const Bucket& bucket);
    // A column's reduction of one series: its earliest, lowest, highest and
    // latest value, each with its time (the first's time is +infinity while
    // none), and the time of the earliest poll in it that had no value (NaN:
    // none). Infinite starts keep the comparisons free of NaN tests.
    static constexpr double kNoTime = std::numeric_limits<double>::quiet_NaN();
    static constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Kept {
        ChartPoint first{kInf, 0};
        ChartPoint low{kInf, kInf};
        ChartPoint high{kInf, -kInf};
        ChartPoint last{-kInf, 0};
        double missing_at = kNoTime;
        bool empty() const { return first.seconds == kInf; }
        void take(double seconds, double value) {
            if (seconds < first.seconds) {
                first = {seconds, value};
            }
            if (seconds > last.seconds) {
                last = {seconds, value};
            }
            if (value < low.value || (value == low.value && seconds < low.seconds)) {
                low = {seconds, value};
            }
            if (value > high.value || (value == high.value && seconds < high.seconds)) {
                high = {seconds, value};
            }
        }
    };
    // Kept values of `series` (indices) in each of `width` columns of
    // [from, to] (column-major), and whether any poll reached a column.
    void fold_columns(const std::vector<int>& series, double from, double to, int width,
                      std::vector<Kept>* kept, std::vector<char>* polled) const;
    // Series `s` of what fold_columns() gave, as extract() returns it.
    static void column_points(const std::vector<Kept>& kept, const std::vector<char>& polled,
                              int count, int s, double from, double to,
                              std::vector<ChartPoint>* points);

    std::size_t buckets_per_level_;
    Level levels_[kLevels];
    uint64_t polls_ = 0;
    // The last successful poll's drop counts, for the rates.
    bool have_counts_ = false;
    double counts_seconds_ = 0;
    int32_t counts_family_ = 0;
    uint32_t drop_q1_ = 0;
    uint32_t drop_tx_ = 0;
};
