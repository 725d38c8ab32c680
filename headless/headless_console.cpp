#include "headless/headless_console.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "headless/terminal_window.h"
#include "monitor/device_monitor.h"
#include "monitor/panes.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// The event loop looks for a stop request at least this often while it
// waits for the next tick.
constexpr std::chrono::milliseconds kStopCheck{100};

std::atomic<bool> stop_requested{false};

extern "C" void on_stop_signal(int) {
    stop_requested = true;
}

void catch_stop_signals() {
#ifdef _WIN32
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
#else
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

bool on_terminal() {
#ifdef _WIN32
    return false;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

// A pane's text as terminal lines.
std::string as_lines(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r') {
            out += c;
        }
    }
    if (out.empty() || out.back() != '\n') {
        out += '\n';
    }
    return out;
}

class HeadlessConsole {
public:
    HeadlessConsole(const HeadlessOptions& options, DeviceReadings& readings)
        : options_(options),
          readings_(readings),
          monitor_(window_, readings_),
          redraw_(on_terminal()) {}

    int run() {
        monitor_.set_default_port(options_.port);
        monitor_.initialise(nullptr);
        window_.set_text(ControlId::kAddressBox, options_.address);
        window_.set_text(ControlId::kCommunityField, options_.community);
        window_.set_text(ControlId::kIntervalField, options_.interval);
        window_.set_check(ControlId::kLogCheckBox, options_.log_file.empty() ? 0 : 1);
        window_.set_text(ControlId::kLogFileField, options_.log_file);
        catch_stop_signals();

        monitor_.on_start();
        identification_ = as_lines(identification_pane_text(readings_));
        if (!redraw_) {
            std::printf("-- Identification --\n%s", identification_.c_str());
        }
        long long polls = 1;
        show(polls);
        const auto period = std::chrono::milliseconds(window_.timer_period_ms());
        auto due = Clock::now() + period;
        while (!finished(polls)) {
            if (!wait_until(due)) {
                break;
            }
            monitor_.on_timer(kPollTimerId);
            show(++polls);
            // Like a window timer: ticks missed while a poll ran come as one.
            due += period;
            if (due < Clock::now()) {
                due = Clock::now();
            }
        }
        monitor_.on_stop();
        return 0;
    }

private:
    bool finished(long long polls) const {
        return stop_requested || (options_.polls > 0 && polls >= options_.polls);
    }

    // Sleeps until `due`; false when a stop was requested meanwhile.
    static bool wait_until(Clock::time_point due) {
        while (!stop_requested) {
            const auto now = Clock::now();
            if (now >= due) {
                return true;
            }
            std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kStopCheck));
        }
        return false;
    }

    void show(long long poll) {
        std::string out;
        if (redraw_) {
            out += "\033[H\033[2J-- Identification --\n" + identification_;
        }
        out += "== Poll " + std::to_string(poll) + " ==\n";
        const struct {
            const char* title;
            ControlId pane;
        } panes[] = {
            {"Temperature", ControlId::kTemperaturePane},
            {"Voltage", ControlId::kVoltagePane},
            {"RX inf.", ControlId::kRxPane},
            {"Statistic", ControlId::kStatisticPane},
            {"Link", ControlId::kLinkPane},
        };
        for (const auto& p : panes) {
            out += std::string("-- ") + p.title + " --\n" + as_lines(window_.get_text(p.pane));
        }
        static const char* const kRails[6] = {"+24V", "+12V", "+9V", "-12V", "+5V", "+3.3V"};
        std::string lit;
        for (int k = 0; k < 6; ++k) {
            if (window_.get_check(kVoltageLamps[k]) != 0) {
                lit += std::string(" ") + kRails[k];
            }
        }
        out += "Lamps lit:" + (lit.empty() ? std::string(" none") : lit) + "\n";
        out +=
            std::string("Radio: ") + (window_.get_check(ControlId::kRadioCheckBox) ? "on" : "off") +
            "  Heater: " + (window_.get_check(ControlId::kHeaterCheckBox) ? "on" : "off") + "\n\n";
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
    }

    const HeadlessOptions& options_;
    DeviceReadings& readings_;
    TerminalWindow window_;
    DeviceMonitor monitor_;
    const bool redraw_;
    std::string identification_;
};

}  // namespace

int run_headless(const HeadlessOptions& options, DeviceReadings& readings) {
    HeadlessConsole console(options, readings);
    return console.run();
}
