#include "charts/reading_history.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct SeriesRow {
    const char* name;
    const char* unit;
    int rail;  // the series' row of kSupplyRails, or -1
};

constexpr SeriesRow kSeriesRows[kSeriesCount] = {
    {"temperature_1", "deg C", -1},
    {"temperature_2", "deg C", -1},
    {"temperature_3", "deg C", -1},
    {"supply_24v", "V", supply_rail_index(Param::kSupply24V)},
    {"supply_12v", "V", supply_rail_index(Param::kSupply12V)},
    {"supply_9v", "V", supply_rail_index(Param::kSupply9V)},
    {"supply_minus_12v", "V", supply_rail_index(Param::kSupplyMinus12V)},
    {"supply_5v", "V", supply_rail_index(Param::kSupply5V)},
    {"supply_3v3", "V", supply_rail_index(Param::kSupply3V3)},
    {"supply_5v_standby", "V", supply_rail_index(Param::kSupply5VStandby)},
    {"receiver_voltage", "V", -1},
    {"transmitter_voltage", "V", -1},
    {"agc_voltage", "V", -1},
    {"attenuation", "dB", -1},
    {"mse", "dB", -1},
    {"lock", "", -1},
    {"quality", "", -1},
    {"up_link", "Mbps", -1},
    {"down_link", "Mbps", -1},
    {"phy_to_radio_rate", "packets/s", -1},
    {"radio_to_phy_rate", "packets/s", -1},
    {"packet_error_ratio", "", -1},
    {"fec_fails", "", -1},
    {"drop_q1_rate", "packets/s", -1},
    {"drop_tx_rate", "packets/s", -1},
    {"frequency_offset", "MHz", -1},
};

int index_of(Series s) {
    return static_cast<int>(s);
}

// 1 or 0 for a decoded state, none while it is unknown.
template <typename State>
double state_value(State state, State one, State zero) {
    return state == one ? 1 : state == zero ? 0 : kNaN;
}

// Every series but the drop rates, as the panes show them.
void pane_values(const DeviceReadings& r, double* v) {
    const bool f350 = r.family_rate_mbps == kFamily350;
    const bool f1000 = r.family_rate_mbps == kFamily1000;
    for (int i = 0; i < kTemperatureCount; ++i) {
        v[index_of(Series::kTemperature1) + i] = r.temperature[i] / kCentidegreesPerDegree;
    }
    for (int i = 0; i < kSeriesCount; ++i) {
        if (kSeriesRows[i].rail >= 0) {
            const RailSpec& rail = kSupplyRails[kSeriesRows[i].rail];
            v[i] = shown_volts(rail, r.*rail.reading);
        }
    }
    v[index_of(Series::kReceiverVoltage)] = r.receiver_voltage / kMillivoltsPerVolt;
    v[index_of(Series::kTransmitterVoltage)] = r.transmitter_voltage / kMillivoltsPerVolt;
    v[index_of(Series::kAgcVoltage)] = r.agc_voltage / kMillivoltsPerVolt;
    v[index_of(Series::kAttenuation)] = r.attenuation / kTenthsPerDecibel;
    v[index_of(Series::kMse)] = f350 ? r.mse_tenths_db / kTenthsPerDecibel : kNaN;
    v[index_of(Series::kLock)] =
        f1000 ? state_value(r.receiver_lock, ReceiverLock::kLocked, ReceiverLock::kNotLocked)
              : kNaN;
    v[index_of(Series::kQuality)] =
        f1000 ? state_value(r.link_quality, LinkQuality::kGood, LinkQuality::kBad) : kNaN;
    v[index_of(Series::kUpLinkMbps)] = r.up_link_mbps;
    v[index_of(Series::kDownLinkMbps)] = r.down_link_mbps;
    v[index_of(Series::kPhyToRadioRate)] = r.phy_to_radio_rate;
    v[index_of(Series::kRadioToPhyRate)] = r.radio_to_phy_rate;
    v[index_of(Series::kPacketErrorRatio)] = r.packet_error_ratio;
    // The device's own count, which a log holds too: live and from a log
    // the chart draws the same thing.
    v[index_of(Series::kFecFails)] = r.fec_fail_count;
    v[index_of(Series::kFrequencyOffset)] =
        f350 ? r.frequency_offset_hz / kHertzPerMegahertz : kNaN;
}

