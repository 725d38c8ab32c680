#include "app/demo_controls.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "process/file_path.h"
#include "process/line_input.h"
#include "res/dialog_templates.h"
#include "sim/control_commands.h"
#include "sim/log_replay.h"
#include "sim/simulated_transceiver.h"

namespace {

// The demo's device listens here, and its address box shows it.
constexpr char kDemoAddress[] = "127.0.0.1";

}  // namespace

bool start_demo_device(SimulatedTransceiver& sim, CommandLine& line) {
    std::string error;
    if (!line.replay_file.empty()) {
        ReplayOptions options;
        const std::string log = line.replay_file;
        options.on_problem = [log](const std::string& problem) {
            std::fprintf(stderr, "tarvik: %s: %s\n", log.c_str(), problem.c_str());
            std::fflush(stderr);
        };
        auto replay = open_log_replay(log, std::move(options), &error);
        if (!replay) {
            std::fprintf(stderr, "tarvik: %s: %s\n", log.c_str(), error.c_str());
            return false;
        }
        sim.start_replay(std::move(replay));
    }
    if (!sim.start(&error)) {
        std::fprintf(stderr, "tarvik: the simulated transceiver did not start: %s\n",
                     error.c_str());
        return false;
    }
    line.headless.address = kDemoAddress;
    line.headless.port = sim.port();
    std::fprintf(stderr, "tarvik: simulated transceiver at %s:%u%s%s\n", kDemoAddress, sim.port(),
                 line.replay_file.empty() ? "" : ", replaying ", line.replay_file.c_str());
    return true;
}

std::string replay_title(const std::string& log) {
    return std::string(dialog_template::kMainDialog.title) + " \u2014 replay of " +
           file_path(log).filename().u8string();
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
