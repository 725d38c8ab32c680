// The link's journal: what happened to the link and to the device, in order,
// one event a line, in one JSON Lines file per user that every console of
// that user appends to (both windows and the terminal).
//
// A line is one JSON object:
//   {"time":"2026-12-10T03:14:07.250+01:00","address":"10.0.0.5",
//    "serial":"A123","kind":"lamp_latched","text":"U +12V 14.5 V outside
//    10.0..14.0 V","rail":"U +12V","value":14.5,"low":10,"high":14}
// `time` is local with its UTC offset; `address` is the agent's address as
// the operator typed it; `serial` the device's serial number when one has
// been read ("" before); `kind` one of the names of `journal_kind_name`;
// `text` the event for a person, as the window and the terminal show it.
// Every other member is the kind's own detail (docs/journal.md lists them),
// a string or a number. The community and the key are never written.
//
// The file is appended to, never truncated or rewritten: each line goes in
// with a single write() in append mode, so two consoles appending at once
// never tear a line. At kJournalRotateBytes the file is renamed
// "journal.1.jsonl" (the older ones shifted up to kJournalKeptFiles) and a
// new one is started.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

enum class JournalKind {
    kStart,                  // address, interval_ms, logging (bool), log_file
    kStop,                   // address
    kAddressChanged,         // from, to
    kNoAnswer,               // since (local time of the last answer, "" if none), cause
    kAnswered,               // outage_s: how long the device was silent
    kLampLatched,            // rail, value, low, high
    kRailInRange,            // rail, value, low, high
    kReset,                  // cleared: the rails whose lamps it cleared, ", "-joined
    kSet,                    // radio_before, radio, heater_before, heater, outcome
    kKeySent,                // octets, outcome
    kIdentificationChanged,  // serial_before, serial, firmware_before, firmware
    kFamilyChanged,          // family_before, family
    kCounterWentBack,        // counter, before, now
    kLogNotWritten,          // file, reason
    kSettingsNotSaved,       // reason
    kLinkUnavailable,        // since: local time the 10 severely errored seconds began
    kLinkAvailable,          // unavailable_s
};
constexpr int kJournalKindCount = 17;

// "start", "stop", "address_changed", "no_answer", "answered",
// "lamp_latched", "rail_in_range", "reset", "set", "key_sent",
// "identification_changed", "family_changed", "counter_went_back",
// "log_not_written", "settings_not_saved", "link_unavailable",
// "link_available".
const char* journal_kind_name(JournalKind kind);
std::optional<JournalKind> journal_kind_from_name(const std::string& name);

// One member of an event's detail: a number is written bare, a text quoted.
// A bare value is any JSON value but a string, as its JSON text: a number
// ("14.5", "-3"), "true" or "false" (a flag such as Start's `logging`),
// "null", or an object or array a later version wrote, kept as read. A
// bare value that is no JSON value is written quoted, so a line stays JSON.
struct JournalField {
    std::string name;
    std::string value;  // a number's text when `number`: "14.5", "-3"
    bool number = false;
};

struct JournalEvent {
    double time = 0;       // seconds since the epoch
    int utc_offset_s = 0;  // the local offset from UTC at `time`
    std::string address;   // as the operator typed it
    std::string serial;    // "" when the device's serial number is not known
    JournalKind kind = JournalKind::kStart;
    std::string text;                  // for a person
    std::vector<JournalField> fields;  // the kind's own detail, in order

    // The value of the detail `name`, or "" when the event has none.
    std::string field(const std::string& name) const;
};

// The local offset from UTC at `time` (seconds since the epoch), in seconds.
int local_utc_offset(double time);

// "2026-12-10T03:14:07.250+01:00": the event's time as its line holds it,
// local at its own offset, to the millisecond. An offset of no whole
// minutes (historical local mean times) gets its seconds: "+00:19:32".
std::string journal_time(const JournalEvent& event);

// The event as one line of the file, without its line end. Control
// characters and non-UTF-8 octets are escaped, so a line never breaks.
std::string journal_line(const JournalEvent& event);

// The kind's own members as one JSON object, as the line holds them:
// {"rail":"U +12V","value":14.5}; "{}" for none.
std::string journal_details(const JournalEvent& event);

// One line read back; nullopt, with `error` set (when not null), for a line
// that is not an event: not JSON, a missing `time` or `kind`, an unknown
// kind. Members it does not know are kept as fields. `address`, `serial`
// and `text` may be missing (""), but are strings when present; a member of
// those five given twice makes the line no event. Strings must be UTF-8
// (escapes \uXXXX included, surrogate pairs whole); nested objects and
// arrays are read (64 levels deep at most) and kept as bare fields.
std::optional<JournalEvent> parse_journal_line(const std::string& line,
                                               std::string* error = nullptr);

constexpr std::uint64_t kJournalRotateBytes = 10u * 1024 * 1024;
constexpr int kJournalKeptFiles = 5;
// Longer lines are reported and skipped by the reader.
constexpr std::size_t kMaxJournalLine = 64 * 1024;

// $XDG_DATA_HOME/Tarvik/journal.jsonl (~/.local/share when unset) on Linux,
// %LOCALAPPDATA%\Tarvik\journal.jsonl on Windows; "" when neither can be
// found.
std::string default_journal_path();

// The name of the journal at `path` after its `n`th rotation:
// ".../journal.jsonl" -> ".../journal.N.jsonl"; a name without an
// extension gets ".N" at its end.
std::string journal_rotated_path(const std::string& path, int n);

// The files of the journal at `path`, oldest first: journal.5.jsonl ...
// journal.1.jsonl, then `path` itself; only those that exist. A writer
// that keeps another number of files is read with its `kept_files`.
std::vector<std::string> journal_files(const std::string& path, int kept_files = kJournalKeptFiles);

// Appends events to one journal, rotating it when it has grown past
// `rotate_bytes`. The folder is made when missing.
class JournalWriter {
public:
    explicit JournalWriter(std::string path, std::uint64_t rotate_bytes = kJournalRotateBytes,
                           int kept_files = kJournalKeptFiles);
    // True when the whole line is in the file; otherwise `error()` says why
    // ("cannot open FILE: reason", "cannot write FILE: reason").
    bool append(const JournalEvent& event);
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

private:
    std::string path_;
    std::uint64_t rotate_bytes_;
    int kept_files_;
    std::string error_;
};

using JournalEventHandler = std::function<void(const JournalEvent&)>;
// Receives "FILE line N: reason"; N counts from 1.
using JournalProblemHandler = std::function<void(const std::string&)>;

// Reads the events of `in` in order; a line that cannot be read (a torn
// last line, a line too long, not an event) goes to `on_problem` and the
// reading goes on with the next. `name` heads the problems. Returns the
// events passed on.
std::uint64_t read_journal(std::istream& in, const std::string& name,
                           const JournalEventHandler& on_event,
                           const JournalProblemHandler& on_problem);

// Reads each of `files` in the order given; a file that cannot be opened is
// a problem. Returns the events passed on.
std::uint64_t read_journal_files(const std::vector<std::string>& files,
                                 const JournalEventHandler& on_event,
                                 const JournalProblemHandler& on_problem);
