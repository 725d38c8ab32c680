#include "headless/headless_console.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "device/panes.h"
#include "device/supply_rails.h"
#include "headless/operator_commands.h"
#include "headless/terminal_text.h"
#include "headless/terminal_window.h"
#include "monitor/alarm_events.h"
#include "monitor/device_monitor.h"
#include "process/line_input.h"
#include "process/stop_signals.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using Clock = LineInput::Clock;

// How long the loop waits for a line while the poll timer is stopped; the
// wait still looks at the stop flag every LineInput::kStopCheck.
constexpr std::chrono::seconds kIdleWait{1};
// After a poll that took past its next tick, commands already waiting still
// run for this long before the next poll, so that a slow device cannot shut
// the operator out; otherwise polls keep their timer and commands fill the
// time between.
constexpr std::chrono::milliseconds kCommandSlice{50};
// How much of an unknown command is echoed.
constexpr size_t kEchoLimit = 40;

bool on_terminal() {
#ifdef _WIN32
    return false;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

int standard_input() {
#ifdef _WIN32
    return 0;
#else
    return STDIN_FILENO;
#endif
}

// A reply of lines broken by "\n", each shown safe: it may echo what was typed.
std::string reply_lines(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        out += terminal_safe_text(text.substr(start, end - start)) + "\n";
        start = end + 1;
    }
    return out;
}

// One line per alarm event on the standard error stream, beside the message
// boxes. The address in a text is the operator's, but it is shown safe too.
void print_alarm(const AlarmEvent& event) {
    std::fprintf(stderr, "tarvik: %s: %s\n", event.cleared ? "alarm cleared" : "alarm",
                 terminal_safe_text(event.text).c_str());
    std::fflush(stderr);
}

// One line per journal event on the standard error stream, as the alarms:
// "tarvik: journal: lamp_latched: U +12V 14.5 V outside 10.0..14.0 V".
void print_journal_event(const JournalEvent& event) {
    std::fprintf(stderr, "tarvik: journal: %s: %s\n", journal_kind_name(event.kind),
                 terminal_safe_text(event.text).c_str());
    std::fflush(stderr);
}

class HeadlessConsole {
public:
    HeadlessConsole(const HeadlessOptions& options, DeviceReadings& readings)
        : options_(options),
          readings_(readings),
          monitor_(window_, readings_),
          redraw_(on_terminal() && options.format == TerminalFormat::kPanes),
          input_(standard_input(), [this](const std::string& message) { report(message); }),
          errors_("tarvik") {}

    int run() {
        monitor_.set_default_port(options_.port);
        monitor_.set_alarm_listener([this](const AlarmEvent& event) {
            print_alarm(event);
            if (options_.format == TerminalFormat::kJson) {
                print(alarm_json(event));
            }
        });
        monitor_.set_journal(options_.journal);
        // With JSON on standard output, each event is also its journal line there.
        monitor_.set_journal_listener([this](const JournalEvent& event) {
            print_journal_event(event);
            if (options_.format == TerminalFormat::kJson) {
                print(journal_line(event) + "\n");
            }
        });
        window_.attach(monitor_);
        monitor_.initialise(nullptr);
        window_.set_text(ControlId::kAddressBox, options_.address);
        window_.set_text(ControlId::kCommunityField, options_.community);
        window_.set_text(ControlId::kIntervalField, options_.interval);
        window_.set_check(ControlId::kLogCheckBox, options_.log_file.empty() ? 0 : 1);
        window_.set_text(ControlId::kLogFileField, options_.log_file);
        // An answer wait in progress looks at the stop flag too, so it gives
        // up at once rather than running out its two seconds.
        const std::atomic<bool>& stop = catch_stop_signals();
        window_.set_stop([&stop] { return stop.load(); });

        window_.press(&DeviceMonitor::on_start);
        if (!stop_requested()) {
            take_identification();
            if (options_.format == TerminalFormat::kJson) {
                print(device_json(readings_));
            } else if (!redraw_) {
                print("-- Identification --\n" + identification_);
            }
            polls_ = 1;
            show("Poll 1", false);
        }
        polls_ = 1;
        restart_ticks();
        // A due tick comes first, so that input, however much of it
        // arrives, cannot hold the polls up. After a poll that overran its
        // period, the commands already waiting run first, for a while.
        while (!finished()) {
            const bool ticking = window_.timer_running();
            const Clock::time_point now = Clock::now();
            const bool due = ticking && now >= due_;
            if (due && now >= commands_until_) {
                tick();
                continue;
            }
            std::string line;
            if (input_.next_line(!ticking ? now + kIdleWait
                                 : due    ? now
                                          : due_,
                                 stop_requested(), &line)) {
                run_command(line);
            } else if (due) {
                tick();
            }
        }
        window_.press(&DeviceMonitor::on_stop);
        print_error(errors_.end_run());
        // A run that did its N polls says whether the last one was answered,
        // for scripts that use the console as a health check.
        const bool polls_done = !quit_ && options_.polls > 0 && polls_ >= options_.polls;
        return output_lost_ || (polls_done && !monitor_.last_poll_answered()) ? 1 : 0;
    }

private:
    bool finished() const {
        return quit_ || output_lost_ || stop_requested() ||
               (options_.polls > 0 && polls_ >= options_.polls);
    }

