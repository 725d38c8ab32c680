#include "logbook/journal_export.h"

#include "device/text_format.h"
#include "logbook/log_export.h"

namespace {

// Output is gathered and written in pieces of about this size.
constexpr std::size_t kOutputChunk = 64 * 1024;

// The table's columns after the time (whose width is its own): padded to
// these widths, wider texts pushing the rest of their line along.
constexpr std::size_t kTimeWidth = 29;  // "2026-12-10T03:14:07.250+01:00"
constexpr std::size_t kAddressWidth = 15;
constexpr std::size_t kSerialWidth = 10;
constexpr std::size_t kKindWidth = 22;  // "identification_changed"

void append_cell(std::string& out, const std::string& text, std::size_t width) {
    out += text;
    out.append(text.size() < width ? width - text.size() : 0, ' ');
    out += "  ";
}

std::string shown(const std::string& text) {
    return escape_device_text(text, TextEscapes::kTerminal);
}

}  // namespace

bool JournalFilter::matches(const JournalEvent& event) const {
    if (event.time < from || (to > 0 && event.time >= to)) {
        return false;
    }
    return device.empty() || event.address == device || event.serial == device;
}

JournalExportTotals export_journal(const std::vector<std::string>& files,
                                   const JournalFilter& filter, JournalExportFormat format,
                                   std::ostream& out, const JournalProblemHandler& on_problem) {
    JournalExportTotals totals;
    std::string buffer;
    buffer.reserve(kOutputChunk + 4096);
    if (format == JournalExportFormat::kTable) {
        append_cell(buffer, "TIME", kTimeWidth);
        append_cell(buffer, "ADDRESS", kAddressWidth);
        append_cell(buffer, "SERIAL", kSerialWidth);
        append_cell(buffer, "KIND", kKindWidth);
        buffer += "TEXT\n";
    } else if (format == JournalExportFormat::kCsv) {
        buffer += "time,address,serial,kind,text,details\r\n";
    }
    totals.events = read_journal_files(
        files,
        [&](const JournalEvent& event) {
            if (!filter.matches(event)) {
                return;
            }
            ++totals.written;
            switch (format) {
                case JournalExportFormat::kTable:
                    buffer += journal_time(event);
                    buffer += "  ";
                    append_cell(buffer, shown(event.address), kAddressWidth);
                    append_cell(buffer, shown(event.serial), kSerialWidth);
                    append_cell(buffer, journal_kind_name(event.kind), kKindWidth);
                    buffer += shown(event.text);
                    buffer += '\n';
                    break;
                case JournalExportFormat::kCsv:
                    buffer += journal_time(event);
                    buffer += ',';
                    append_csv_text(buffer, event.address);
                    buffer += ',';
                    append_csv_text(buffer, event.serial);
                    buffer += ',';
                    buffer += journal_kind_name(event.kind);
                    buffer += ',';
                    append_csv_text(buffer, event.text);
                    buffer += ',';
                    append_csv_text(buffer, journal_details(event));
                    buffer += "\r\n";
                    break;
                case JournalExportFormat::kJson:
                    buffer += journal_line(event);
                    buffer += '\n';
                    break;
            }
            if (buffer.size() >= kOutputChunk) {
                out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                buffer.clear();
            }
        },
        [&](const std::string& problem) {
            ++totals.problems;
            if (on_problem) {
                on_problem(problem);
            }
        });
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.flush();
    return totals;
}
