// The program's command line. With no arguments it is the console window;
// options add what the window leaves out and never change what it does.
#pragma once

#include <string>
#include <vector>

#include "headless/headless_console.h"
#include "logbook/journal_export.h"
#include "logbook/quality_report.h"

enum class RunMode {
    kWindow,
    kDemo,
    kHeadless,
    kPlot,
    kExport,
    kReport,
    kJournalExport,
    kHelp,
    kVersion
};

struct CommandLine {
    RunMode mode = RunMode::kWindow;
    bool demo = false;         // with kHeadless: the headless demo
    HeadlessOptions headless;  // --headless and its options; its port is --port, any mode
    std::string plot_file;     // with kPlot: the log whose trends are shown
    // With kPlot and --save: the file the charts are written to (.svg or
    // .png) instead of a window, its size in pixels, and the time shown:
    // the last `plot_span` seconds held (0: all), or [plot_from, plot_to]
    // when plot_to > plot_from (seconds since the epoch).
    std::string plot_save;
    int plot_width = 1200;
    int plot_height = 1400;
    double plot_span = 0;
    double plot_from = 0;
    double plot_to = 0;
    std::string export_file;   // with kExport: the log to export
    bool export_json = false;  // with kExport: JSON Lines rather than CSV
    std::string export_out;    // with kExport: the file written; empty for stdout
    // With kReport: the logs, in the order given, and what the report
    // covers and how it is written (to `export_out`, or stdout).
    std::vector<std::string> report_files;
    ReportOptions report;
    std::string report_save;  // with kReport: the chart of the bins, .svg
    // --journal FILE: the journal in place of the user's own; with the
    // window, the demo or the terminal an empty FILE writes none.
    std::string journal_file;
    bool journal_given = false;
    // With kJournalExport: the journal files given, in order (none: the
    // journal and its rotated files), the events taken and their form,
    // written to `export_out` or stdout.
    std::vector<std::string> journal_export_files;
    JournalFilter journal_filter;
    JournalExportFormat journal_format = JournalExportFormat::kTable;
};

// The journal the console of `line` appends to: --journal's file, else
// the user's own (default_journal_path()); the demo's simulated device
// writes none unless --journal names one.
std::string journal_path(const CommandLine& line);

// "90s", "30m", "2h", "1d" or plain seconds ("600"), as seconds; false when
// it is none of these or not above zero.
bool parse_duration(const std::string& text, double* seconds);
// A local time "YYYY-MM-DD HH:MM[:SS]" (or with "T" for the space) as
// seconds since the epoch.
bool parse_local_time(const std::string& text, double* seconds);

// What the program takes, for --help and after a refused command line.
std::string usage_text();

// The program's version, as the package carries it ("0.1.0").
const char* program_version();

// What --version prints: "tarvik VERSION" and a line break.
std::string version_text();

// Returns false with the reason in `*error` for arguments the program does
// not take; the caller prints the usage and exits with status 2.
bool parse_command_line(int argc, const char* const* argv, CommandLine* line, std::string* error);