    // Text for standard output. Output that cannot be written (closed, or a
    // pipe without reader while SIGPIPE is ignored) ends the run with status
    // 1, as SIGPIPE itself would: nobody reads what the polls show.
    void print(const std::string& text) {
        if (output_lost_) {
            return;
        }
        if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
            output_lost_ = true;
            print_error(std::string("tarvik: standard output: ") + std::strerror(errno) + "\n");
        }
    }

    // An error line on the standard error stream; a run of the same one is
    // shown once, with its count.
    void report(const std::string& message) { print_error(errors_.take(message)); }

    static void print_error(const std::string& text) {
        if (!text.empty()) {
            std::fputs(text.c_str(), stderr);
            std::fflush(stderr);
        }
    }

    void restart_ticks() {
        period_ = std::chrono::milliseconds(window_.timer_period());
        due_ = Clock::now() + period_;
    }

    void tick() {
        window_.tick();
        print_error(errors_.end_run());
        ++polls_;
        if (!stop_requested()) {
            show("Poll " + std::to_string(polls_), false);
        }
        // Like a window timer: ticks missed while a poll ran come as one.
        due_ += period_;
        const Clock::time_point now = Clock::now();
        if (due_ < now) {
            due_ = now;
            commands_until_ = now + kCommandSlice;
        }
    }

    // The operator's line runs the handler the window's control runs.
    void run_command(const std::string& line) {
        const OperatorCommand command = parse_operator_command(line, input_.line_was_terminated());
        if (command.action != OperatorAction::kNothing) {
            below_panes_.clear();
        }
        if (command.action != OperatorAction::kUnknown) {
            print_error(errors_.end_run());
        }
        bool identification = false;
        bool write = false;  // a Set or Send KEY, whose outcome is shown
        window_.take_told();
        switch (command.action) {
            case OperatorAction::kNothing:
                return;
            case OperatorAction::kUnknown:
                report(command.refusal.empty()
                           ? "unknown command: " + terminal_echo(line, kEchoLimit)
                           : command.refusal);
                return;
            case OperatorAction::kQuit:
                quit_ = true;
                return;
            case OperatorAction::kHelp:
                print_below_panes(operator_command_name(command),
                                  operator_help(static_cast<bool>(options_.simulator)));
                return;
            case OperatorAction::kSim:
                if (!options_.simulator) {
                    report("sim: no simulated transceiver here; tarvik --demo has one");
                    return;
                }
                print_below_panes(operator_command_name(command),
                                  reply_lines(options_.simulator(command.key)));
                return;
            case OperatorAction::kStop:
                window_.press(&DeviceMonitor::on_stop);
                return;
            case OperatorAction::kGet:
                window_.press(&DeviceMonitor::on_get);
                identification = true;
                break;
            case OperatorAction::kSet:
                window_.press(&DeviceMonitor::on_set);
                write = true;
                break;
            case OperatorAction::kRadio:
                window_.set_check(ControlId::kRadioCheckBox, command.on ? 1 : 0);
                break;
            case OperatorAction::kHeater:
                window_.set_check(ControlId::kHeaterCheckBox, command.on ? 1 : 0);
                break;
            case OperatorAction::kKey:
                window_.set_text(ControlId::kKeyField, command.key);
                window_.press(&DeviceMonitor::on_send_key);
                write = true;
                break;
            case OperatorAction::kReset:
                window_.press(&DeviceMonitor::on_reset);
                break;
            case OperatorAction::kStart:
                // Start polls once itself; that poll counts.
                window_.press(&DeviceMonitor::on_start);
                ++polls_;
                restart_ticks();
                identification = true;
                break;
        }
        // An exchange a stop signal cut short is not shown.
        if (stop_requested()) {
            return;
        }
        if (identification) {
            take_identification();
        }
        // The boxes a write raised are its failure; none: the device took it.
        const std::string failure = window_.take_told();
        show(operator_command_name(command), identification, write ? &failure : nullptr);
    }

    // Text that answers a command: printed as it comes, or on the terminal
    // kept under the panes until the next command, or the next redraw would
    // wipe it at once.
    void print_below_panes(const std::string& heading, const std::string& text) {
        if (redraw_) {
            below_panes_ = text;
            show(heading, false);
        } else if (options_.format == TerminalFormat::kJson) {
            print(command_json(heading, text));
        } else {
            print(text);
        }
    }

    // The identification items as the device sent them, each on its own line;
    // a device that did not answer has none to show.
    void take_identification() {
        if (!monitor_.identification_answered()) {
            identification_ = "(no answer)\n";
            return;
        }
        identification_.clear();
        for (const std::string& item : monitor_.view().identification) {
            identification_ += terminal_safe_text(item) + "\n";
        }
    }

    // The line and JSON forms: a poll since the last showing prints its line
    // or object; a command prints what it answered, a write (`write_failure`
    // set) whether the device took it.
    void show_compact(const std::string& heading, bool with_identification,
                      const std::string* write_failure) {
        std::string out;
        const bool json = options_.format == TerminalFormat::kJson;
        if (write_failure != nullptr) {
            out = json ? write_command_json(heading, *write_failure)
                       : write_command_line(heading, *write_failure);
        }
        if (polls_ == shown_polls_) {
            if (json) {
                out += write_failure != nullptr ? "" : command_json(heading, "");
                out += with_identification ? device_json(readings_) : "";
            } else if (with_identification) {
                out += "-- Identification --\n" + identification_;
            }
        } else {
            shown_polls_ = polls_;
            const bool answered = monitor_.last_poll_answered();
            const std::time_t now = std::time(nullptr);
            if (json && with_identification) {
                out += device_json(readings_);
            } else if (with_identification) {
                out += "-- Identification --\n" + identification_;
            }
            const SecondClass second = monitor_.view().second_class;
            out += json ? poll_json(readings_, answered, now, second)
                        : lines_.next(readings_, answered, now, second);
        }
        print(out);
    }

    void show(const std::string& heading, bool with_identification,
              const std::string* write_failure = nullptr) {
        if (options_.format != TerminalFormat::kPanes) {
            show_compact(heading, with_identification, write_failure);
            return;
        }
        std::string out;
        if (redraw_) {
            out += "\033[H\033[2J-- Identification --\n" + identification_;
        }
        out += "== " + heading + " ==\n";
        if (with_identification && !redraw_) {
            out += "-- Identification --\n" + identification_;
        }
        const ViewState& view = monitor_.view();
        for (const ReadingPane& pane : kReadingPanes) {
            // A pane kept from an earlier answered poll says so.
            out += std::string("-- ") + pane.title + (is_stale(view, pane.id) ? " (old)" : "") +
                   " --\n" + aligned_pane_lines(view.panes.at(pane.id));
        }
        std::string lit;
        std::string not_known;
        for (int k = 0; k < kVoltageAlarmCount; ++k) {
            const std::string label = std::string(" ") + kSupplyRails[k].short_label();
            if (view.lamps[k] == LampState::kLit) {
                lit += label;
            } else if (view.lamps[k] == LampState::kNotKnownNow) {
                not_known += label;
            }
        }
        out += "Lamps lit:" + (lit.empty() ? std::string(" none") : lit);
        if (!not_known.empty()) {
            out += "; not known now:" + not_known;
        }
        out += "\n";
        out += std::string("Radio: ") + (window_.input().radio ? "on" : "off") +
               "  Heater: " + (window_.input().heater ? "on" : "off") + "\n";
        out += "Status: " + terminal_safe_text(view.status) + "\n\n";
        out += below_panes_;
        print(out);
    }

    const HeadlessOptions& options_;
    DeviceReadings& readings_;
    TerminalWindow window_;
    DeviceMonitor monitor_;
    const bool redraw_;
    LineInput input_;
    RepeatedLines errors_;
    std::string identification_;
    bool quit_ = false;
    bool output_lost_ = false;  // standard output could not be written
    std::string below_panes_;   // on the terminal: a command's answer under the panes
    long long polls_ = 0;
    long long shown_polls_ = 0;  // the polls shown by the line and JSON forms
    PollLines lines_;
    std::chrono::milliseconds period_{0};
    Clock::time_point due_;
    Clock::time_point commands_until_;  // commands run at least until then
};

}  // namespace

int run_headless(const HeadlessOptions& options, DeviceReadings& readings) {
    HeadlessConsole console(options, readings);
    return console.run();
}

bool parse_terminal_format(const std::string& text, TerminalFormat* format) {
    static const struct {
        const char* name;
        TerminalFormat format;
    } kFormats[] = {{"panes", TerminalFormat::kPanes},
                    {"line", TerminalFormat::kLine},
                    {"json", TerminalFormat::kJson}};
    for (const auto& f : kFormats) {
        if (text == f.name) {
            *format = f.format;
            return true;
        }
    }
    return false;
}
