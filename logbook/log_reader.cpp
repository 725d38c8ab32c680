#include "logbook/log_reader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "device/panes.h"
#include "device/row_schema.h"
#include "process/file_path.h"

namespace {

// Columns of each family's lines, the time included.
constexpr int kColumns350 = log_layout(kFamily350).count + 1;
constexpr int kColumns1000 = log_layout(kFamily1000).count + 1;
constexpr std::size_t kTimestampLength = 17;  // "dd.mm.yy HH:MM:SS"
constexpr std::size_t kChunkSize = 64 * 1024;

struct Text {
    const char* data;
    std::size_t size;
    bool starts_with(const char* prefix) const {
        const std::size_t n = std::strlen(prefix);
        return size >= n && std::memcmp(data, prefix, n) == 0;
    }
};

int family_of_columns(int columns) {
    return columns == kColumns350 ? kFamily350 : columns == kColumns1000 ? kFamily1000 : 0;
}

int columns_of_family(int family) {
    return family == kFamily350 ? kColumns350 : kColumns1000;
}

// The value of `digits` decimal digits at `p`, or -1.
int number_at(const char* p, int digits) {
    int n = 0;
    for (int i = 0; i < digits; ++i) {
        if (p[i] < '0' || p[i] > '9') {
            return -1;
        }
        n = n * 10 + (p[i] - '0');
    }
    return n;
}

int days_in_month(int month, int year) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && year % 4 == 0 ? 29 : kDays[month - 1];
}

bool finite_number(Text field, double* out) {
    const auto [end, error] = std::from_chars(field.data, field.data + field.size, *out);
    return error == std::errc() && end == field.data + field.size && std::isfinite(*out);
}

class LogParser {
public:
    LogParser(const LogRecordHandler& on_record, const LogProblemHandler& on_problem,
              const LogHeaderHandler& on_header, LogReadTotals& totals, LogReadFrom from)
        : on_record_(on_record),
          on_problem_(on_problem),
          on_header_(on_header),
          totals_(totals),
          family_(from.family),
          last_seconds_(from.seconds) {}

    void line(uint64_t number, Text text) {
        ++totals_.lines;
        number_ = number;
        if (text.size > 0 && text.data[text.size - 1] == '\r') {
            --text.size;
        }
        if (text.size == 0) {
            return;  // the blank lines of a header block
        }
        if (text.size >= 4 && text.starts_with("ID") && text.data[2] >= '1' &&
            text.data[2] <= '8' && text.data[3] == '=') {
            if (!in_header_) {
                header_ = LogHeader();
            }
            in_header_ = true;
            if (on_header_) {
                header_.id_text[text.data[2] - '1'].assign(text.data + 4, text.size - 4);
            }
            return;
        }
        if (text.starts_with("Time")) {
            headings(text);
            return;
        }
        if (in_header_) {
            // Not even a stamped line is a poll here: device text that broke
            // its item's line could forge one.
            problem("in a header block, neither an identification item nor the column headings");
            return;
        }
        double seconds = 0;
        if (!timestamp(text, &seconds)) {
            problem("bad timestamp");
            return;
        }
        poll(seconds, Text{text.data + kTimestampLength + 1, text.size - kTimestampLength - 1});
    }

    void overlong(uint64_t number) {
        ++totals_.lines;
        number_ = number;
        problem("longer than " + std::to_string(kMaxLogLine) + " characters");
    }

private:
    void problem(const std::string& reason) {
        ++totals_.problems;
        if (on_problem_) {
            on_problem_("line " + std::to_string(number_) + ": " + reason);
        }
    }

    void headings(Text text) {
        in_header_ = false;
        int columns = 1;
        for (std::size_t i = 0; i < text.size; ++i) {
            columns += text.data[i] == '\t';
        }
        family_ = family_of_columns(columns);
        if (family_ == 0) {
            problem("column headings of neither family (" + std::to_string(columns) + " columns)");
        }
        if (on_header_) {
            header_.family = family_;
            on_header_(header_);
        }
        header_ = LogHeader();
    }

