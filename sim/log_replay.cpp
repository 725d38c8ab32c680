// The replay of a measurement log, read in windows as it goes.
#include "sim/log_replay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "process/file_path.h"
#include "snmp/agent_link.h"

namespace {

// Requests that come within kRequestGap seconds of the one before, up to
// kLongestBurst seconds after the first and until a console's next poll
// starts, are answered from the same row: a poll's few requests read one
// row, as the field console's poll did, even when the rows change every few
// ms and the machine is busy.
constexpr double kRequestGap = 0.1;
constexpr double kLongestBurst = 1.0;
// A jump ahead further than this past the rows read bisects the file rather
// than reading every row on the way.
constexpr double kLongestReadAhead = 600.0;
// Bisection stops when the bracket is this narrow; the rest is read.
constexpr uint64_t kBisectionStop = 16 * 1024;
// What is read to find one stamp, or one header block.
constexpr std::size_t kProbeSize = 16 * 1024;

// A stream over octets in memory, for the reader.
class ViewBuffer : public std::streambuf {
public:
    ViewBuffer(char* data, std::size_t size) { setg(data, data, data + size); }
};

int32_t clamp_int32(double value) {
    const double x = std::round(value);
    if (!(x >= std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return x > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                   : static_cast<int32_t>(x);
}

std::string stamp_text(double seconds) {
    const auto whole = static_cast<std::time_t>(std::floor(seconds));
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &whole);
#else
    localtime_r(&whole, &local);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%y %H:%M:%S", &local);
    return text;
}

// "line N: reason" with N moved on by `base - 1`; `*line` gets the new N.
std::string renumbered(const std::string& problem, uint64_t base, uint64_t* line) {
    unsigned long long n = 0;
    int used = 0;
    if (std::sscanf(problem.c_str(), "line %llu%n", &n, &used) != 1) {
        *line = 0;
        return problem;
    }
    *line = n + base - 1;
    return "line " + std::to_string(*line) + problem.substr(static_cast<std::size_t>(used));
}

// Where the header block that `data` ends inside of starts: its first
// identification line after the last column headings, as the reader takes
// it; npos when `data` ends outside a block. `data` starts at a line's start.
std::size_t open_header_block(const std::string& data) {
    const std::size_t headings = data.rfind("\nTime");
    for (std::size_t at = headings == std::string::npos ? 0 : headings + 1; at < data.size();) {
        if (data.compare(at, 2, "ID") == 0 && at + 3 < data.size() && data[at + 2] >= '1' &&
            data[at + 2] <= '8' && data[at + 3] == '=') {
            return at;
        }
        const std::size_t end = data.find('\n', at);
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return std::string::npos;
}

}  // namespace

ReplayedValues served_values(const DeviceReadings& r, const LogHeader* header) {
    ReplayedValues v;
    const bool wide = r.family_rate_mbps == kFamily1000;
    v.family = wide ? DeviceFamily::k1000 : DeviceFamily::k350;
    if (header != nullptr) {
        for (int i = 0; i < kIdTextCount; ++i) {
            v.id[static_cast<std::size_t>(i)] = header->id_text[i];
        }
    }
    const auto set = [&](DeviceObject object, int32_t number) {
        v.numbers[static_cast<std::size_t>(object)] = number;
    };
    set(DeviceObject::kSensorCount, kTemperatureCount);
    set(DeviceObject::kTemperature1, r.temperature[0]);
    set(DeviceObject::kTemperature2, r.temperature[1]);
    set(DeviceObject::kTemperature3, r.temperature[2]);
    set(DeviceObject::kReceiverVoltage, r.receiver_voltage);
    set(DeviceObject::kTransmitterVoltage, r.transmitter_voltage);
    set(DeviceObject::kAgcVoltage, r.agc_voltage);
    set(DeviceObject::kAttenuation, r.attenuation);
    set(DeviceObject::kHumidity, r.humidity);
    set(DeviceObject::kSupply24V, r.supply_24v);
    set(DeviceObject::kSupply12V, r.supply_12v);
    set(DeviceObject::kSupply9V, r.supply_9v);
    set(DeviceObject::kSupplyMinus12V, r.supply_minus_12v);
    set(DeviceObject::kSupply5V, r.supply_5v);
    set(DeviceObject::kSupply3V3, r.supply_3v3);
    set(DeviceObject::kSupply5VStandby, r.supply_5v_standby);
    set(DeviceObject::kTotalCurrent,
        clamp_int32(static_cast<double>(r.total_current) * kCurrentTenthsPerMilliampere));
    set(DeviceObject::kRadioSwitch, r.control_state[0]);
    set(DeviceObject::kHeaterSwitch, r.control_state[2]);
    set(DeviceObject::kPhyToRadioRate, clamp_int32(r.phy_to_radio_rate));
    set(DeviceObject::kRadioToPhyRate, clamp_int32(r.radio_to_phy_rate));
    set(DeviceObject::kFecErrorsOrFrequencyOffset,
        wide ? r.fec_error_count : clamp_int32(r.frequency_offset_hz));
    set(DeviceObject::kFecFailures, clamp_int32(r.fec_fail_count));
    set(DeviceObject::kModemStatusOrMse,
        wide ? r.modem_status : static_cast<int32_t>(r.mse_tenths_db));
    if (wide) {
        // Not logged: what a device of the family sends with its receiver
        // locked or not.
        const int32_t rate = r.receiver_lock == ReceiverLock::kLocked ? kFamily1000 : 0;
        set(DeviceObject::kDownlinkMbps, rate);
        set(DeviceObject::kUplinkMbps, rate);
    } else {
        set(DeviceObject::kDownlinkMbps, r.down_link_mbps);
        set(DeviceObject::kUplinkMbps, r.up_link_mbps);
        // Sent as signed 32-bit numbers.
        set(DeviceObject::kDropPhyToRadio, static_cast<int32_t>(r.drop_q1_count));
        set(DeviceObject::kDropRadioToPhy, static_cast<int32_t>(r.drop_tx_count));
    }
    return v;
}

LogReplay::LogReplay(ReplayClock clock, ReplayOptions options)
    : clock_(std::move(clock)), options_(std::move(options)), speed_(options_.speed) {}

bool LogReplay::open(const std::string& path, std::string* error) {
    const LogLoad check = check_log_file(path);
    if (check.status != LogLoad::Status::kRead) {
        *error = check.error;
        return false;
    }
    file_.open(file_path(path), std::ios::binary);
    if (!file_) {
        *error = "cannot open";
        return false;
    }
    size_ = check.bytes;
    restart_at(0, true);
    if (options_.from > 0) {
        start_ = options_.from;
    } else {
        while (rows_.empty() && read_window()) {
        }
        start_ = rows_.empty() ? 0.0 : rows_.front().stamp;
    }
    start_over();
    return true;
}

void LogReplay::start_over() {
    latched_ = false;
    anchor_replay_ = start_;
    anchor_clock_ = clock_();
    jump(start_);
}

std::string LogReplay::read_at(uint64_t offset, std::size_t size) {
    std::string data;
    if (offset >= size_) {
        return data;
    }
    data.resize(static_cast<std::size_t>(std::min<uint64_t>(size, size_ - offset)));
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(&data[0], static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(std::max<std::streamsize>(file_.gcount(), 0)));
    return data;
}

uint64_t LogReplay::line_of(uint64_t offset) {
    uint64_t line = 1;
    for (uint64_t at = 0; at < offset; at += kReplayWindow) {
        const std::string data =
            read_at(at, static_cast<std::size_t>(std::min<uint64_t>(kReplayWindow, offset - at)));
        line += static_cast<uint64_t>(std::count(data.begin(), data.end(), '\n'));
        if (data.empty()) {
            break;
        }
    }
    return line;
}

void LogReplay::restart_at(uint64_t offset, bool line_known) {
    rows_.clear();
    cur_ = -1;
    next_offset_ = offset;
    next_line_ = line_known ? 1 : 0;
    at_end_ = offset >= size_;
}

// Reads the next window's rows onto rows_; false at the log's end.
bool LogReplay::read_window() {
    if (at_end_) {
        return false;
    }
    std::string data = read_at(next_offset_, kReplayWindow);
    if (data.empty()) {
        at_end_ = true;
        place_group_end();
        return false;
    }
    const uint64_t start = next_offset_;
    if (start + data.size() < size_) {
        // Whole lines only; the cut one starts the next window.
        const std::size_t last = data.rfind('\n');
        if (last != std::string::npos) {
            data.resize(last + 1);
        }
        // A header block is read whole, by the next window when this one
        // would end inside it.
        const std::size_t block = open_header_block(data);
        if (block != std::string::npos && block > 0) {
            data.resize(block);
        }
    }
    uint64_t base = next_line_;
    ViewBuffer buffer(&data[0], data.size());
    std::istream in(&buffer);
    read_measurement_log(
        in,
        [&](const LogRecord& record) {
            // A group of rows sharing a stamp ends at a row of another stamp.
            if (!rows_.empty() && rows_.back().count == 0 &&
                (rows_.back().stamp != record.seconds || rows_.back().run != runs_)) {
                place_group_end();
            }
            Row row{record.seconds, 0.0,     record.succeeded,
                    runs_,          header_, served_values(record.readings, header_.get())};
            if (!rows_.empty() && rows_.back().count == 0) {
                row.rank = rows_.back().rank + 1;
            }
            rows_.push_back(std::move(row));
            thin_outage();
        },
        [&](const std::string& problem) {
            if (!options_.on_problem) {
                return;
            }
            if (base == 0) {
                base = next_line_ = line_of(start);
            }
            // Each line once, in the order the replay first reaches them.
            uint64_t line = 0;
            const std::string text = renumbered(problem, base, &line);
            if (line > reported_line_) {
                reported_line_ = line;
                options_.on_problem(text);
            }
        },
        {},
        [&](const LogHeader& header) {
            place_group_end();
            header_ = std::make_shared<const LogHeader>(header);
            ++runs_;
        },
        LogReadFrom{rows_.empty() ? 0.0 : rows_.back().stamp, header_ ? header_->family : 0});
    if (next_line_ != 0) {
        next_line_ += static_cast<uint64_t>(std::count(data.begin(), data.end(), '\n'));
    }
    next_offset_ = start + data.size();
    at_end_ = next_offset_ >= size_;
    if (at_end_) {
        place_group_end();
    }
    return true;
}

// The rows at the end sharing a stamp are complete: spread them over their
// second.
void LogReplay::place_group_end() {
    if (rows_.empty() || rows_.back().count != 0) {
        return;
    }
    const int count = rows_.back().rank + 1;
    for (auto it = rows_.rbegin(); it != rows_.rend() && it->count == 0; ++it) {
        it->count = count;
        it->at = it->stamp + static_cast<double>(it->rank) / count;
    }
}

// An outage tells by its first two rows and its last two where it starts
// and ends, and by its rows every 15 min or less that no gap breaks it; a
// row in between changes nothing that is served. Each is dropped as the row
// two after it is read, so that days of silence hold a few rows.
void LogReplay::thin_outage() {
    const std::size_t n = rows_.size();
    if (n < 5 || static_cast<long>(n - 3) <= cur_) {
        return;
    }
    for (std::size_t i = n - 5; i < n; ++i) {
        if (rows_[i].succeeded) {
            return;
        }
    }
    if (follows(rows_[n - 4], rows_[n - 3]) && follows(rows_[n - 3], rows_[n - 2]) &&
        follows(rows_[n - 2], rows_[n - 1]) && follows(rows_[n - 4], rows_[n - 2])) {
        rows_.erase(rows_.end() - 3);
    }
}

bool LogReplay::placed(std::size_t index) {
    while (index >= rows_.size() || rows_[index].count == 0) {
        if (!read_window()) {
            return index < rows_.size();
        }
    }
    return true;
}

bool LogReplay::next_is_placed() {
    return placed(static_cast<std::size_t>(cur_ + 1));
}

void LogReplay::advance(double t) {
    const bool behind = cur_ >= 0 && t < rows_[static_cast<std::size_t>(cur_)].at;
    const bool far_ahead = !rows_.empty() && !at_end_ && t > rows_.back().stamp + kLongestReadAhead;
    if (behind || far_ahead) {
        jump(t);
    } else {
        step_to(t);
    }
}

void LogReplay::step_to(double t) {
    while (next_is_placed() && rows_[static_cast<std::size_t>(cur_ + 1)].at <= t) {
        ++cur_;
        if (cur_ > kRowsKeptBehind) {
            rows_.erase(rows_.begin(), rows_.begin() + (cur_ - 2));
            cur_ = 2;
        }
    }
}

bool LogReplay::first_stamp_from(uint64_t offset, uint64_t* line_start, double* stamp) {
    // The line that starts after `offset`, or at it.
    uint64_t at = offset;
    if (offset > 0) {
        const std::string before = read_at(offset - 1, kProbeSize);
        const std::size_t end = before.find('\n');
        if (end == std::string::npos) {
            return false;
        }
        at = offset + end;
    }
    *line_start = at;
    for (; at < size_; at += kProbeSize) {
        std::string data = read_at(at, kProbeSize);
        ViewBuffer buffer(&data[0], data.size());
        std::istream in(&buffer);
        bool found = false;
        read_measurement_log(in,
                             [&](const LogRecord& record) {
                                 if (!found) {
                                     *stamp = record.seconds;
                                     found = true;
                                 }
                             },
                             {});
        if (found) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<const LogHeader> LogReplay::header_before(uint64_t offset) {
    // The last "ID1=" at a line's start before `offset`, searched backwards
    // a window at a time; windows overlap by a marker's length less one.
    static const char kFirstItem[] = "ID1=";
    constexpr uint64_t kOverlap = sizeof kFirstItem - 2;
    uint64_t end = offset;
    while (end > 0) {
        const uint64_t begin = end > kReplayWindow ? end - kReplayWindow : 0;
        const std::string data = read_at(begin, static_cast<std::size_t>(end - begin));
        std::size_t last = std::string::npos;
        for (std::size_t f = data.find(kFirstItem); f != std::string::npos;
             f = data.find(kFirstItem, f + 1)) {
            const bool line_start =
                f > 0 ? data[f - 1] == '\n' : begin == 0 || read_at(begin - 1, 1) == "\n";
            if (line_start) {
                last = f;
            }
        }
        if (last != std::string::npos) {
            std::string block = read_at(begin + last, kProbeSize);
            ViewBuffer buffer(&block[0], block.size());
            std::istream in(&buffer);
            std::shared_ptr<const LogHeader> header;
            read_measurement_log(
                in, [](const LogRecord&) {}, {}, {},
                [&](const LogHeader& h) {
                    if (!header) {
                        header = std::make_shared<const LogHeader>(h);
                    }
                });
            return header;
        }
        if (begin == 0) {
            break;
        }
        end = begin + kOverlap;
    }
    return nullptr;
}

uint64_t LogReplay::outside_header_block(uint64_t offset) {
    const uint64_t from = offset > kProbeSize ? offset - kProbeSize : 0;
    std::string data = read_at(from, static_cast<std::size_t>(offset - from));
    std::size_t skip = 0;
    if (from > 0) {
        // The first line may be cut.
        skip = data.find('\n');
        if (skip == std::string::npos) {
            return offset;
        }
        data.erase(0, ++skip);
    }
    const std::size_t block = open_header_block(data);
    return block == std::string::npos ? offset : from + skip + block;
}

void LogReplay::jump(double t) {
    uint64_t lo = 0;
    uint64_t hi = size_;
    // Bisects for a place whose first row is at least a second before `t`,
    // so that every row of t's second is read from there.
    while (hi - lo > kBisectionStop) {
        const uint64_t mid = lo + (hi - lo) / 2;
        uint64_t line_start = 0;
        double stamp = 0;
        if (first_stamp_from(mid, &line_start, &stamp) && stamp < std::floor(t)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    uint64_t start = 0;
    if (lo > 0) {
        double stamp = 0;
        first_stamp_from(lo, &start, &stamp);
        start = outside_header_block(start);
    }
    restart_at(start, start == 0);
    header_ = start == 0 ? nullptr : header_before(start);
    ++runs_;
    step_to(t);
}

ReplayState LogReplay::state(bool poll_starts) {
    const double clock = clock_();
    if (poll_starts || !(latched_ && clock - last_request_ <= kRequestGap &&
                         clock - latched_clock_ <= kLongestBurst)) {
        latched_ = true;
        latched_clock_ = clock;
        latched_time_ = replay_time();
    }
    last_request_ = clock;
    ReplayState now = state_at(latched_time_);
    if (now == ReplayState::kEnded && options_.loop && cur_ >= 0) {
        start_over();
        latched_time_ = replay_time();
        now = state_at(latched_time_);
    }
    return now;
}

bool LogReplay::follows(const Row& row, const Row& next) {
    return next.run == row.run && next.stamp - row.stamp <= kLongestPollInterval;
}

// How long `rows_[index]` holds when nothing it follows on is known: the
// time since the row before it, or 1 s.
double LogReplay::cadence(std::size_t index) const {
    if (index > 0 && follows(rows_[index - 1], rows_[index])) {
        return rows_[index].at - rows_[index - 1].at;
    }
    return 1.0;
}

long LogReplay::outage_end(std::size_t first, double* from) {
    std::size_t last = first;
    while (placed(last + 1) && follows(rows_[last], rows_[last + 1]) &&
           !rows_[last + 1].succeeded) {
        ++last;
    }
    if (!placed(last + 1) || !follows(rows_[last], rows_[last + 1])) {
        return -1;
    }
    // The last unanswered poll went out the console's answer wait before
    // its line was written, in the second its stamp names (its middle
    // taken): the device answered again from then on, as far as the log
    // can tell. The silence lasts at least the answered row's cadence
    // before it, so that a poll at that cadence meets it.
    *from = rows_[last].at + 0.5 - kAnswerWaitSeconds;
    if (first > 0 && rows_[first - 1].succeeded && follows(rows_[first - 1], rows_[first])) {
        *from = std::max(*from, rows_[first - 1].at + 2 * cadence(first - 1));
    }
    return static_cast<long>(last + 1);
}

ReplayState LogReplay::state_at(double t) {
    advance(t);
    if (cur_ < 0) {
        return placed(0) ? ReplayState::kGap : ReplayState::kEnded;
    }
    const auto index = static_cast<std::size_t>(cur_);
    // Read ahead first: reading drops rows of an outage, which moves rows.
    const bool next_known = placed(index + 1);
    const Row& row = rows_[index];
    const Row* next = next_known ? &rows_[index + 1] : nullptr;
    const bool continues = next != nullptr && follows(row, *next);
    // An answered row before a NO CONNECTION one holds only its cadence:
    // the device fell silent to the poll that followed it.
    const bool held =
        (continues && (next->succeeded || !row.succeeded)) || t < row.at + cadence(index);
    if (held && row.succeeded) {
        row_values_ = row.values;
        return ReplayState::kAnswering;
    }
    if (!row.succeeded || continues) {
        double from = 0;
        const long end = outage_end(row.succeeded ? index + 1 : index, &from);
        if (end >= 0 && t >= from) {
            row_values_ = rows_[static_cast<std::size_t>(end)].values;
            return ReplayState::kAnswering;
        }
        if (held || continues) {
            return ReplayState::kNoConnection;
        }
    }
    return next != nullptr ? ReplayState::kGap : ReplayState::kEnded;
}

void LogReplay::pause() {
    latched_ = false;
    anchor_replay_ = replay_time();
    anchor_clock_ = clock_();
    paused_ = true;
}

void LogReplay::resume() {
    latched_ = false;
    anchor_replay_ = replay_time();
    anchor_clock_ = clock_();
    paused_ = false;
}

void LogReplay::seek(double seconds) {
    latched_ = false;
    anchor_replay_ = seconds;
    anchor_clock_ = clock_();
    advance(seconds);
}

void LogReplay::set_speed(double speed) {
    latched_ = false;
    anchor_replay_ = replay_time();
    anchor_clock_ = clock_();
    speed_ = speed;
}

double LogReplay::replay_time() const {
    return paused_ ? anchor_replay_ : anchor_replay_ + speed_ * (clock_() - anchor_clock_);
}

std::string LogReplay::status_text() {
    const ReplayState now = state();
    const double t = latched_time_;  // the time the row was chosen at
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%.3f", t - std::floor(t));
    char speed[32];
    std::snprintf(speed, sizeof speed, "%g", speed_);
    std::string text = "replay " + stamp_text(t) + (fraction + 1) + ", speed " + speed + ", " +
                       (paused_ ? "paused" : "running") + "; ";
    if (cur_ < 0) {
        return text + "before the log's first row";
    }
    const Row& row = rows_[static_cast<std::size_t>(cur_)];
    text += "row " + stamp_text(row.stamp) + " (" + std::to_string(row.rank + 1) + " of " +
            std::to_string(row.count) + " in its second): ";
    switch (now) {
        case ReplayState::kAnswering:
            text += "answered";
            break;
        case ReplayState::kNoConnection:
            text += "NO CONNECTION, silent";
            break;
        case ReplayState::kGap:
            text += "a gap, silent";
            break;
        case ReplayState::kEnded:
            text += "the log's end, silent";
            break;
    }
    return text + ", family " + std::to_string(static_cast<int>(row.values.family));
}

std::unique_ptr<LogReplay> open_log_replay(const std::string& path, ReplayOptions options,
                                           std::string* error) {
    auto replay = std::make_unique<LogReplay>(
        [] {
            const std::chrono::duration<double> since =
                std::chrono::steady_clock::now().time_since_epoch();
            return since.count();
        },
        std::move(options));
    if (!replay->open(path, error)) {
        return nullptr;
    }
    return replay;
}
