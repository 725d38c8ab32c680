#include "app/demo_controls.h"

#include <cerrno>
#include <cstdio>
#include <string>

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#endif

#include "sim/control_commands.h"
#include "sim/simulated_transceiver.h"

namespace {
// How long one wait for input lasts before the stop flag is looked at again.
constexpr int kWaitSliceMs = 100;
}  // namespace

DemoControls::DemoControls(SimulatedTransceiver& sim) : sim_(sim) {
#ifndef _WIN32
    reader_ = std::thread([this] { run(); });
#endif
}

DemoControls::~DemoControls() {
    stop_ = true;
    if (reader_.joinable()) {
        reader_.join();
    }
}

void DemoControls::run() {
#ifndef _WIN32
    std::string buffered;
    while (!stop_) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&in, 1, kWaitSliceMs);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (ready <= 0) {
            continue;
        }
        char chunk[4096];
        const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        const bool ended = got <= 0;
        if (!ended) {
            buffered.append(chunk, static_cast<size_t>(got));
        } else if (!buffered.empty()) {
            buffered += '\n';  // a last line without a line feed still counts
        }
        size_t end;
        while ((end = buffered.find('\n')) != std::string::npos) {
            const ControlReply reply = run_control_command(sim_, buffered.substr(0, end));
            buffered.erase(0, end + 1);
            if (reply.quit) {
                // The demo's device lives as long as the window.
                std::printf("the demo ends with its window\n");
            } else if (!reply.text.empty()) {
                std::printf("%s\n", reply.text.c_str());
            }
            std::fflush(stdout);
        }
        if (ended) {
            return;
        }
    }
#endif
}
