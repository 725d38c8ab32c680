// The journal for scripts and support: its events, those of a time span
// and a device, as a table for a person, as CSV or as JSON Lines.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "logbook/journal.h"

enum class JournalExportFormat {
    // One event a line: "TIME  ADDRESS  SERIAL  KIND  TEXT" under a heading
    // of those names, the columns padded to line up as long as they fit;
    // controls and octets that are no UTF-8 shown as \xHH.
    kTable,
    // CSV (RFC 4180, CR LF): time,address,serial,kind,text,details, where
    // details is the kind's own members as one JSON object; text cells are
    // kept from running as formulas.
    kCsv,
    // JSON Lines: each event's line as the journal holds it.
    kJson,
};

// Which events an export takes.
struct JournalFilter {
    double from = 0;     // seconds since the epoch, this one included; 0: from the start
    double to = 0;       // this one left out; 0: to the end
    std::string device;  // an address as typed, or a serial number; "" for every device

    bool matches(const JournalEvent& event) const;
};

struct JournalExportTotals {
    std::uint64_t events = 0;    // events read
    std::uint64_t written = 0;   // of them, those the filter took
    std::uint64_t problems = 0;  // lines and files that could not be read
};

// Writes the events of `files`, read in the order given, that `filter`
// takes, to `out`; what cannot be read goes to `on_problem` as
// read_journal_files says. `out` tells whether the writing succeeded.
JournalExportTotals export_journal(const std::vector<std::string>& files,
                                   const JournalFilter& filter, JournalExportFormat format,
                                   std::ostream& out, const JournalProblemHandler& on_problem);
