// tarvik-sim: the simulated transceiver on its own, for trying the console
// against something that answers like the device.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "process/line_input.h"
#include "process/local_time.h"
#include "process/plain_output.h"
#include "process/stop_signals.h"
#include "sim/control_commands.h"
#include "sim/log_replay.h"
#include "sim/simulated_transceiver.h"
#include "snmp/diagnostic.h"

namespace {

// A format: the default port and community go in.
constexpr char kUsage[] =
    "usage: tarvik-sim [--bind ADDR] [--port N] [--family 350|1000] [--community TEXT]\n"
    "                  [--replay LOG [--speed N] [--from TIME] [--loop]]\n"
    "\n"
    "A simulated radio-link transceiver: an SNMPv1 agent that answers the console\n"
    "like a real device of either family.\n"
    "\n"
    "  --bind ADDR          numeric IPv4 or IPv6 address to listen on (default\n"
    "                       127.0.0.1; :: serves both families where it can)\n"
    "  --port N             UDP port (default %u; 0 picks a free one, printed at start)\n"
    "  --family 350|1000    device family (default 350)\n"
    "  --community TEXT     the community it answers (default \"%s\")\n"
    "  --replay LOG         answer as the device in the console's measurement log did,\n"
    "                       row by row: its identification, family, readings and\n"
    "                       silences (NO CONNECTION, gaps); silent after its end\n"
    "  --speed N            run the log's time N times faster (default 1)\n"
    "  --from TIME          start at a local time YYYY-MM-DD HH:MM[:SS] of the log\n"
    "  --loop               start again at the end\n"
    "  --help               this text\n"
    "  --version            print the version and end\n"
    "\n"
    "While it runs it reads one command a line from standard input, to make it\n"
    "misbehave the way a device or a network can:\n";

// Set by SIGINT and SIGTERM once the handlers are in (catch_stop_signals).
const std::atomic<bool>& interrupted = stop_requested();

// How long one wait for a command or for the stop lasts before the stop
// request is looked at again.
constexpr std::chrono::milliseconds kWait{100};

// One line of standard input; false at its end or once interrupted. A last
// line without a line feed still counts.
bool next_line(std::string* line) {
    static LineInput input(0, [](const std::string& message) {
        std::fprintf(stderr, "tarvik-sim: %s\n", message.c_str());
        std::fflush(stderr);
    });
    while (!interrupted) {
        if (input.next_line(LineInput::Clock::now() + kWait, interrupted, line)) {
            return true;
        }
        if (input.ended()) {
            return false;
        }
    }
    return false;
}

void wait_for_stop() {
    while (!interrupted) {
        std::this_thread::sleep_for(LineInput::kStopCheck);
    }
}

void print_usage(std::FILE* out) {
    std::fprintf(out, kUsage, static_cast<unsigned>(kDefaultAgentPort), kDefaultCommunity);
    std::fputs(kControlHelp, out);
}

int usage_error(const std::string& text) {
    std::fprintf(stderr, "tarvik-sim: %s\n\n", text.c_str());
    print_usage(stderr);
    return 2;
}

bool parse_port(const std::string& text, uint16_t* port) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 65535) {
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    write_output_unchanged();
    set_diagnostic_program("tarvik-sim");
    SimulatorOptions options;
    options.port = kDefaultAgentPort;
    std::string replay_file;
    ReplayOptions replay_options;
    bool replay_option = false;  // --speed, --from or --loop given
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--loop") {
            replay_options.loop = true;
            replay_option = true;
            continue;
        }
        if (option == "--help" || option == "-h") {
            print_usage(stdout);
            return 0;
        }
        if (option == "--version") {
            std::fputs("tarvik-sim " TARVIK_VERSION "\n", stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            return usage_error(option.rfind("--", 0) == 0 ? option + " needs a value"
                                                          : "unexpected argument " + option);
        }
        const std::string value = argv[++i];
        if (option == "--bind") {
            options.bind_address = value;
        } else if (option == "--port") {
            if (!parse_port(value, &options.port)) {
                return usage_error("not a port number: " + value);
            }
        } else if (option == "--family") {
            if (!parse_device_family(value, &options.family)) {
                return usage_error("the family is 350 or 1000, not " + value);
            }
        } else if (option == "--community") {
            options.community = value;
        } else if (option == "--replay") {
            replay_file = value;
        } else if (option == "--speed") {
            if (!parse_replay_speed(value, &replay_options.speed)) {
                return usage_error("the speed is a number above 0, at most 1000, not " + value);
            }
            replay_option = true;
        } else if (option == "--from") {
            if (!parse_local_time(value, &replay_options.from)) {
                return usage_error("--from takes a local time YYYY-MM-DD HH:MM[:SS], not " + value);
            }
            replay_option = true;
        } else {
            return usage_error("unknown option " + option);
        }
    }

    if (replay_option && replay_file.empty()) {
        return usage_error("--speed, --from and --loop go with --replay");
    }

    catch_stop_signals();
    SimulatedTransceiver sim(options);
    std::string error;
    if (!replay_file.empty()) {
        replay_options.on_problem = [&](const std::string& problem) {
            std::fprintf(stderr, "tarvik-sim: %s: %s\n", replay_file.c_str(), problem.c_str());
            std::fflush(stderr);
        };
        auto replay = open_log_replay(replay_file, replay_options, &error);
        if (!replay) {
            std::fprintf(stderr, "tarvik-sim: %s: %s\n", replay_file.c_str(), error.c_str());
            return 1;
        }
        sim.start_replay(std::move(replay));
    }
    if (!sim.start(&error)) {
        std::fprintf(stderr, "tarvik-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf(
        "tarvik-sim: family %d transceiver on %s, community \"%s\"; type help for "
        "commands\n",
        static_cast<int>(sim.family()), endpoint_text(options.bind_address, sim.port()).c_str(),
        options.community.c_str());
    if (!replay_file.empty()) {
        sim.with_replay([&](LogReplay& replay) {
            std::printf("tarvik-sim: replaying %s; %s\n", replay_file.c_str(),
                        replay.status_text().c_str());
        });
    }
    std::fflush(stdout);

    std::string line;
    bool quit = false;
    while (!quit && next_line(&line)) {
        const ControlReply reply = run_control_command(sim, line);
        if (!reply.text.empty()) {
            std::fwrite(reply.text.data(), 1, reply.text.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        }
        quit = reply.quit;
    }
    if (!quit && !interrupted) {
        std::printf("tarvik-sim: standard input closed; running until interrupted\n");
        std::fflush(stdout);
        wait_for_stop();
    }
    sim.stop();
    return 0;
}
