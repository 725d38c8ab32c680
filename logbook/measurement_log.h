// The measurement log: a tab-separated text file with CR LF line ends, to
// which Start appends a header block and every poll one line. The file is
// opened and closed around each write, so other programs can read it
// between polls and it is complete on disk after every poll.
#pragma once

#include <ctime>
#include <string>

#include "device/device_readings.h"

// The header block: the eight identification items, two empty lines, and
// the column headings of the current family (31 columns for family 350, 27
// for 1000). Lines end in "\n" here; the file gets CR LF.
std::string log_header_text(const DeviceReadings& r);

// One poll's line, stamped with the local time `now`: the readings, or
// "NO CONNECTION" after a poll without answer.
std::string log_line_text(const DeviceReadings& r, bool poll_succeeded, std::time_t now);

// What became of one append to the log file.
enum class LogWrite {
    kWritten,     // the whole text is in the file
    kCannotOpen,  // empty path, missing folder, directory, FIFO without reader...
    kCannotWrite  // full disk, quota, size limit, I/O error; a regular file is left as it was
};

struct ColumnSpec;
// One reading as the log writes it: "23.5", "1.234500e+004".
std::string log_value_text(const ColumnSpec& column, const DeviceReadings& r);

// Append the header block or one poll's line to the file named `path`, with
// a single write. A failed or short write is cut back off the file, so it
// never holds half a line.
LogWrite write_log_header(const std::string& path, const DeviceReadings& r);
LogWrite write_log_line(const std::string& path, const DeviceReadings& r, bool poll_succeeded,
                        std::time_t now);
