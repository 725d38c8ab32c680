#include "logbook/error_performance.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "device/text_format.h"

const char* second_class_name(SecondClass c) {
    switch (c) {
        case SecondClass::kClean:
            return "clean";
        case SecondClass::kErrored:
            return "ES";
        case SecondClass::kSevere:
            return "SES";
        case SecondClass::kUnavailable:
            return "UAS";
        case SecondClass::kUnknown:
            break;
    }
    return "unknown";
}

double QualityCounts::availability() const {
    const uint64_t known = available + uas;
    return known == 0 ? -1.0 : static_cast<double>(available) / static_cast<double>(known);
}

QualityCounts& QualityCounts::operator+=(const QualityCounts& other) {
    es += other.es;
    ses += other.ses;
    bbe += other.bbe;
    uas += other.uas;
    unknown += other.unknown;
    available += other.available;
    return *this;
}

bool link_defect(const DeviceReadings& readings) {
    if (readings.family_rate_mbps == kFamily1000) {
        return readings.receiver_lock == ReceiverLock::kNotLocked;
    }
    return readings.up_link_mbps == 0 || readings.down_link_mbps == 0;
}

ErrorPerformance::ErrorPerformance(int bin_seconds) : bin_seconds_(bin_seconds) {}

void ErrorPerformance::start_run() {
    have_last_ = false;
}

void ErrorPerformance::add_poll(double seconds, bool answered, const DeviceReadings& readings) {
    if (!seen_poll_ || seconds < last_poll_seconds_ || seconds - last_poll_seconds_ > kLongestGap) {
        // The first poll, or a clock set back or far forward: nothing
        // before it is counted.
        close_open();
        seen_poll_ = true;
    } else if (!answered) {
        add_interval(last_poll_seconds_, seconds, false, false, 0, 0);
    } else {
        const double span = seconds - last_seconds_;
        const double increase = readings.fec_fail_count - last_fec_;
        if (have_last_ && span <= kLongestPollInterval && increase >= 0) {
            add_interval(last_seconds_, seconds, true, link_defect(readings),
                         std::max(readings.radio_to_phy_rate, 0.0) * span,
                         static_cast<uint64_t>(std::llround(increase)));
        } else {
            // After an unanswered poll, a gap, a new run or a counter that
            // went back: nothing says what happened since the last poll.
            add_interval(last_poll_seconds_, seconds, false, false, 0, 0);
        }
    }
    have_last_ = answered;
    if (answered) {
        last_seconds_ = seconds;
        last_fec_ = readings.fec_fail_count;
    }
    last_poll_seconds_ = seconds;
}

void ErrorPerformance::add_interval(double from, double to, bool known, bool defect, double blocks,
                                    uint64_t errored) {
    // Second k is the time (k - 1, k]; an interval belongs to the seconds
    // whose ends it passes, and one that passes none adds to the second it
    // ends in.
    const auto end = static_cast<int64_t>(std::ceil(to));
    const int64_t passed = end - static_cast<int64_t>(std::ceil(from));
    if (passed <= 0 && open_.any && open_.chunk.end == end) {
        open_.known = open_.known && known;
        open_.defect = open_.defect || defect;
        open_.blocks += blocks;
        open_.chunk.errored += errored;
    } else {
        close_open();
        open_ = Open{};
        open_.any = true;
        open_.chunk.end = end;
        open_.chunk.seconds = static_cast<uint32_t>(std::max<int64_t>(passed, 0));
        open_.known = known;
        open_.defect = defect;
        open_.blocks = blocks;
        open_.chunk.errored = errored;
        coarse_ = coarse_ || (known && passed > 1);
    }
    if (!open_.known) {
        latest_class_ = SecondClass::kUnknown;
    } else if (open_.defect ||
               static_cast<double>(open_.chunk.errored) > kSevereBlockShare * open_.blocks) {
        latest_class_ = SecondClass::kSevere;
    } else {
        latest_class_ = open_.chunk.errored > 0 ? SecondClass::kErrored : SecondClass::kClean;
    }
}

void ErrorPerformance::close_open() {
    if (!open_.any) {
        return;
    }
    open_.any = false;
    if (open_.chunk.seconds == 0) {
        return;  // the polls of the very first second: no time before them
    }
    Chunk chunk = open_.chunk;
    chunk.cls = latest_class_;
    take(chunk);
}

