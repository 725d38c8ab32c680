#include "app/demo_controls.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "process/line_input.h"
#include "sim/control_commands.h"
#include "sim/simulated_transceiver.h"

namespace {

// The demo's device listens here, and its address box shows it.
constexpr char kDemoAddress[] = "127.0.0.1";

}  // namespace

bool start_demo_device(SimulatedTransceiver& sim, CommandLine& line) {
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "tarvik: the simulated transceiver did not start: %s\n",
                     error.c_str());
        return false;
    }
    line.headless.address = kDemoAddress;
    line.headless.port = sim.port();
    std::fprintf(stderr, "tarvik: simulated transceiver at %s:%u\n", kDemoAddress, sim.port());
    return true;
}

DemoControls::DemoControls(SimulatedTransceiver& sim) : sim_(sim), reader_([this] { run(); }) {}

DemoControls::~DemoControls() {
    stop_ = true;
    reader_.join();
}

void DemoControls::run() {
    LineInput input(0, [](const std::string& message) {
        std::fprintf(stderr, "tarvik: %s\n", message.c_str());
        std::fflush(stderr);
    });
    std::string line;
    while (!stop_) {
        const auto until = LineInput::Clock::now() + std::chrono::seconds(1);
        if (!input.next_line(until, stop_, &line)) {
            continue;
        }
        const ControlReply reply = run_control_command(sim_, line);
        if (reply.quit) {
            // The demo's device lives as long as the window.
            std::printf("the demo ends with its window\n");
        } else if (!reply.text.empty()) {
            std::printf("%s\n", reply.text.c_str());
        }
        std::fflush(stdout);
    }
}