    // "dd.mm.yy HH:MM:SS" and a tab, as local time.
    bool timestamp(Text text, double* seconds) {
        if (text.size <= kTimestampLength || text.data[kTimestampLength] != '\t') {
            return false;
        }
        const char* p = text.data;
        if (p[2] != '.' || p[5] != '.' || p[8] != ' ' || p[11] != ':' || p[14] != ':') {
            return false;
        }
        const int day = number_at(p, 2);
        const int month = number_at(p + 3, 2);
        const int year = number_at(p + 6, 2);
        const int hour = number_at(p + 9, 2);
        const int minute = number_at(p + 12, 2);
        const int second = number_at(p + 15, 2);
        if (day < 1 || month < 1 || month > 12 || year < 0 || day > days_in_month(month, year) ||
            hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60) {
            return false;
        }
        // mktime is slow; consecutive lines mostly share the hour.
        const int hour_key = ((year * 100 + month) * 100 + day) * 100 + hour;
        if (hour_key != cached_hour_key_) {
            if (!hour_starts(year, month, day, hour)) {
                return false;
            }
            cached_hour_key_ = hour_key;
        }
        const int into = minute * 60 + second;
        *seconds = cached_hour_start_ + into;
        // The hour that comes twice as the clocks go back: the occurrence
        // nearer the line before, so that the second one reads on after the
        // first rather than an hour back over it.
        const double again = cached_hour_again_ + into;
        if (again != *seconds && last_seconds_ > 0 &&
            std::fabs(again - last_seconds_) < std::fabs(*seconds - last_seconds_)) {
            *seconds = again;
        }
        last_seconds_ = *seconds;
        return true;
    }

    // The start of a local hour into cached_hour_start_, and into
    // cached_hour_again_ that of its second occurrence when the clocks go
    // back in it (else the same).
    bool hour_starts(int year, int month, int day, int hour) {
        const auto start = [&](int dst, std::time_t* out) {
            std::tm local{};
            local.tm_year = 100 + year;
            local.tm_mon = month - 1;
            local.tm_mday = day;
            local.tm_hour = hour;
            local.tm_isdst = dst;
            *out = std::mktime(&local);
            return *out != static_cast<std::time_t>(-1) && local.tm_hour == hour &&
                   (dst < 0 || local.tm_isdst == dst);
        };
        std::time_t summer = 0;
        std::time_t winter = 0;
        if (start(1, &summer) && start(0, &winter) && summer != winter) {
            cached_hour_start_ = static_cast<double>(std::min(summer, winter));
            cached_hour_again_ = static_cast<double>(std::max(summer, winter));
            return true;
        }
        std::time_t once = 0;
        start(-1, &once);
        if (once == static_cast<std::time_t>(-1)) {
            return false;
        }
        cached_hour_start_ = cached_hour_again_ = static_cast<double>(once);
        return true;
    }

    void poll(double seconds, Text rest) {
        if (rest.size == sizeof kNoConnection - 1 && rest.starts_with(kNoConnection)) {
            ++totals_.records;
            on_record_(LogRecord{seconds, false, readings_});
            return;
        }
        // The columns after the time, counted to the end, kept up to the
        // larger layout.
        static_assert(kColumns350 > kColumns1000, "the fields are kept up to the larger layout");
        Text fields[kColumns350 - 1];
        int count = 0;
        const char* p = rest.data;
        const char* end = rest.data + rest.size;
        while (true) {
            const void* found = std::memchr(p, '\t', static_cast<std::size_t>(end - p));
            const char* stop = found != nullptr ? static_cast<const char*>(found) : end;
            if (count < kColumns350 - 1) {
                fields[count] = Text{p, static_cast<std::size_t>(stop - p)};
            }
            ++count;
            if (stop == end) {
                break;
            }
            p = stop + 1;
        }
        const int columns = count + 1;
        const int family = family_ != 0 ? family_ : family_of_columns(columns);
        if (family == 0) {
            problem(std::to_string(columns) + " columns, the layout of neither family");
            return;
        }
        if (columns != columns_of_family(family)) {
            problem(std::to_string(columns) + " columns, expected " +
                    std::to_string(columns_of_family(family)));
            return;
        }
        double v[kColumns350 - 1];
        for (int i = 0; i < count; ++i) {
            if (!finite_number(fields[i], &v[i])) {
                problem("bad number in column " + std::to_string(i + 2));
                return;
            }
            if (std::fabs(v[i]) > kLargestChartValue) {
                out_of_range(i);
                return;
            }
        }
        if (!store(family, v)) {
            return;
        }
        ++totals_.records;
        on_record_(LogRecord{seconds, true, readings_});
    }

