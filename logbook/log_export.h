// The measurement log as a clean table for spreadsheets and scripts: one
// column set for both families, each reading in its unit with its sign as
// shown, times in ISO 8601 with their UTC offset, and every header block
// starting a new device section. It streams through the log reader.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "device/device_readings.h"
#include "logbook/log_reader.h"

enum class ExportFormat {
    // CSV (RFC 4180, CR LF): a heading line, then one row per poll:
    // section, time, answered, family, the readings (empty where the family
    // logs none, and all empty for an unanswered poll), then the
    // identification items 1 to 7 of the section.
    kCsv,
    // JSON Lines: a "device" object at each header block, a "poll" object
    // per poll (null where the family logs no reading; no readings for an
    // unanswered poll).
    kJson,
};

// "2026-12-08T15:05:09+01:00": `seconds` since the epoch in local time,
// with the offset from UTC that applied then.
std::string iso8601_local_time(double seconds);

// A reading as the exports write it: whole numbers without a fraction,
// the others in the fewest digits that read back as the same value.
void append_export_number(std::string& out, double value, bool whole);

struct ColumnSpec;
// The reading of `column` in `r` as the exports write it: in the logged
// unit with its sign as shown, as above.
void append_export_value(std::string& out, const ColumnSpec& column, const DeviceReadings& r);

// A CSV text cell (RFC 4180): quoted when it holds a comma, a quote or a
// line break; one that starts with "=", "+", "-", "@", a tab or a CR gets a
// "'" first, so a spreadsheet shows it instead of running it as a formula.
void append_csv_text(std::string& out, const std::string& text);

// The JSON string literal of `text`, quotes included; octets that are no
// UTF-8 are taken as Latin-1.
void append_json_text(std::string& out, const std::string& text);

// A text as one CSV field: quoted when it holds a comma, a quote or a line
// break, its quotes doubled.
void append_csv_field(std::string& out, const std::string& text);

// The readings of one answered poll as JSON members with the export's
// names ("\"temperature_1_degC\":23.5,..."), null where `r`'s family logs
// none.
void append_json_readings(std::string& out, const DeviceReadings& r);

// Writes the table of the log read from `in` to `out`; the reader's reports
// of lines it could not read go to `on_problem`. Returns the reader's
// totals; `out` tells whether the writing succeeded.
LogReadTotals export_log(std::istream& in, std::ostream& out, ExportFormat format,
                         const LogProblemHandler& on_problem);
