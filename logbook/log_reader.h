// Reads the console's own measurement log (see measurement_log.h) back as
// records, for trend charts of past runs.
//
// The reader streams: it holds one line at a time (at most kMaxLogLine
// characters), whatever the size of the file. It takes both families'
// layouts, any number of header blocks (the family may change from one to
// the next), CR LF or LF line ends and "NO CONNECTION" lines. A line it
// cannot read is reported as "line N: reason" and skipped; reading goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "charts/quality_chart.h"
#include "charts/reading_history.h"
#include "device/device_readings.h"
#include "logbook/error_performance.h"

// Longer lines are reported and skipped.
constexpr std::size_t kMaxLogLine = 4096;
// The reports of unreadable lines that a load keeps; the rest are counted.
constexpr std::size_t kMaxLogProblems = 100;

// One poll's line. `seconds` is the line's local time "dd.mm.yy HH:MM:SS"
// (years 2000 to 2099) as seconds since the epoch. `succeeded` is false for
// "NO CONNECTION", and then `readings` holds nothing of that poll.
// Otherwise `readings` holds every logged column in device units, with the
// family of the layout; the FEC failures since Reset are the logged count
// (the log holds no baseline), and the words of family 1000 follow from the
// logged modem status as they do from the device.
struct LogRecord {
    double seconds;
    bool succeeded;
    const DeviceReadings& readings;
};

// The series that lines of `family`'s layout carry: family 1000 logs no link
// rates and no drop counts.
SeriesSet logged_series(int32_t family);

// What one reading of a log came to.
struct LogReadTotals {
    uint64_t lines = 0;     // every line, read or not
    uint64_t records = 0;   // poll lines passed on, "NO CONNECTION" included
    uint64_t problems = 0;  // lines reported
};

// One header block: the identification items as written (their control
// characters escaped by the writer), and the family its headings name (0
// for headings of neither family).
// The identification item that holds the device's serial number.
constexpr int kLogSerialItem = 2;
struct LogHeader {
    std::string id_text[kIdTextCount];
    int32_t family = 0;
};

using LogRecordHandler = std::function<void(const LogRecord&)>;
// Receives each header block at its column headings.
using LogHeaderHandler = std::function<void(const LogHeader&)>;
// Receives "line N: reason"; N counts from 1.
using LogProblemHandler = std::function<void(const std::string&)>;
// Receives the bytes read so far, every read chunk; false stops the reading.
using LogProgressHandler = std::function<bool(uint64_t bytes)>;

// Where a reading that starts inside a log takes up: the time of the poll
// line before (0: none), so that an hour that comes twice as the clocks go
// back reads on in order, and the family of the column headings above (0:
// none, or headings of neither), whose layout the lines must have.
struct LogReadFrom {
    double seconds = 0;
    int32_t family = 0;
};

// Reads `in` to its end, calling `on_record` for each poll line in order and
// `on_problem` (when set) for each line that cannot be read. A value past
// kLargestChartValue makes its line "number out of range". `on_progress`
// (when set) may stop the reading early; `on_header` (when set) gets each
// header block before the lines that follow it. `from` tells where `in`
// starts when that is inside a log.
LogReadTotals read_measurement_log(std::istream& in, const LogRecordHandler& on_record,
                                   const LogProblemHandler& on_problem,
                                   const LogProgressHandler& on_progress = {},
                                   const LogHeaderHandler& on_header = {}, LogReadFrom from = {});

// Reads `in` into `history`, each record with the series its family logs,
// and into `quality` (when not null), each header block a new run. The
// first `max_problems` reports are appended to `problems` (when not null);
// the totals count them all. `serials` (when not null) gets the serial
// number of each header block that names one, each once.
LogReadTotals read_measurement_log(std::istream& in, ReadingHistory& history,
                                   std::vector<std::string>* problems,
                                   std::size_t max_problems = kMaxLogProblems,
                                   const LogProgressHandler& on_progress = {},
                                   ErrorPerformance* quality = nullptr,
                                   std::vector<std::string>* serials = nullptr);

// What loading a log file into a history came to.
struct LogLoad {
    enum class Status {
        kRead,
        kCannotOpen,  // missing, or not readable: `error` says why
        kNotAFile,    // a folder, FIFO, device or socket: never opened
        kStopped,     // the progress handler stopped it
    };
    Status status = Status::kCannotOpen;
    std::string error;   // for kCannotOpen and kNotAFile: "not a regular file (a FIFO)"
    uint64_t bytes = 0;  // the file's size, as found before reading
    LogReadTotals totals;
    std::vector<std::string> problems;  // the first kMaxLogProblems reports
    // Polls read but no longer held, the history being full, and the whole
    // days that the history holds before its latest poll.
    uint64_t polls_not_held = 0;
    uint64_t days_held = 0;
    // The log's error performance in 15-minute bins, for the trends' chart.
    std::vector<charts::QualityBar> quality;
    // The serial numbers its header blocks name, each once: the devices
    // whose journal events belong with it.
    std::vector<std::string> serials;
};

// Whether `path` is a log that can be read, without reading it: status
// kRead and the size in `bytes`, or why not.
LogLoad check_log_file(const std::string& path);

// Reads the console's log at `path` into `history`, a fresh one. Only a
// regular file is opened, so a FIFO or a device can never block the caller;
// `on_progress` gets the bytes read and may stop the load.
LogLoad load_log_file(const std::string& path, ReadingHistory& history,
                      const LogProgressHandler& on_progress = {});

// What a load left out of the history, for the operator: "1234 polls older
// than 41 days not held"; empty when nothing was left out.
std::string log_load_notice(const LogLoad& load);
