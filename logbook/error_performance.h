// The link's error performance, counted in seconds as radio-link operators
// count it: errored seconds (ES), severely errored seconds (SES), background
// block errors (BBE), unavailable seconds (UAS), and the seconds nothing is
// known of, in bins of 15 minutes, an hour or a day. docs/quality.md gives
// every definition and the reason for it.
//
// The calculator is fed poll by poll, from the live console or from a log,
// and keeps no reading of its own beyond the last poll's counter.
//
// - A second's blocks are the radio-to-PHY packets received in it (the rate
//   times the time); its errored blocks the increase of the FEC failure
//   counter. A counter that went back gives no count: that time is unknown.
// - A defect (a receiver not locked on family 1000, a link rate of 0 on
//   family 350) makes a second severely errored.
// - Time is classified between two answered polls of one run only; the time
//   around an unanswered poll, and between runs, is unknown.
// - A poll interval of N seconds is classified as a whole; faster polls add
//   up to the second they end in.
// - Unavailable time begins at the first of 10 consecutive SES and ends at
//   the first of 10 consecutive seconds that are not; both edges count back,
//   so the last seconds stay pending until the run is decided. Unknown time
//   neither extends nor breaks a run.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "charts/quality_chart.h"
#include "device/device_readings.h"

// More than this share of a second's blocks errored makes it severely errored.
constexpr double kSevereBlockShare = 0.30;
// Consecutive severely errored seconds that start unavailable time, and
// consecutive other seconds that end it.
constexpr uint32_t kUnavailableRun = 10;
// A longer time between two polls of one run is taken as a gap: unknown.
constexpr double kLongestPollInterval = 900;
// A longer time between two polls is taken for a clock set forward (a
// computer's clock reset to a past year, then set right), as one that goes
// back is taken for a clock set back: the time across it is not counted at
// all. Else one wrong date would make decades of unknown bins.
constexpr double kLongestGap = 31 * 86400.0;

// The class of a stretch of time.
enum class SecondClass : uint8_t {
    kUnknown,      // no answer, a gap, a counter that went back
    kClean,        // available, without error
    kErrored,      // ES: at least one errored block, not severely
    kSevere,       // SES
    kUnavailable,  // UAS
};

// "unknown", "clean", "ES", "SES", "UAS".
const char* second_class_name(SecondClass c);

struct QualityCounts {
    uint64_t es = 0;   // errored seconds, the severely errored among them
    uint64_t ses = 0;  // severely errored seconds
    uint64_t bbe = 0;  // errored blocks in seconds that are not SES
    uint64_t uas = 0;
    uint64_t unknown = 0;
    uint64_t available = 0;  // known seconds that are not unavailable

    // Every second counted, known or not.
    uint64_t seconds() const { return available + uas + unknown; }
    // available / (available + unavailable); negative when neither is known.
    double availability() const;
    QualityCounts& operator+=(const QualityCounts& other);
};

class ErrorPerformance {
public:
    // `bin_seconds`: 900, 3600 or 86400; bins start on the local clock's
    // quarter hours, hours or midnights.
    explicit ErrorPerformance(int bin_seconds = 900);

    // A new run starts (Start, a header block in a log): the time since the
    // last poll is unknown.
    void start_run();
    // One poll at `seconds` since the epoch. `readings` is read only when
    // `answered`.
    void add_poll(double seconds, bool answered, const DeviceReadings& readings);
    // Decides what is pending as the end of the data leaves it: a run of
    // fewer than 10 SES stays SES, an unavailable link stays unavailable.
    void finish();

    // Bins by their start (seconds since the epoch), and the totals; what is
    // still pending is not in them until `finish`.
    const std::map<int64_t, QualityCounts>& bins() const { return bins_; }
    QualityCounts totals() const;
    // The counts as they would stand if the data ended now: in all, and in
    // the bins that start at `seconds` or later.
    QualityCounts totals_if_finished() const;
    QualityCounts counts_since_if_finished(double seconds) const;
    // Whether the link counts as unavailable as the seconds so far decide.
    bool unavailable() const { return unavailable_; }
    // The start (seconds since the epoch) of the run that last changed
    // `unavailable()`: its first second; 0 before any change.
    double changed_at() const { return static_cast<double>(changed_at_); }
    // The class of the latest poll's interval, before any run decides it;
    // kUnknown before the second poll of a run.
    SecondClass latest_class() const { return latest_class_; }
    // Whether any poll interval was longer than a second.
    bool coarse() const { return coarse_; }
    int bin_seconds() const { return bin_seconds_; }

private:
    // Seconds that end at `end` (seconds since the epoch), `seconds` long.
    struct Chunk {
        int64_t end = 0;
        uint32_t seconds = 0;
        SecondClass cls = SecondClass::kUnknown;
        uint64_t errored = 0;
    };
    // What adds up to the second (or interval) being filled.
    struct Open {
        bool any = false;
        Chunk chunk;
        bool known = true;
        bool defect = false;
        double blocks = 0;
    };

    void add_interval(double from, double to, bool known, bool defect, double blocks,
                      uint64_t errored);
    void close_open();
    void take(const Chunk& chunk);
    void flush_pending(bool as_unavailable);
    void commit(const Chunk& chunk, SecondClass as);
    int64_t bin_of(int64_t second_start);

    int bin_seconds_;
    std::map<int64_t, QualityCounts> bins_;
    Open open_;
    std::vector<Chunk> pending_;
    uint32_t pending_seconds_ = 0;
    bool unavailable_ = false;
    int64_t changed_at_ = 0;
    bool have_last_ = false;  // the last poll of this run was answered
    double last_seconds_ = 0;
    double last_fec_ = 0;
    bool seen_poll_ = false;  // any poll since the calculator began
    double last_poll_seconds_ = 0;
    SecondClass latest_class_ = SecondClass::kUnknown;
    bool coarse_ = false;
    // The local bin last looked up.
    int64_t cached_bin_start_ = 0;
    int64_t cached_bin_end_ = 0;
};

// The bins of `quality` as the error performance chart draws them.
std::vector<charts::QualityBar> quality_bars(const ErrorPerformance& quality);

// The start of the local day that `seconds` falls in.
double local_day_start(double seconds);

// Whether the readings of an answered poll show a defect: a receiver not
// locked (family 1000), or a link rate of 0 (family 350).
bool link_defect(const DeviceReadings& readings);
