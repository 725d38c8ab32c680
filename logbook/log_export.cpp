#include "logbook/log_export.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <ctime>
#include <string_view>

#include "device/row_schema.h"
#include "device/text_format.h"

namespace {

// The identification items an export carries: item 8 is the key, a secret.
constexpr int kExportedIdItems = kIdTextCount - 1;
// Output is gathered and written in pieces of about this size.
constexpr std::size_t kOutputChunk = 64 * 1024;

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long days_from_civil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void append_two(std::string& out, int n) {
    out += static_cast<char>('0' + n / 10 % 10);
    out += static_cast<char>('0' + n % 10);
}

// The readings' export names as JSON keys, each with its quotes and colon.
const std::string* json_keys() {
    static const auto keys = [] {
        std::array<std::string, kColumnCount> k;
        for (int i = 0; i < kColumnCount; ++i) {
            k[static_cast<std::size_t>(i)] = "\"" + export_heading(kColumns[i]) + "\":";
        }
        return k;
    }();
    return keys.data();
}

// The local time of each poll, with one conversion per local hour: within
// it only the minutes and seconds change (offsets from UTC change on the
// hour, and some are not whole hours).
class LocalTimes {
public:
    const std::string& text(double seconds) {
        const auto t = static_cast<long long>(std::floor(seconds));
        if (!(t >= hour_start_ && t < hour_start_ + 3600)) {
            text_ = iso8601_local_time(static_cast<double>(t));
            // "YYYY-MM-DDTHH:MM:SS+hh:mm"; another shape is not cached.
            hour_start_ = kNoHour;
            if (text_.size() == 25 && text_[13] == ':' && text_[16] == ':') {
                const int in_hour = ((text_[14] - '0') * 10 + (text_[15] - '0')) * 60 +
                                    (text_[17] - '0') * 10 + (text_[18] - '0');
                hour_start_ = t - in_hour;
            }
            return text_;
        }
        const auto in_hour = static_cast<int>(t - hour_start_);
        char* p = &text_[14];
        p[0] = static_cast<char>('0' + in_hour / 600);
        p[1] = static_cast<char>('0' + in_hour / 60 % 10);
        p[3] = static_cast<char>('0' + in_hour % 60 / 10);
        p[4] = static_cast<char>('0' + in_hour % 10);
        return text_;
    }

private:
    static constexpr long long kNoHour = -(1LL << 62);
    long long hour_start_ = kNoHour;
    std::string text_;
};

class Exporter {
public:
    Exporter(std::ostream& out, ExportFormat format) : out_(out), format_(format) {
        buffer_.reserve(kOutputChunk + 4096);
        if (format_ == ExportFormat::kCsv) {
            buffer_ += "section,time,answered,family";
            for (const ColumnSpec& column : kColumns) {
                buffer_ += ',';
                buffer_ += export_heading(column);
            }
            for (int i = 1; i <= kExportedIdItems; ++i) {
                buffer_ += ",id" + std::to_string(i);
            }
            buffer_ += "\r\n";
        }
    }

    void header(const LogHeader& header) {
        ++section_;
        section_text_ = std::to_string(section_);
        id_tail_.clear();
        for (int i = 0; i < kExportedIdItems; ++i) {
            id_tail_ += ',';
            append_csv_text(id_tail_, header.id_text[i]);
        }
        id_tail_ += "\r\n";
        if (format_ == ExportFormat::kJson) {
            buffer_ +=
                "{\"kind\":\"device\",\"section\":" + std::to_string(section_) + ",\"family\":";
            if (header.family != 0) {
                buffer_ += std::to_string(header.family);
            } else {
                buffer_ += "null";
            }
            for (int i = 0; i < kExportedIdItems; ++i) {
                buffer_ += ",\"id" + std::to_string(i + 1) + "\":";
                append_json_text(buffer_, header.id_text[i]);
            }
            buffer_ += "}\n";
        }
        flush_when_full();
    }

    void record(const LogRecord& record) {
        if (format_ == ExportFormat::kCsv) {
            csv_row(record);
        } else {
            json_object(record);
        }
        flush_when_full();
    }

    void finish() {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
        out_.flush();
    }

private:
    void csv_row(const LogRecord& record) {
        const DeviceReadings& r = record.readings;
        buffer_ += section_text_;
        buffer_ += ',';
        buffer_ += times_.text(record.seconds);
        buffer_ += record.succeeded ? ",true," : ",false,";
        if (record.succeeded) {
            buffer_ += std::to_string(r.family_rate_mbps);
        }
        const FamilySet in = r.family_rate_mbps == kFamily350 ? kIn350 : kIn1000;
        for (const ColumnSpec& column : kColumns) {
            buffer_ += ',';
            if (record.succeeded && (column.families & in) != 0) {
                append_export_value(buffer_, column, r);
            }
        }
        buffer_ += id_tail_;
    }

    void json_object(const LogRecord& record) {
        buffer_ += "{\"kind\":\"poll\",\"section\":";
        buffer_ += section_text_;
        buffer_ += ",\"time\":\"";
        buffer_ += times_.text(record.seconds);
        buffer_ += record.succeeded ? "\",\"answered\":true," : "\",\"answered\":false}\n";
        if (record.succeeded) {
            buffer_ += "\"family\":" + std::to_string(record.readings.family_rate_mbps) + ",";
            append_json_readings(buffer_, record.readings);
            buffer_ += "}\n";
        }
    }

    void flush_when_full() {
        if (buffer_.size() >= kOutputChunk) {
            out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
            buffer_.clear();
        }
    }

