// tarvik: chooses the front end from the command line and runs it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "headless/headless_console.h"
#include "monitor/device_readings.h"
#include "sim/simulated_transceiver.h"

namespace {

// The simulated transceiver of the demo, on a free loopback port.
bool start_demo_device(SimulatedTransceiver& sim, CommandLine& line) {
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "tarvik: the simulated transceiver did not start: %s\n",
                     error.c_str());
        return false;
    }
    line.headless.address = "127.0.0.1";
    line.headless.port = sim.port();
    std::fprintf(stderr, "tarvik: simulated transceiver at 127.0.0.1:%u\n", sim.port());
    return true;
}

int run_window(CommandLine&) {
    std::fprintf(stderr, "tarvik: this build has no console window; use --headless or --demo\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!parse_command_line(argc, argv, &line, &error)) {
        std::fprintf(stderr, "tarvik: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    }
    switch (line.mode) {
        case RunMode::kHelp:
            std::fputs(kUsage, stdout);
            return 0;
        case RunMode::kWindow:
            return run_window(line);
        case RunMode::kDemo:
        case RunMode::kHeadless:
            break;
    }
    SimulatedTransceiver sim;
    if (line.demo && !start_demo_device(sim, line)) {
        return 1;
    }
    if (line.mode == RunMode::kDemo) {
        // No window in this build: the demo runs in the terminal.
        std::fprintf(stderr, "tarvik: no window here; the demo runs in the terminal\n");
    }
    return run_headless(line.headless, device_readings());
}