    // The values of one line into the readings, through the family's
    // layout; `v[0]` is the column after the time. The columns the family
    // does not log are zero.
    bool store(int family, const double* v) {
        DeviceReadings& r = scratch_;
        r.family_rate_mbps = family;
        const FamilySet in = family == kFamily350 ? kIn350 : kIn1000;
        for (const ColumnSpec& column : kColumns) {
            if ((column.families & in) == 0) {
                store_logged_value(column, r, 0);
            }
        }
        const LogLayout layout = log_layout(family);
        for (int i = 0; i < layout.count; ++i) {
            if (!store_logged_value(column_spec(layout.slots[i].column), r, v[i])) {
                return out_of_range(i);
            }
        }
        if (family == kFamily350) {
            // Family 350 sends its MSE in the status row.
            r.modem_status = static_cast<int32_t>(r.mse_tenths_db);
            r.receiver_lock = ReceiverLock::kUnknown;
            r.link_quality = LinkQuality::kUnknown;
        } else {
            const ModemState state = decode_modem_status(static_cast<uint32_t>(r.modem_status));
            r.receiver_lock = state.lock;
            r.link_quality = state.quality;
        }
        r.fec_fail_since_reset = r.fec_fail_count;
        readings_ = r;
        return true;
    }

    bool out_of_range(int value_index) {
        problem("number out of range in column " + std::to_string(value_index + 2));
        return false;
    }

    const LogRecordHandler& on_record_;
    const LogProblemHandler& on_problem_;
    const LogHeaderHandler& on_header_;
    LogReadTotals& totals_;
    LogHeader header_;  // the block being read
    uint64_t number_ = 0;
    bool in_header_ = false;
    int family_ = 0;  // of the last headings; 0 before any, or after unreadable ones
    int cached_hour_key_ = -1;
    double cached_hour_start_ = 0;
    double cached_hour_again_ = 0;
    double last_seconds_ = 0;  // of the line before; 0 before the first
    DeviceReadings readings_;
    DeviceReadings scratch_;
};

}  // namespace

SeriesSet logged_series(int32_t family) {
    SeriesSet set = all_series();
    if (family != kFamily350) {
        for (Series s : {Series::kUpLinkMbps, Series::kDownLinkMbps, Series::kDropQ1Rate,
                         Series::kDropTxRate}) {
            set.reset(static_cast<std::size_t>(s));
        }
    }
    return set;
}

LogReadTotals read_measurement_log(std::istream& in, const LogRecordHandler& on_record,
                                   const LogProblemHandler& on_problem,
                                   const LogProgressHandler& on_progress,
                                   const LogHeaderHandler& on_header, LogReadFrom from) {
    LogReadTotals totals;
    LogParser parser(on_record, on_problem, on_header, totals, from);
    std::vector<char> chunk(kChunkSize);
    // A line that runs across chunks is gathered here; one CR more is room
    // for the CR LF end.
    std::string pending;
    pending.reserve(kMaxLogLine + 1);
    bool too_long = false;
    uint64_t number = 0;
    uint64_t bytes = 0;
    auto finish_line = [&](const char* data, std::size_t size) {
        ++number;
        if (too_long) {
            parser.overlong(number);
        } else {
            parser.line(number, Text{data, size});
        }
        too_long = false;
        pending.clear();
    };
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        bytes += got;
        if (on_progress && !on_progress(bytes)) {
            return totals;
        }
        const char* p = chunk.data();
        const char* end = p + got;
        while (p < end) {
            const void* found = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            const char* stop = found != nullptr ? static_cast<const char*>(found) : end;
            const auto size = static_cast<std::size_t>(stop - p);
            if (!too_long && pending.size() + size > kMaxLogLine + 1) {
                too_long = true;
                pending.clear();
            }
            if (found == nullptr) {
                if (!too_long) {
                    pending.append(p, size);
                }
                break;
            }
            if (too_long || pending.empty()) {
                finish_line(p, size);
            } else {
                pending.append(p, size);
                finish_line(pending.data(), pending.size());
            }
            p = stop + 1;
        }
    }
    if (too_long || !pending.empty()) {
        finish_line(pending.data(), pending.size());
    }
    return totals;
}

LogReadTotals read_measurement_log(std::istream& in, ReadingHistory& history,
                                   std::vector<std::string>* problems, std::size_t max_problems,
                                   const LogProgressHandler& on_progress, ErrorPerformance* quality,
                                   std::vector<std::string>* serials) {
    const SeriesSet logged[2] = {logged_series(kFamily350), logged_series(kFamily1000)};
    return read_measurement_log(
        in,
        [&](const LogRecord& record) {
            const bool f350 = record.readings.family_rate_mbps == kFamily350;
            history.add(record.seconds, record.readings, record.succeeded, logged[f350 ? 0 : 1]);
            if (quality != nullptr) {
                quality->add_poll(record.seconds, record.succeeded, record.readings);
            }
        },
        [&](const std::string& problem) {
            if (problems != nullptr && problems->size() < max_problems) {
                problems->push_back(problem);
            }
        },
        on_progress,
        [&](const LogHeader& header) {
            if (quality != nullptr) {
                quality->start_run();
            }
            const std::string& serial = header.id_text[kLogSerialItem];
            if (serials != nullptr && !serial.empty() &&
                std::find(serials->begin(), serials->end(), serial) == serials->end()) {
                serials->push_back(serial);
            }
        });
}

