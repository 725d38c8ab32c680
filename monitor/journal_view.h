// What the journal window shows, the same in Qt and Win32: the journal's
// events newest first, filtered by device and by kind, each row as four
// texts (time, device, kind, detail). The windows only draw it: a virtual
// list asks for the rows in sight, so a journal of hundreds of thousands of
// events opens at once.
//
// Events are taken in the journal's order (the files oldest first, then the
// session's new ones as they happen); row 0 is the last one taken. At most
// `most` events are held; past that the oldest go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "charts/chart_plan.h"
#include "logbook/journal.h"

// Beyond this many events the journal window drops the oldest: 30 days of a
// link that fails every 10 s are about 260,000.
constexpr std::size_t kMostJournalRows = 1000000;

// "Lamp latched": the kind as a person reads it.
std::string journal_kind_label(JournalKind kind);

// An event as a marker on the charts: at its time, "Kind: text".
charts::ChartMarker journal_marker(const JournalEvent& event);
// The markers of the journal `files` (oldest first) that belong with a log
// over [from, to] of the devices `serials`: the events within that time of
// one of those serial numbers, or of none read yet; of every device when
// `serials` is empty (a log that names none). Lines that cannot be read go
// to `on_problem`.
std::vector<charts::ChartMarker> journal_markers(const std::vector<std::string>& files, double from,
                                                 double to, const std::vector<std::string>& serials,
                                                 const JournalProblemHandler& on_problem);

// The markers of the journal at `journal` (and the files rotated from it)
// for a log read into `history` whose header blocks named `serials`; none
// when `journal` is "" or the history holds no poll.
std::vector<charts::ChartMarker> log_journal_markers(const std::string& journal,
                                                     const ReadingHistory& history,
                                                     const std::vector<std::string>& serials,
                                                     const JournalProblemHandler& on_problem);

class JournalView {
public:
    enum Column { kTimeColumn, kDeviceColumn, kKindColumn, kDetailColumn };
    static constexpr int kColumnCount = 4;
    // "Time", "Device", "Kind", "Detail".
    static const char* column_title(int column);

    explicit JournalView(std::size_t most = kMostJournalRows);

    // Takes the next event. True when the filters show it: it is row 0 now.
    bool add(const JournalEvent& event);
    // Whether the filters would show `event`.
    bool shows(const JournalEvent& event) const;
    // Whether the next add() drops the oldest event.
    bool full() const { return held_.size() >= most_; }
    // Takes those of `events` (the session's, in order) not held already,
    // as when the file had them too: the same time to the millisecond,
    // device, kind and text.
    void add_missing(const std::deque<JournalEvent>& events);

    // The devices seen, in the order first seen: "ADDRESS (SERIAL)", or the
    // address alone before a serial number was read.
    const std::vector<std::string>& devices() const { return devices_; }
    // -1: every device; else an index in devices().
    void set_device_filter(int device);
    // -1: every kind; else a JournalKind's value.
    void set_kind_filter(int kind);
    int device_filter() const { return device_filter_; }
    int kind_filter() const { return kind_filter_; }

    // The rows shown, newest first.
    std::size_t rows() const { return shown_.size(); }
    // A cell's text: the time as the event's own local time
    // ("dd.mm.yyyy HH:MM:SS"), the device as devices() names it, the
    // kind's label, the event's text.
    std::string cell(std::size_t row, int column) const;
    // How many events were dropped to keep `most`.
    std::uint64_t dropped() const { return first_; }

private:
    struct Row {
        double time;
        int utc_offset_s;
        std::uint32_t device;
        JournalKind kind;
        std::string text;
    };
    bool shows(const Row& row) const;
    void filter();
    std::uint32_t device_of(const JournalEvent& event);

    std::size_t most_;
    std::deque<Row> held_;
    std::uint64_t first_ = 0;          // the number of held_.front(): the events dropped
    std::deque<std::uint64_t> shown_;  // the numbers of the rows shown, oldest first
    std::vector<std::string> devices_;
    std::vector<std::pair<std::string, std::string>> device_keys_;  // address, serial
    int device_filter_ = -1;
    int kind_filter_ = -1;
};