// Widens [low, high] by the other range. A NaN (no value) on either side
// never hides a value, as with fmin and fmax, but without their calls.
void fold(double& low, double& high, double other_low, double other_high) {
    if (other_low < low || std::isnan(low)) {
        low = other_low;
    }
    if (other_high > high || std::isnan(high)) {
        high = other_high;
    }
}

// Takes `other` as the extreme when it goes further (`beyond`), or as far at
// an earlier time; a NaN never hides a value.
template <typename Beyond>
void fold_extreme(double& value, double& at, double other, double other_at, Beyond beyond) {
    if (std::isnan(other)) {
        return;
    }
    if (std::isnan(value) || beyond(other, value) || (other == value && other_at < at)) {
        value = other;
        at = other_at;
    }
}

bool lower(double a, double b) {
    return a < b;
}
bool higher(double a, double b) {
    return a > b;
}

}  // namespace

SeriesInfo series_info(Series series) {
    const int i = index_of(series);
    if (i < 0 || i >= kSeriesCount) {
        return {"", "", false, 0, 0, nullptr};
    }
    const SeriesRow& row = kSeriesRows[i];
    if (row.rail < 0) {
        return {row.name, row.unit, false, 0, 0, nullptr};
    }
    const RailSpec& rail = kSupplyRails[row.rail];
    if (!rail.has_lamp) {
        return {row.name, row.unit, false, 0, 0, &rail};
    }
    const RailBounds bounds = lamp_bounds_volts(rail);
    return {row.name, row.unit, true, bounds.bottom, bounds.top, &rail};
}

ReadingHistory::ReadingHistory(std::size_t buckets_per_level)
    : buckets_per_level_(std::max<std::size_t>(2, buckets_per_level)) {}

void ReadingHistory::add(double seconds, const DeviceReadings& readings, bool succeeded,
                         const SeriesSet& known) {
    ++polls_;
    Bucket point;
    point.first = seconds;
    point.last = seconds;
    double* v = point.min;
    std::fill(v, v + kSeriesCount, kNaN);
    if (succeeded) {
        pane_values(readings, v);
        // The rates need the previous successful poll of the same family.
        const bool f350 = readings.family_rate_mbps == kFamily350;
        const double elapsed = seconds - counts_seconds_;
        if (have_counts_ && counts_family_ == readings.family_rate_mbps && f350 && elapsed > 0) {
            if (readings.drop_q1_count >= drop_q1_) {
                v[index_of(Series::kDropQ1Rate)] = (readings.drop_q1_count - drop_q1_) / elapsed;
            }
            if (readings.drop_tx_count >= drop_tx_) {
                v[index_of(Series::kDropTxRate)] = (readings.drop_tx_count - drop_tx_) / elapsed;
            }
        }
        if (!known[index_of(Series::kDropQ1Rate)] || !known[index_of(Series::kDropTxRate)]) {
            have_counts_ = false;
        } else {
            have_counts_ = true;
            counts_seconds_ = seconds;
            counts_family_ = readings.family_rate_mbps;
            drop_q1_ = readings.drop_q1_count;
            drop_tx_ = readings.drop_tx_count;
        }
        for (int i = 0; i < kSeriesCount; ++i) {
            if (!known[i]) {
                v[i] = kNaN;
            }
        }
    }
    std::copy(point.min, point.min + kSeriesCount, point.max);
    std::fill(point.min_at, point.min_at + kSeriesCount, seconds);
    std::fill(point.max_at, point.max_at + kSeriesCount, seconds);
    push(0, point);
}

void ReadingHistory::push(int level, const Bucket& bucket) {
    Level& l = levels_[level];
    if (l.buckets.size() < buckets_per_level_) {
        // Until a level is full its ring starts at slot 0, so it grows at
        // the end, never past its capacity.
        if (l.buckets.size() == l.buckets.capacity()) {
            l.buckets.reserve(std::min(buckets_per_level_, std::max<std::size_t>(16, 2 * l.count)));
        }
        l.buckets.push_back(bucket);
        ++l.count;
        return;
    }
    if (l.count == buckets_per_level_) {
        // The two oldest become one bucket of the next level, or go.
        Bucket merged = l.at(0);
        const Bucket& second = l.at(1);
        merged.first = std::min(merged.first, second.first);
        merged.last = std::max(merged.last, second.last);
        for (int i = 0; i < kSeriesCount; ++i) {
            fold_extreme(merged.min[i], merged.min_at[i], second.min[i], second.min_at[i], lower);
            fold_extreme(merged.max[i], merged.max_at[i], second.max[i], second.max_at[i], higher);
        }
        l.head = (l.head + 2) % buckets_per_level_;
        l.count -= 2;
        if (level + 1 < kLevels) {
            push(level + 1, merged);
        }
    }
    l.buckets[(l.head + l.count) % buckets_per_level_] = bucket;
    ++l.count;
}

