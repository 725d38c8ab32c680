// tarvikw: the console window on Windows, a GUI-subsystem program. With
// --demo it points the window at the built-in simulated transceiver; with
// --plot LOG it shows the trends of a log alone. The terminal front end and
// writing the trends to a file stay with tarvik.exe.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/command_line.h"
#include "app/demo_controls.h"
#include "device/device_readings.h"
#include "sim/simulated_transceiver.h"
#include "snmp/diagnostic.h"
#include "win32/tarvik_app.h"

namespace {

// The demo's device, for the outage the demo may play.
SimulatedTransceiver* demo_outage = nullptr;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    set_diagnostic_program("tarvik");
    const std::vector<std::string> args = utf8_arguments(0, nullptr);
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    CommandLine line;
    std::string error;
    if (!parse_command_line(static_cast<int>(argv.size()), argv.data(), &line, &error)) {
        show_program_message(error + "\n\n" + usage_text());
        return 2;
    }
    WindowOptions options;
    options.default_port = line.headless.port;
    options.log_file = line.headless.log_file;  // --log: "Log to file" checked, the file named
    SimulatedTransceiver sim;
    switch (line.mode) {
        case RunMode::kWindow:
            // The fields --address, --community and --interval filled; not started.
            options.address = line.headless.address;
            options.community = line.headless.community;
            options.interval = line.headless.interval;
            break;
        case RunMode::kDemo: {
            if (!start_demo_device(sim, line)) {
                show_program_message("The simulated transceiver did not start");
                return 1;
            }
            options.default_port = line.headless.port;
            options.address = line.headless.address;
            options.demo = true;
            if (!line.replay_file.empty()) {
                options.title = replay_title(line.replay_file);
            }
            // TARVIK_DEMO_AUTOSTART=1 presses Get and Start (for screenshots
            // and measurements); =outage also pins the +12 V rail high for
            // three seconds, then silences the device.
            const char* autostart = std::getenv("TARVIK_DEMO_AUTOSTART");
            const bool outage = autostart != nullptr && std::strcmp(autostart, "outage") == 0;
            options.autostart =
                outage || (autostart != nullptr && std::strcmp(autostart, "1") == 0);
            if (outage) {
                demo_outage = &sim;
                sim.set_rail(SupplyRail::k12V, 14500);
                SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR timer, DWORD) {
                    KillTimer(nullptr, timer);
                    demo_outage->clear_rails();
                    demo_outage->set_silent(true);
                });
            }
            break;
        }
        case RunMode::kVersion:
            show_program_message(version_text());
            return 0;
        case RunMode::kPlot:
            if (line.plot_save.empty()) {
                return start_plot(line.plot_file, journal_path(line));
            }
            show_program_message(
                "tarvikw --plot shows the trends in a window; tarvik.exe --plot "
                "--save writes them to a file.");
            return 2;
        case RunMode::kHelp:
        case RunMode::kHeadless:
        case RunMode::kExport:
        case RunMode::kReport:
        case RunMode::kJournalExport:
            show_program_message(
                "tarvikw opens the console window, or with --plot a log's trends. The terminal "
                "console (--headless, --demo in the terminal, --plot --save) is tarvik.exe.\n\n" +
                usage_text());
            return line.mode == RunMode::kHelp ? 0 : 2;
    }
    options.journal = journal_path(line);
    return start_application(options, device_readings());
}
