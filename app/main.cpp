// tarvik: chooses the front end from the command line and runs it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/demo_controls.h"
#include "headless/headless_console.h"
#include "headless/terminal_text.h"
#include "monitor/device_readings.h"
#include "monitor/log_reader.h"
#include "monitor/reading_history.h"
#include "process/plain_output.h"
#include "sim/simulated_transceiver.h"
#include "snmp/diagnostic.h"

#ifdef TARVIK_WINDOW
#include "ui/tarvik_app.h"
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
// the trends window.
int run_window(int& argc, char** argv, const CommandLine& line, bool demo) {
#ifdef TARVIK_WINDOW
    WindowOptions options;
    options.default_port = line.headless.port;
    if (demo) {
        options.address = line.headless.address;
        options.demo = true;
        const char* autostart = std::getenv("TARVIK_DEMO_AUTOSTART");
        options.open_trends = autostart != nullptr && std::strcmp(autostart, "trends") == 0;
        options.autostart =
            options.open_trends || (autostart != nullptr && std::strcmp(autostart, "1") == 0);
    }
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
#ifdef TARVIK_WINDOW
    if (!window_possible()) {
        std::fprintf(stderr, "tarvik: no display to show the trends on\n");
        return 1;
    }
    CTarvikApp app(argc, argv);
    return app.start_plot(std::move(history), line.plot_file);
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "tarvik: this build has no window to show the trends in\n");
    return 1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    write_output_unchanged();
    set_diagnostic_program("tarvik");
    CommandLine line;
    std::string error;
    if (!parse_command_line(argc, argv, &line, &error)) {
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
    return run_headless(line.headless, device_readings());
}