void ReadingHistory::fold_columns(const std::vector<int>& series, double from, double to, int width,
                                  std::vector<Kept>* kept, std::vector<char>* polled) const {
    const int count = static_cast<int>(series.size());
    kept->assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(count), Kept());
    polled->assign(static_cast<std::size_t>(width), 0);
    const double scale = width / (to - from);
    auto column_of = [&](double t) {
        const double c = std::floor((t - from) * scale);
        return c < 0 ? 0 : c >= width ? width - 1 : static_cast<int>(c);
    };
    Kept* kept_data = kept->data();
    for (const Level& level : levels_) {
        for (std::size_t i = 0; i < level.count; ++i) {
            const Bucket& b = level.at(i);
            if (b.last < from || b.first > to) {
                continue;
            }
            const int first_column = column_of(b.first);
            const int last_column = column_of(b.last);
            for (int c = first_column; c <= last_column; ++c) {
                (*polled)[static_cast<std::size_t>(c)] = 1;
            }
            for (int s = 0; s < count; ++s) {
                const int i_s = series[static_cast<std::size_t>(s)];
                if (std::isnan(b.min[i_s])) {
                    // No poll of the bucket had a value: a gap where it began.
                    if (b.first >= from) {
                        double& at =
                            (*kept)[static_cast<std::size_t>(first_column) * count + s].missing_at;
                        if (std::isnan(at) || b.first < at) {
                            at = b.first;
                        }
                    }
                    continue;
                }
                // Each extreme goes to the column of its own poll; one
                // outside the window is left out.
                const double at[2] = {b.min_at[i_s], b.max_at[i_s]};
                const double value[2] = {b.min[i_s], b.max[i_s]};
                // A single poll's bucket holds one value.
                const int extremes = at[0] == at[1] ? 1 : 2;
                for (int k = 0; k < extremes; ++k) {
                    if (at[k] >= from && at[k] <= to) {
                        const int c = at[k] == b.first  ? first_column
                                      : at[k] == b.last ? last_column
                                                        : column_of(at[k]);
                        kept_data[static_cast<std::size_t>(c) * count + s].take(at[k], value[k]);
                    }
                }
            }
        }
    }
}

void ReadingHistory::column_points(const std::vector<Kept>& kept, const std::vector<char>& polled,
                                   int count, int s, double from, double to,
                                   std::vector<ChartPoint>* points) {
    const int width = static_cast<int>(polled.size());
    const double scale = width / (to - from);
    points->clear();
    points->reserve(2 * polled.size());
    bool after_value = false;
    for (int c = 0; c < width; ++c) {
        const Kept& k = kept[static_cast<std::size_t>(c) * count + s];
        if (!k.empty()) {
            ChartPoint column[5] = {k.first, k.low, k.high, k.last, {k.missing_at, kNaN}};
            const int n = std::isnan(k.missing_at) ? 4 : 5;
            // In time order; five at most, so by insertion (a library sort
            // costs more than the column itself).
            for (int i = 1; i < n; ++i) {
                for (int j = i; j > 0 && column[j].seconds < column[j - 1].seconds; --j) {
                    std::swap(column[j], column[j - 1]);
                }
            }
            for (int i = 0; i < n; ++i) {
                if (i == 0 || column[i].seconds != column[i - 1].seconds ||
                    !(column[i].value == column[i - 1].value)) {
                    points->push_back(column[i]);
                }
            }
            after_value = !std::isnan(points->back().value);
            continue;
        }
        if (!std::isnan(k.missing_at)) {
            points->push_back({k.missing_at, kNaN});
            after_value = false;
            continue;
        }
        if (polled[static_cast<std::size_t>(c)] == 0 && after_value) {
            points->push_back({from + (c + 0.5) / scale, kNaN});
            after_value = false;
        }
    }
}

