// Device text made fit for the operator's terminal.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <utility>

#include "logbook/error_performance.h"

// `text` with every octet that could drive a terminal shown as `\xHH`: the
// C0 controls except tab, DEL, the C1 controls (UTF-8 C2 80 to C2 9F) and
// every octet that is not part of a well-formed UTF-8 sequence (a raw 0x9B
// is CSI to some terminals). Printable ASCII and well-formed UTF-8 text
// pass unchanged, so a line feed in a device's text cannot start a line.
std::string terminal_safe_text(const std::string& text);

// At most `limit` octets of `text` (cut where no UTF-8 character is split,
// "..." marking the cut), shown safe as above: an echo of what the operator
// typed, or of whatever was piped in, that can neither drive the terminal
// nor flood it.
std::string terminal_echo(const std::string& text, size_t limit);

// Error lines for the standard error stream where a run of the same line
// is shown once: `take` returns what to print for the next line ("PROGRAM:
// LINE", or nothing while it repeats the one before), and `end_run` what
// closes the run (how many times more it came; nothing if it came once).
class RepeatedLines {
public:
    explicit RepeatedLines(std::string program) : program_(std::move(program)) {}
    std::string take(const std::string& line);
    std::string end_run();

private:
    std::string program_;
    std::string last_;
    bool in_run_ = false;
    unsigned long long repeats_ = 0;
};

// A pane's text ("\r\n" between lines) as terminal lines, each ended by
// "\n": the labels padded so that every "=" of the pane stands in one
// column, one blank on each side of it, no blank at a line's end, and no
// blank lines at the pane's end. Shown safe as above.
std::string aligned_pane_lines(const std::string& pane_text);

struct DeviceReadings;
struct AlarmEvent;

// One line per poll, like ping's: the time, whether the device answered,
// the temperatures, the rails (a "!" after one whose lamp is lit), the
// link rates, the packet rates and the class of the poll's time ("clean",
// "ES", "SES", "UAS"; "-" before it is known), aligned under a heading that
// comes again every kLineHeadingEvery lines.
constexpr int kLineHeadingEvery = 20;
class PollLines {
public:
    std::string next(const DeviceReadings& r, bool answered, std::time_t now,
                     SecondClass second = SecondClass::kUnknown);
    static std::string heading();

private:
    int lines_ = 0;
};

// The JSON Lines objects of the terminal console: one "poll" object per
// poll with the export's names, the lit lamps and the class of the poll's
// time ("second": "clean", "ES", "SES", "UAS" or "unknown"), one "alarm" object per
// alarm event, one "command" object per command the operator ran, with the
// text it answered (empty for none). Each ends in "\n".
std::string poll_json(const DeviceReadings& r, bool answered, std::time_t now,
                      SecondClass second = SecondClass::kUnknown);
std::string alarm_json(const AlarmEvent& event);
std::string command_json(const std::string& command, const std::string& text);
// The "command" object of a write to the device (set, key): "ok" true and
// no text when the device took it; else "ok" false and why not as `text`
// (`failure`, the message the write raised).
std::string write_command_json(const std::string& command, const std::string& failure);
// The same for the line form: "set: ok", or "set: " and why not.
std::string write_command_line(const std::string& command, const std::string& failure);
// A "device" object: the family and identification items 1 to 7 (item 8
// is the key, a secret).
std::string device_json(const DeviceReadings& r);
