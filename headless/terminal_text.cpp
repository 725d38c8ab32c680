#include "headless/terminal_text.h"

#include <algorithm>
#include <vector>

#include "device/device_readings.h"
#include "device/row_schema.h"
#include "device/supply_rails.h"
#include "device/text_format.h"
#include "logbook/log_export.h"
#include "monitor/alarm_events.h"

std::string terminal_safe_text(const std::string& text) {
    return escape_device_text(text, TextEscapes::kTerminal);
}

std::string terminal_echo(const std::string& text, size_t limit) {
    const size_t kept = utf8_prefix_length(text, limit);
    return terminal_safe_text(text.substr(0, kept)) + (kept < text.size() ? "..." : "");
}

std::string RepeatedLines::take(const std::string& line) {
    if (in_run_ && line == last_) {
        ++repeats_;
        return std::string();
    }
    std::string out = end_run();
    last_ = line;
    in_run_ = true;
    return out + program_ + ": " + line + "\n";
}

std::string RepeatedLines::end_run() {
    std::string out;
    if (repeats_ > 0) {
        out = program_ + ": (the line above came " + std::to_string(repeats_) + " more time" +
              (repeats_ == 1 ? "" : "s") + ")\n";
    }
    in_run_ = false;
    repeats_ = 0;
    last_.clear();
    return out;
}

namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string aligned_pane_lines(const std::string& pane_text) {
    std::vector<std::string> labels;
    std::vector<std::string> values;
    std::vector<bool> has_sign;
    size_t width = 0;
    size_t start = 0;
    while (start <= pane_text.size()) {
        size_t end = pane_text.find("\r\n", start);
        if (end == std::string::npos) {
            end = pane_text.size();
        }
        const std::string line = pane_text.substr(start, end - start);
        const size_t sign = line.find('=');
        has_sign.push_back(sign != std::string::npos);
        if (sign == std::string::npos) {
            labels.push_back(terminal_safe_text(trimmed(line)));
            values.emplace_back();
        } else {
            labels.push_back(terminal_safe_text(trimmed(line.substr(0, sign))));
            values.push_back(terminal_safe_text(trimmed(line.substr(sign + 1))));
            width = std::max(width, labels.back().size());
        }
        start = end + 2;
    }
    while (!labels.empty() && labels.back().empty() && !has_sign.back()) {
        labels.pop_back();
        values.pop_back();
        has_sign.pop_back();
    }
    std::string out;
    for (size_t i = 0; i < labels.size(); ++i) {
        if (!has_sign[i]) {
            out += labels[i] + "\n";
            continue;
        }
        out += labels[i] + std::string(width - labels[i].size(), ' ') + " =";
        out += values[i].empty() ? "\n" : " " + values[i] + "\n";
    }
    return out;
}

namespace {

// The line form's columns: the temperatures, the rails, the link rates and
// the packet rates, each right-aligned in its width.
struct LineColumn {
    Column column;
    int width;
    const char* heading = nullptr;  // null: the rail's short label, or the log's heading
};
constexpr LineColumn kLineColumns[] = {
    {Column::kTemperature1, 6},
    {Column::kTemperature2, 6},
    {Column::kTemperature3, 6},
    {Column::kSupply24V, 7},
    {Column::kSupply12V, 7},
    {Column::kSupply9V, 7},
    {Column::kSupplyMinus12V, 7},
    {Column::kSupply5V, 7},
    {Column::kSupply3V3, 7},
    {Column::kSupply5VStandby, 7},
    {Column::kUpLinkMbps, 7, "UpLink"},
    {Column::kDownLinkMbps, 9, "DownLink"},
    {Column::kPhyToRadioRate, 10, "PHY->R/s"},
    {Column::kRadioToPhyRate, 10, "R->PHY/s"},
};
constexpr char kTimeHeading[] = "time     ";  // "HH:MM:SS "
constexpr char kAnsweredHeading[] = "answer";
constexpr char kSecondHeading[] = "second";
constexpr int kSecondWidth = 8;

// The heading of a line column: the rail's short label ("+24V"), else the
// log's heading.
std::string line_heading(const LineColumn& c) {
    const ColumnSpec& column = column_spec(c.column);
    const RailSpec* rail = supply_rail_of(column.row);
    return c.heading != nullptr ? c.heading
           : rail != nullptr    ? rail->short_label()
                                : column.heading;
}

std::string right_aligned(const std::string& text, int width) {
    const auto w = static_cast<size_t>(width);
    return text.size() >= w ? " " + text : std::string(w - text.size(), ' ') + text;
}

std::string local_clock(std::time_t now) {
    std::tm local{};
    const bool ok = local_time(now, &local);
    char text[16];
    if (!ok || std::strftime(text, sizeof text, "%H:%M:%S", &local) == 0) {
        return "--:--:--";
    }
    return text;
}

}  // namespace