    std::ostream& out_;
    ExportFormat format_;
    std::string buffer_;
    LocalTimes times_;
    int section_ = 0;  // 0 for the lines before any header block
    std::string section_text_ = "0";
    // The CSV rows' end: the section's identification items and CR LF.
    std::string id_tail_ = std::string(kExportedIdItems, ',') + "\r\n";
};

}  // namespace

std::string iso8601_local_time(double seconds) {
    const auto t = static_cast<std::time_t>(std::floor(seconds));
    std::tm local{};
    const bool ok = local_time(t, &local);
    if (!ok) {
        return std::string();
    }
    const long long local_seconds =
        days_from_civil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                        static_cast<unsigned>(local.tm_mday)) *
            86400 +
        local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    const long long offset_minutes = (local_seconds - static_cast<long long>(t)) / 60;
    std::string out = std::to_string(local.tm_year + 1900);
    out += '-';
    append_two(out, local.tm_mon + 1);
    out += '-';
    append_two(out, local.tm_mday);
    out += 'T';
    append_two(out, local.tm_hour);
    out += ':';
    append_two(out, local.tm_min);
    out += ':';
    append_two(out, local.tm_sec);
    out += offset_minutes < 0 ? '-' : '+';
    const long long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    append_two(out, static_cast<int>(magnitude / 60));
    out += ':';
    append_two(out, static_cast<int>(magnitude % 60));
    return out;
}

void append_export_number(std::string& out, double value, bool whole) {
    char text[64];
    const auto result = whole ? std::to_chars(text, text + sizeof text, std::round(value),
                                              std::chars_format::fixed, 0)
                              : std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

namespace {

// Whether `column`'s value is shown negative: the rail table says so.
bool negated(const ColumnSpec& column) {
    const RailSpec* rail = supply_rail_of(column.row);
    return rail != nullptr && rail->shown_negative;
}

// The sign of each column's value as exported, looked up once.
const std::array<bool, kColumnCount>& negated_columns() {
    static const std::array<bool, kColumnCount> table = [] {
        std::array<bool, kColumnCount> t{};
        for (int i = 0; i < kColumnCount; ++i) {
            t[static_cast<std::size_t>(i)] = negated(kColumns[i]);
        }
        return t;
    }();
    return table;
}

// A whole number of device units divided by `scale` (1, 10, 100 or 1000),
// written exactly, without trailing zeros: 2350 / 100 is "23.5".
void append_scaled_integer(std::string& out, long long units, long long scale) {
    if (units < 0) {
        out += '-';
        units = -units;
    }
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, units / scale).ptr;
    out.append(digits, end);
    long long fraction = units % scale;
    if (fraction == 0) {
        return;
    }
    out += '.';
    for (long long place = scale / 10; place > 0 && fraction > 0; place /= 10) {
        out += static_cast<char>('0' + fraction / place);
        fraction %= place;
    }
}

}  // namespace

void append_export_value(std::string& out, const ColumnSpec& column, const DeviceReadings& r) {
    const bool negative = negated_columns()[static_cast<std::size_t>(column.column)];
    const auto scale = static_cast<long long>(column.scale);
    if (column.field.kind != ValueKind::kDouble && scale == column.scale &&
        (scale == 1 || scale == 10 || scale == 100 || scale == 1000)) {
        const auto units = static_cast<long long>(device_value(column, r));
        append_scaled_integer(out, negative ? -units : units, scale);
        return;
    }
    const double value = signed_value(column, r);
    if (column.whole && std::fabs(value) < 9e15) {
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, std::llround(value)).ptr;
        out.append(text, end);
        return;
    }
    append_export_number(out, value, column.whole);
}

void append_csv_text(std::string& out, const std::string& text) {
    // A spreadsheet runs a cell that starts like a formula; a quote first
    // makes it text. Only texts come here: numbers stay numbers.
    const bool formula =
        !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
    const std::string_view prefix = formula ? "'" : "";
    // (A loop, not find_first_of: that looks each octet up in the set.)
    const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
        return c == ',' || c == '"' || c == '\r' || c == '\n';
    });
    if (plain) {
        out += prefix;
        out += text;
        return;
    }
    out += '"';
    out += prefix;
    for (char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
}

void append_json_text(std::string& out, const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (const std::size_t n = c >= 0x80 ? utf8_sequence_length(text, i) : 0; n > 0) {
            out.append(text, i, n);
            i += n;
            continue;
        } else {
            // Controls, DEL, and octets that are no UTF-8 (taken as Latin-1).
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        ++i;
    }
    out += '"';
}

void append_json_readings(std::string& out, const DeviceReadings& r) {
    const FamilySet in = r.family_rate_mbps == kFamily350 ? kIn350 : kIn1000;
    const std::string* keys = json_keys();
    for (const ColumnSpec& column : kColumns) {
        if (column.column != Column{}) {
            out += ',';
        }
        out += keys[static_cast<int>(column.column)];
        if ((column.families & in) != 0) {
            append_export_value(out, column, r);
        } else {
            out += "null";
        }
    }
}

LogReadTotals export_log(std::istream& in, std::ostream& out, ExportFormat format,
                         const LogProblemHandler& on_problem) {
    Exporter exporter(out, format);
    const LogReadTotals totals = read_measurement_log(
        in, [&](const LogRecord& record) { exporter.record(record); }, on_problem, {},
        [&](const LogHeader& header) { exporter.header(header); });
    exporter.finish();
    return totals;
}

void append_csv_field(std::string& out, const std::string& text) {
    append_csv_text(out, text);
}