std::vector<ChartPoint> ReadingHistory::extract(Series series, double from, double to,
                                                int width) const {
    std::vector<ChartPoint> points;
    const int s = index_of(series);
    if (width < 1 || !(to > from) || s < 0 || s >= kSeriesCount) {
        return points;
    }
    std::vector<Kept> kept;
    std::vector<char> polled;
    fold_columns({s}, from, to, width, &kept, &polled);
    column_points(kept, polled, 1, 0, from, to, &points);
    return points;
}

std::vector<std::vector<ChartPoint>> ReadingHistory::extract_all(double from, double to, int width,
                                                                 const SeriesSet& wanted) const {
    std::vector<std::vector<ChartPoint>> all(kSeriesCount);
    if (width < 1 || !(to > from)) {
        return all;
    }
    std::vector<int> series;
    for (int s = 0; s < kSeriesCount; ++s) {
        if (wanted[static_cast<std::size_t>(s)]) {
            series.push_back(s);
        }
    }
    // One pass over the buckets for every series: the store is read once.
    std::vector<Kept> kept;
    std::vector<char> polled;
    fold_columns(series, from, to, width, &kept, &polled);
    const int count = static_cast<int>(series.size());
    for (int k = 0; k < count; ++k) {
        column_points(kept, polled, count, k, from, to,
                      &all[static_cast<std::size_t>(series[static_cast<std::size_t>(k)])]);
    }
    return all;
}

bool ReadingHistory::poll_near(double seconds, double reach, PollValues* out) const {
    // The nearest time any series' extreme was taken at, then what each
    // bucket held at that time.
    double best = kNaN;
    for (const Level& level : levels_) {
        for (std::size_t i = 0; i < level.count; ++i) {
            const Bucket& b = level.at(i);
            if (b.last < seconds - reach || b.first > seconds + reach) {
                continue;
            }
            for (int s = 0; s < kSeriesCount; ++s) {
                for (double at : {b.min_at[s], b.max_at[s]}) {
                    const double d = std::fabs(at - seconds);
                    if (d <= reach && (std::isnan(best) || d < std::fabs(best - seconds))) {
                        best = at;
                    }
                }
            }
        }
    }
    if (std::isnan(best)) {
        return false;
    }
    out->seconds = best;
    std::fill(out->value, out->value + kSeriesCount, kNaN);
    for (const Level& level : levels_) {
        for (std::size_t i = 0; i < level.count; ++i) {
            const Bucket& b = level.at(i);
            if (b.last < best || b.first > best) {
                continue;
            }
            for (int s = 0; s < kSeriesCount; ++s) {
                if (b.min_at[s] == best && !std::isnan(b.min[s])) {
                    out->value[s] = b.min[s];
                } else if (b.max_at[s] == best && !std::isnan(b.max[s])) {
                    out->value[s] = b.max[s];
                }
            }
        }
    }
    return true;
}

double ReadingHistory::oldest_seconds() const {
    for (int k = kLevels - 1; k >= 0; --k) {
        if (levels_[k].count > 0) {
            return levels_[k].at(0).first;
        }
    }
    return kNaN;
}

double ReadingHistory::newest_seconds() const {
    const Level& recent = levels_[0];
    return recent.count > 0 ? recent.at(recent.count - 1).last : kNaN;
}

uint64_t ReadingHistory::held_polls() const {
    // A bucket of level k holds 2^k polls: each is two of the level before.
    uint64_t held = 0;
    for (int k = 0; k < kLevels; ++k) {
        held += static_cast<uint64_t>(levels_[k].count) << k;
    }
    return held;
}

ReadingHistory::TimeSpan ReadingHistory::held_span() const {
    TimeSpan span{kNaN, kNaN};
    for (const Level& level : levels_) {
        for (std::size_t i = 0; i < level.count; ++i) {
            const Bucket& b = level.at(i);
            fold(span.earliest, span.latest, b.first, b.last);
        }
    }
    return span;
}

std::size_t ReadingHistory::memory_bytes() const {
    std::size_t bytes = sizeof *this;
    for (const Level& level : levels_) {
        bytes += level.buckets.capacity() * sizeof(Bucket);
    }
    return bytes;
}