namespace {

#ifndef _WIN32

// The stream the reader reads an open descriptor through; closes it.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd) : fd_(fd) {}
    ~DescriptorBuffer() override { ::close(fd_); }
    DescriptorBuffer(const DescriptorBuffer&) = delete;
    DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

protected:
    int_type underflow() override {
        ssize_t got;
        do {
            got = ::read(fd_, buffer_, sizeof buffer_);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            return traits_type::eof();
        }
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(buffer_[0]);
    }

private:
    int fd_;
    char buffer_[kChunkSize];
};

std::filesystem::file_type type_of(mode_t mode) {
    using std::filesystem::file_type;
    return S_ISDIR(mode)    ? file_type::directory
           : S_ISFIFO(mode) ? file_type::fifo
           : S_ISBLK(mode)  ? file_type::block
           : S_ISCHR(mode)  ? file_type::character
           : S_ISSOCK(mode) ? file_type::socket
                            : file_type::unknown;
}

#endif

// What a path that is not a regular file is, for the operator.
std::string kind_of(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::directory:
            return "not a regular file (a directory)";
        case std::filesystem::file_type::fifo:
            return "not a regular file (a FIFO)";
        case std::filesystem::file_type::block:
        case std::filesystem::file_type::character:
            return "not a regular file (a device)";
        case std::filesystem::file_type::socket:
            return "not a regular file (a socket)";
        default:
            return "not a regular file";
    }
}

}  // namespace

LogLoad check_log_file(const std::string& path) {
    LogLoad load;
    // Opening a FIFO waits for a writer, and a device may never end: only
    // a regular file is opened at all.
    std::error_code error;
    const std::filesystem::path name = file_path(path);
    const std::filesystem::file_status status = std::filesystem::status(name, error);
    if (error) {
        load.error = error.message();
        return load;
    }
    if (!std::filesystem::is_regular_file(status)) {
        load.status = LogLoad::Status::kNotAFile;
        load.error = kind_of(status.type());
        return load;
    }
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    load.bytes = error ? 0 : size;
    load.status = LogLoad::Status::kRead;
    return load;
}

LogLoad load_log_file(const std::string& path, ReadingHistory& history,
                      const LogProgressHandler& on_progress) {
    LogLoad load = check_log_file(path);
    if (load.status != LogLoad::Status::kRead) {
        return load;
    }
#ifdef _WIN32
    std::ifstream in(file_path(path), std::ios::binary);
    if (!in) {
        load.status = LogLoad::Status::kCannotOpen;
        load.error = std::strerror(errno);
        return load;
    }
#else
    // The path may name something else by now (a FIFO swapped in would
    // block a plain open until a writer came): opened without waiting, and
    // read only when what was opened is a regular file. A regular file
    // ignores O_NONBLOCK.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        load.status = LogLoad::Status::kCannotOpen;
        load.error = std::strerror(errno);
        return load;
    }
    DescriptorBuffer file(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        load.status = LogLoad::Status::kNotAFile;
        load.error = kind_of(type_of(info.st_mode));
        return load;
    }
    load.bytes = static_cast<uint64_t>(info.st_size);
    std::istream in(&file);
#endif
    bool stopped = false;
    ErrorPerformance quality;
    load.totals = read_measurement_log(
        in, history, &load.problems, kMaxLogProblems,
        [&](uint64_t bytes) {
            stopped = on_progress && !on_progress(bytes);
            return !stopped;
        },
        &quality, &load.serials);
    quality.finish();
    load.quality = quality_bars(quality);
    load.status = stopped ? LogLoad::Status::kStopped : LogLoad::Status::kRead;
    load.polls_not_held = history.polls() - history.held_polls();
    if (load.polls_not_held > 0) {
        const ReadingHistory::TimeSpan span = history.held_span();
        load.days_held = static_cast<uint64_t>((span.latest - span.earliest) / 86400);
    }
    return load;
}

std::string log_load_notice(const LogLoad& load) {
    if (load.polls_not_held == 0) {
        return std::string();
    }
    return std::to_string(load.polls_not_held) + " polls older than " +
           std::to_string(load.days_held) + " days not held";
}
