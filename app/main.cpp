// tarvik: chooses the front end from the command line and runs it.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/arguments.h"
#include "app/command_line.h"
#include "app/demo_controls.h"
#include "charts/chart_plan.h"
#include "charts/chart_svg.h"
#include "charts/reading_history.h"
#include "device/device_readings.h"
#include "headless/headless_console.h"
#include "headless/terminal_text.h"
#include "logbook/journal.h"
#include "logbook/journal_export.h"
#include "logbook/log_export.h"
#include "logbook/log_reader.h"
#include "logbook/quality_report.h"
#include "monitor/journal_view.h"
#include "process/file_path.h"
#include "process/plain_output.h"
#include "sim/simulated_transceiver.h"
#include "snmp/diagnostic.h"

#ifdef TARVIK_WINDOW
#include "ui/tarvik_app.h"
#elif defined(_WIN32)
#include "process/wide_text.h"
#include "win32/trends_drawing.h"
#endif

namespace {

bool window_possible() {
#ifdef TARVIK_WINDOW
    return CTarvikApp::display_available();
#else
    return false;
#endif
}

// The console window; with `demo` set it points at the demo's device, and
// TARVIK_DEMO_AUTOSTART=1 presses Get and Start for the operator (for
// screenshots and measurements), and TARVIK_DEMO_AUTOSTART=trends also opens
// the trends window, =journal the journal window.
int run_window(int& argc, char** argv, const CommandLine& line, bool demo) {
#ifdef TARVIK_WINDOW
    WindowOptions options;
    options.default_port = line.headless.port;
    // The fields --address, --community, --interval and --log filled; not started.
    options.address = line.headless.address;
    options.community = line.headless.community;
    options.interval = line.headless.interval;
    options.log_file = line.headless.log_file;
    if (demo) {
        options.address = line.headless.address;
        options.demo = true;
        if (!line.replay_file.empty()) {
            options.title = replay_title(line.replay_file);
        }
        const char* autostart = std::getenv("TARVIK_DEMO_AUTOSTART");
        options.open_trends = autostart != nullptr && std::strcmp(autostart, "trends") == 0;
        options.open_journal = autostart != nullptr && std::strcmp(autostart, "journal") == 0;
        options.autostart = options.open_trends || options.open_journal ||
                            (autostart != nullptr && std::strcmp(autostart, "1") == 0);
    }
    options.journal = journal_path(line);
    CTarvikApp app(argc, argv);
    return app.start_application(options, device_readings());
#else
    (void)argc;
    (void)argv;
    (void)line;
    (void)demo;
#ifdef _WIN32
    std::fprintf(stderr, "tarvik: the console window is tarvikw.exe; use --headless or --demo\n");
#else
    std::fprintf(stderr, "tarvik: this build has no console window; use --headless or --demo\n");
#endif
    return 1;
#endif
}

// Reports of unreadable log lines printed before the rest are only counted.
constexpr std::size_t kPlotProblemsPrinted = 5;

// The time a saved plot shows: the command line's --from and --to, or the
// last --span of the log, or all of it.
charts::View saved_view(const CommandLine& line, const ReadingHistory& history) {
    const ReadingHistory::TimeSpan held = history.held_span();
    if (line.plot_to > line.plot_from) {
        return {line.plot_from, line.plot_to, 0};
    }
    if (line.plot_span > 0) {
        return {held.latest - line.plot_span, held.latest, 0};
    }
    return {held.earliest, std::max(held.latest, held.earliest + 1), 0};
}

bool ends_in_png(const std::string& name) {
    return name.size() >= 4 && (name.compare(name.size() - 4, 4, ".png") == 0 ||
                                name.compare(name.size() - 4, 4, ".PNG") == 0);
}

// Writes the charts of `history` to the --save file: an SVG from the chart
// plan on every platform, a PNG through the platform's own toolkit.
int save_plot(int& argc, char** argv, const CommandLine& line,
              std::unique_ptr<ReadingHistory> history, std::vector<charts::QualityBar> quality,
              const std::vector<charts::ChartMarker>& markers) {
    const std::string shown = terminal_safe_text(line.plot_save);
    if (history->held_polls() == 0) {
        std::fprintf(stderr, "tarvik: the log holds no polls to draw\n");
        return 1;
    }
    const charts::View view = saved_view(line, *history);
    if (ends_in_png(line.plot_save)) {
#ifdef TARVIK_WINDOW
        // No display is needed to draw into an image.
        if (!CTarvikApp::display_available()) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        CTarvikApp::show_only_errors();
        CTarvikApp app(argc, argv);
        if (!app.save_plot_png(std::move(history), std::move(quality), markers, line.plot_save,
                               line.plot_width, line.plot_height, view.from, view.to)) {
            std::fprintf(stderr, "tarvik: cannot write %s\n", shown.c_str());
            return 1;
        }
        return 0;
#elif defined(_WIN32)
        (void)argc;
        (void)argv;
        std::string error;
        if (!save_trends_png(*history, view, line.plot_width, line.plot_height,
                             utf8_to_wide(line.plot_save), &error, &quality, &markers)) {
            std::fprintf(stderr, "tarvik: cannot write %s: %s\n", shown.c_str(), error.c_str());
            return 1;
        }
        return 0;
#else
        (void)argc;
        (void)argv;
        (void)quality;
        (void)markers;
        std::fprintf(stderr, "tarvik: this build writes no PNG; save as .svg\n");
        return 1;
#endif
    }
    const charts::PageLayout page = charts::lay_out_page(line.plot_width, line.plot_height);
    charts::PlanRequest request;
    request.zoom = &view;
    request.resolution = 1;  // a log stamps its lines to the second
    request.markers = &markers;
    const std::string svg = charts::trends_svg(charts::plan_page(*history, request, page), page);
    std::ofstream out(file_path(line.plot_save), std::ios::binary | std::ios::trunc);
    out << svg;
    out.close();
    if (!out) {
        std::fprintf(stderr, "tarvik: cannot write %s\n", shown.c_str());
        return 1;
    }
    return 0;
}

// The journal's events that belong with the log `load` read into `history`,
// as markers: those of its time and its devices. Lines of the journal that
// cannot be read are reported like the log's.
std::vector<charts::ChartMarker> plot_markers(const CommandLine& line,
                                              const ReadingHistory& history, const LogLoad& load) {
    std::size_t problems = 0;
    const std::vector<charts::ChartMarker> markers = log_journal_markers(
        journal_path(line), history, load.serials, [&](const std::string& problem) {
            if (++problems <= kPlotProblemsPrinted) {
                std::fprintf(stderr, "tarvik: %s\n", terminal_safe_text(problem).c_str());
            }
        });
    if (problems > kPlotProblemsPrinted) {
        std::fprintf(stderr, "tarvik: %llu more journal lines could not be read\n",
                     static_cast<unsigned long long>(problems - kPlotProblemsPrinted));
    }
    return markers;
}

// The trends of a log file, in the trends window alone. A missing file, or
// one that is not a regular file, is an error; lines that cannot be read are
// reported and the rest is shown.
int run_plot(int& argc, char** argv, const CommandLine& line) {
    // The name as the terminal may show it: it is not this program's text.
    const std::string shown = terminal_safe_text(line.plot_file);
    auto history = std::make_unique<ReadingHistory>();
    const LogLoad load = load_log_file(line.plot_file, *history);
    if (load.status != LogLoad::Status::kRead) {
        std::fprintf(stderr, "tarvik: cannot open %s: %s\n", shown.c_str(), load.error.c_str());
        return 1;
    }
    const std::size_t printed = std::min(load.problems.size(), kPlotProblemsPrinted);
    for (std::size_t i = 0; i < printed; ++i) {
        std::fprintf(stderr, "tarvik: %s: %s\n", shown.c_str(), load.problems[i].c_str());
    }
    if (load.totals.problems > printed) {
        std::fprintf(stderr, "tarvik: %s: %llu more lines could not be read\n", shown.c_str(),
                     static_cast<unsigned long long>(load.totals.problems - printed));
    }
    const std::string notice = log_load_notice(load);
    if (!notice.empty()) {
        std::fprintf(stderr, "tarvik: %s: %s\n", shown.c_str(), notice.c_str());
    }
    const std::vector<charts::ChartMarker> markers = plot_markers(line, *history, load);
    if (!line.plot_save.empty()) {
        return save_plot(argc, argv, line, std::move(history), load.quality, markers);
    }
#ifdef TARVIK_WINDOW
    if (!window_possible()) {
        std::fprintf(stderr, "tarvik: no display to show the trends on\n");
        return 1;
    }
    CTarvikApp app(argc, argv);
    return app.start_plot(std::move(history), line.plot_file, journal_path(line), load.quality,
                          markers);
#else
    (void)argc;
    (void)argv;
#ifdef _WIN32
    std::fprintf(stderr,
                 "tarvik: the trends window is tarvikw.exe --plot; tarvik.exe writes them to a "
                 "file with --save FILE.svg or FILE.png\n");
#else
    std::fprintf(stderr, "tarvik: this build has no window to show the trends in\n");
#endif
    return 1;
#endif
}

// Opens `log`, a regular file only, for reading; says why not on the
// standard error stream. A log that is also the output (`out`, empty for
// standard output) is refused, since opening the output would empty it.
bool open_log(const std::string& log, const std::string& out, std::ifstream& in) {
    const LogLoad check = check_log_file(log);
    if (check.status == LogLoad::Status::kRead) {
        in.open(file_path(log), std::ios::binary);
    }
    if (!in.is_open()) {
        std::fprintf(stderr, "tarvik: cannot open %s: %s\n", terminal_safe_text(log).c_str(),
                     check.error.empty() ? std::strerror(errno) : check.error.c_str());
        return false;
    }
    std::error_code same_error;
    if (!out.empty() && std::filesystem::equivalent(file_path(log), file_path(out), same_error)) {
        std::fprintf(stderr, "tarvik: %s is the log itself\n", terminal_safe_text(out).c_str());
        return false;
    }
    return true;
}

// The --out file opened for writing, or standard output without one; null
// (and why on the standard error stream) when it cannot be opened.
std::ostream* open_output(const std::string& out, std::ofstream& file) {
    if (out.empty()) {
        return &std::cout;
    }
    file.open(file_path(out), std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        std::fprintf(stderr, "tarvik: cannot write %s: %s\n", terminal_safe_text(out).c_str(),
                     std::strerror(errno));
        return nullptr;
    }
    return &file;
}

// A log as a table on standard output or in the --out file. Lines the
// reader cannot read are reported by number and left out; the rest is
// exported. 1 when the log cannot be read or the table cannot be written.
int run_export(const CommandLine& line) {
    const std::string shown = terminal_safe_text(line.export_file);
    std::ifstream in;
    std::ofstream file;
    if (!open_log(line.export_file, line.export_out, in)) {
        return 1;
    }
    std::ostream* output = open_output(line.export_out, file);
    if (output == nullptr) {
        return 1;
    }
    std::ostream& out = *output;
    export_log(in, out, line.export_json ? ExportFormat::kJson : ExportFormat::kCsv,
               [&](const std::string& problem) {
                   std::fprintf(stderr, "tarvik: %s: %s\n", shown.c_str(), problem.c_str());
               });
    if (file.is_open()) {
        file.close();
    }
    if (!out) {
        std::fprintf(stderr, "tarvik: cannot write the table\n");
        return 1;
    }
    return 0;
}

// The report's bins drawn into the --save file: an SVG from the chart plan on
// every platform, a PNG through the window's toolkit where there is one.
bool save_report_chart(int& argc, char** argv, const CommandLine& line,
                       const QualityReport& report) {
    const std::string shown = terminal_safe_text(line.report_save);
    if (ends_in_png(line.report_save)) {
#ifdef TARVIK_WINDOW
        std::vector<std::string> titles;
        std::vector<std::vector<charts::QualityBar>> bins;
        for (const DeviceQuality& d : report.devices()) {
            titles.push_back(d.device + ", " + bin_name(line.report.bin_seconds) + " bins");
            bins.push_back(quality_bars(d.quality));
        }
        if (!CTarvikApp::display_available()) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        CTarvikApp::show_only_errors();
        CTarvikApp app(argc, argv);
        if (!CTarvikApp::save_quality_png(titles, bins, line.report_save, line.plot_width)) {
            std::fprintf(stderr, "tarvik: cannot write %s\n", shown.c_str());
            return false;
        }
        return true;
#else
        (void)argc;
        (void)argv;
        std::fprintf(stderr, "tarvik: this build writes the report's chart as .svg only\n");
        return false;
#endif
    }
    std::ofstream chart;
    std::ostream* svg = open_output(line.report_save, chart);
    if (svg == nullptr) {
        return false;
    }
    *svg << quality_report_svg(report, line.report.bin_seconds, line.plot_width);
    chart.close();
    if (!chart) {
        std::fprintf(stderr, "tarvik: cannot write %s\n", shown.c_str());
        return false;
    }
    return true;
}

// The link quality report of one or more logs, on standard output or in the
// --out file, and its chart in the --save file. Lines the reader cannot read
// are reported by number and left out. 1 when a log cannot be read or the
// report cannot be written.
int run_report(int& argc, char** argv, const CommandLine& line) {
    QualityReport report(line.report);
    for (const std::string& log : line.report_files) {
        std::ifstream in;
        if (!open_log(log, line.export_out, in)) {
            return 1;
        }
        const std::string shown = terminal_safe_text(log);
        report.read(in, [&](const std::string& problem) {
            std::fprintf(stderr, "tarvik: %s: %s\n", shown.c_str(), problem.c_str());
        });
    }
    report.finish();
    if (!line.report_save.empty() && !save_report_chart(argc, argv, line, report)) {
        return 1;
    }
    std::ofstream file;
    std::ostream* output = open_output(line.export_out, file);
    if (output == nullptr) {
        return 1;
    }
    std::ostream& out = *output;
    report.write(out);
    out.flush();
    if (!out) {
        std::fprintf(stderr, "tarvik: cannot write the report\n");
        return 1;
    }
    return 0;
}

// The journal's events on standard output or in the --out file: of the
// files given, or of the journal (--journal, or the user's own) and its
// rotated files, oldest first. Lines that cannot be read are told with
// their file and number and left out. 1 when a file cannot be read, there
// is no journal, or the output cannot be written.
int run_journal_export(const CommandLine& line) {
    std::vector<std::string> files = line.journal_export_files;
    if (files.empty()) {
        const std::string journal =
            line.journal_file.empty() ? default_journal_path() : line.journal_file;
        if (journal.empty()) {
            std::fprintf(stderr, "tarvik: the journal's place is not known; give its FILE\n");
            return 1;
        }
        files = journal_files(journal);
        if (files.empty()) {
            std::fprintf(stderr, "tarvik: there is no journal at %s\n",
                         terminal_safe_text(journal).c_str());
            return 1;
        }
    }
    for (const std::string& file : files) {
        std::ifstream in;
        if (!open_log(file, line.export_out, in)) {
            return 1;
        }
    }
    std::ofstream output_file;
    std::ostream* output = open_output(line.export_out, output_file);
    if (output == nullptr) {
        return 1;
    }
    std::ostream& out = *output;
    export_journal(files, line.journal_filter, line.journal_format, out,
                   [](const std::string& problem) {
                       std::fprintf(stderr, "tarvik: %s\n", terminal_safe_text(problem).c_str());
                   });
    if (output_file.is_open()) {
        output_file.close();
    }
    if (!out) {
        std::fprintf(stderr, "tarvik: cannot write the journal's events\n");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    write_output_unchanged();
    set_diagnostic_program("tarvik");
    CommandLine line;
    std::string error;
    // Names of files beyond ASCII reach the file system whole.
    const std::vector<std::string> args = utf8_arguments(argc, argv);
    std::vector<const char*> utf8_argv;
    for (const std::string& arg : args) {
        utf8_argv.push_back(arg.c_str());
    }
    if (!parse_command_line(static_cast<int>(utf8_argv.size()), utf8_argv.data(), &line, &error)) {
        std::fprintf(stderr, "tarvik: %s\n\n%s", error.c_str(), usage_text().c_str());
        return 2;
    }
    switch (line.mode) {
        case RunMode::kHelp:
            std::fputs(usage_text().c_str(), stdout);
            return 0;
        case RunMode::kVersion:
            std::fputs(version_text().c_str(), stdout);
            return 0;
        case RunMode::kWindow:
#ifdef TARVIK_WINDOW
            if (!window_possible()) {
                std::fprintf(stderr,
                             "tarvik: no display to open the console window on (neither DISPLAY "
                             "nor WAYLAND_DISPLAY is set); use --headless, or --demo to see the "
                             "console in the terminal\n");
                return 1;
            }
#endif
            return run_window(argc, argv, line, false);
        case RunMode::kPlot:
            return run_plot(argc, argv, line);
        case RunMode::kExport:
            return run_export(line);
        case RunMode::kReport:
            return run_report(argc, argv, line);
        case RunMode::kJournalExport:
            return run_journal_export(line);
        case RunMode::kDemo:
        case RunMode::kHeadless:
            break;
    }
    SimulatedTransceiver sim;
    if (line.demo && !start_demo_device(sim, line)) {
        return 1;
    }
    if (line.mode == RunMode::kDemo) {
        if (window_possible()) {
            const DemoControls controls(sim);
            return run_window(argc, argv, line, true);
        }
        std::fprintf(stderr, "tarvik: no window here; the demo runs in the terminal\n");
    }
    if (line.demo) {
        // The terminal demo's `sim` commands reach its simulated transceiver.
        line.headless.simulator = [&sim](const std::string& command) {
            return run_demo_control(sim, command);
        };
    }
    line.headless.journal = journal_path(line);
    return run_headless(line.headless, device_readings());
}