void ErrorPerformance::take(const Chunk& chunk) {
    if (chunk.cls == SecondClass::kUnknown) {
        commit(chunk, SecondClass::kUnknown);
        return;
    }
    const bool severe = chunk.cls == SecondClass::kSevere;
    if (severe == unavailable_) {
        // The link stays as it is: what was pending was a run too short
        // to change it.
        flush_pending(unavailable_);
        commit(chunk, unavailable_ ? SecondClass::kUnavailable : chunk.cls);
        return;
    }
    pending_.push_back(chunk);
    pending_seconds_ += chunk.seconds;
    if (pending_seconds_ >= kUnavailableRun) {
        // The run decides: the link changed at its first second.
        unavailable_ = !unavailable_;
        changed_at_ = pending_.front().end - pending_.front().seconds;
        flush_pending(unavailable_);
    }
}

void ErrorPerformance::flush_pending(bool as_unavailable) {
    for (const Chunk& chunk : pending_) {
        commit(chunk, as_unavailable ? SecondClass::kUnavailable : chunk.cls);
    }
    pending_.clear();
    pending_seconds_ = 0;
}

void ErrorPerformance::commit(const Chunk& chunk, SecondClass as) {
    int64_t start = chunk.end - chunk.seconds;  // the first second's start
    uint32_t left = chunk.seconds;
    int64_t last_bin = 0;
    while (left > 0) {
        last_bin = bin_of(start);
        const auto n = static_cast<uint32_t>(
            std::min<int64_t>(left, std::max<int64_t>(cached_bin_end_ - start, 1)));
        QualityCounts& bin = bins_[last_bin];
        switch (as) {
            case SecondClass::kUnknown:
                bin.unknown += n;
                break;
            case SecondClass::kUnavailable:
                bin.uas += n;
                break;
            case SecondClass::kSevere:
                bin.ses += n;
                bin.es += n;
                bin.available += n;
                break;
            case SecondClass::kErrored:
                bin.es += n;
                bin.available += n;
                break;
            case SecondClass::kClean:
                bin.available += n;
                break;
        }
        start += n;
        left -= n;
    }
    if (chunk.seconds > 0 && (as == SecondClass::kErrored || as == SecondClass::kClean)) {
        bins_[last_bin].bbe += chunk.errored;
    }
}

int64_t ErrorPerformance::bin_of(int64_t second_start) {
    if (second_start >= cached_bin_start_ && second_start < cached_bin_end_) {
        return cached_bin_start_;
    }
    std::tm local{};
    if (!local_time(static_cast<std::time_t>(second_start), &local)) {
        cached_bin_start_ = second_start - second_start % bin_seconds_;
        cached_bin_end_ = cached_bin_start_ + bin_seconds_;
        return cached_bin_start_;
    }
    const int64_t of_day = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    cached_bin_start_ = second_start - of_day % bin_seconds_;
    if (bin_seconds_ >= 86400) {
        // A local day may be 23 or 25 hours long: the next midnight ends it.
        local.tm_mday += 1;
        local.tm_hour = 0;
        local.tm_min = 0;
        local.tm_sec = 0;
        local.tm_isdst = -1;
        const std::time_t next = std::mktime(&local);
        cached_bin_end_ = next > cached_bin_start_ ? static_cast<int64_t>(next)
                                                   : cached_bin_start_ + bin_seconds_;
    } else {
        cached_bin_end_ = cached_bin_start_ + bin_seconds_;
    }
    return cached_bin_start_;
}

void ErrorPerformance::finish() {
    close_open();
    flush_pending(unavailable_);
}

QualityCounts ErrorPerformance::totals() const {
    QualityCounts sum;
    for (const auto& bin : bins_) {
        sum += bin.second;
    }
    return sum;
}

QualityCounts ErrorPerformance::totals_if_finished() const {
    ErrorPerformance copy = *this;
    copy.finish();
    return copy.totals();
}

QualityCounts ErrorPerformance::counts_since_if_finished(double seconds) const {
    ErrorPerformance copy = *this;
    copy.finish();
    QualityCounts sum;
    for (auto bin = copy.bins_.lower_bound(static_cast<int64_t>(std::floor(seconds)));
         bin != copy.bins_.end(); ++bin) {
        sum += bin->second;
    }
    return sum;
}

double local_day_start(double seconds) {
    const auto t = static_cast<std::time_t>(std::floor(seconds));
    std::tm local{};
    if (!local_time(t, &local)) {
        return seconds;
    }
    return std::floor(seconds) - (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

std::vector<charts::QualityBar> quality_bars(const ErrorPerformance& quality) {
    std::vector<charts::QualityBar> bars;
    for (const auto& bin : quality.bins()) {
        const QualityCounts& c = bin.second;
        bars.push_back({static_cast<double>(bin.first), static_cast<double>(quality.bin_seconds()),
                        c.es - c.ses, c.ses, c.uas, c.unknown});
    }
    return bars;
}
