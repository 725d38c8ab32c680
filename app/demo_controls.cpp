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

std::string run_demo_control(SimulatedTransceiver& sim, const std::string& line) {
    // "sim" and its blanks off the front: the rest is the simulator's own.
    size_t start = line.find_first_not_of(" \t");
    if (start != std::string::npos && line.compare(start, 3, "sim") == 0 &&
        (line.size() == start + 3 || line[start + 3] == ' ' || line[start + 3] == '\t')) {
        start = line.find_first_not_of(" \t", start + 3);
    }
    const ControlReply reply =
        run_control_command(sim, start == std::string::npos ? std::string() : line.substr(start));
    return reply.quit ? "the demo's device ends with the console" : reply.text;
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
        const std::string reply = run_demo_control(sim_, line);
        if (!reply.empty()) {
            std::printf("%s\n", reply.c_str());
        }
        std::fflush(stdout);
    }
}