std::string PollLines::heading() {
    std::string out = std::string(kTimeHeading) + kAnsweredHeading;
    for (const LineColumn& c : kLineColumns) {
        out += right_aligned(line_heading(c), c.width);
    }
    return out + right_aligned(kSecondHeading, kSecondWidth) + "\n";
}

std::string PollLines::next(const DeviceReadings& r, bool answered, std::time_t now,
                            SecondClass second) {
    std::string out;
    if (lines_++ % kLineHeadingEvery == 0) {
        out += heading();
    }
    out += local_clock(now) + " " + (answered ? "yes   " : "no");
    if (!answered) {
        return out + "\n";
    }
    for (const LineColumn& c : kLineColumns) {
        const ColumnSpec& column = column_spec(c.column);
        std::string value = format_text(column.whole ? "%.0f" : "%.1f", signed_value(column, r));
        const int rail = supply_rail_index(column.row);
        const bool lit = rail >= 0 && kSupplyRails[rail].has_lamp && r.voltage_alarm[rail] != 0;
        // The "!" stands after the column, so that the values keep their places.
        out += right_aligned(value, c.width - (rail >= 0 ? 1 : 0)) +
               (rail >= 0 ? (lit ? "!" : " ") : "");
    }
    out += right_aligned(second == SecondClass::kUnknown ? "-" : second_class_name(second),
                         kSecondWidth);
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out + "\n";
}

std::string poll_json(const DeviceReadings& r, bool answered, std::time_t now, SecondClass second) {
    std::string out = "{\"kind\":\"poll\",\"time\":\"" +
                      iso8601_local_time(static_cast<double>(now)) + "\",\"second\":\"" +
                      second_class_name(second) + "\",\"answered\":";
    if (!answered) {
        return out + "false}\n";
    }
    out += "true,\"family\":" + std::to_string(r.family_rate_mbps) + ",";
    append_json_readings(out, r);
    out += ",\"lamps_lit\":[";
    bool first = true;
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        if (r.voltage_alarm[k] != 0) {
            out += first ? "" : ",";
            append_json_text(out, kSupplyRails[k].short_label());
            first = false;
        }
    }
    return out + "]}\n";
}

std::string alarm_json(const AlarmEvent& event) {
    std::string out = "{\"kind\":\"alarm\",\"cleared\":";
    out += event.cleared ? "true" : "false";
    out += ",\"text\":";
    append_json_text(out, event.text);
    return out + "}\n";
}

std::string command_json(const std::string& command, const std::string& text) {
    std::string out = "{\"kind\":\"command\",\"command\":";
    append_json_text(out, command);
    out += ",\"text\":";
    append_json_text(out, text);
    return out + "}\n";
}

std::string write_command_json(const std::string& command, const std::string& failure) {
    std::string out = command_json(command, failure);
    out.insert(out.size() - 2, failure.empty() ? ",\"ok\":true" : ",\"ok\":false");
    return out;
}

std::string write_command_line(const std::string& command, const std::string& failure) {
    return command + ": " + (failure.empty() ? std::string("ok") : terminal_safe_text(failure)) +
           "\n";
}

std::string device_json(const DeviceReadings& r) {
    std::string out = "{\"kind\":\"device\",\"family\":" + std::to_string(r.family_rate_mbps);
    for (int i = 0; i + 1 < kIdTextCount; ++i) {
        out += ",\"id" + std::to_string(i + 1) + "\":";
        append_json_text(out, r.id_text[i]);
    }
    return out + "}\n";
}
