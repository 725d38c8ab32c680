// tarvik-sim: the simulated transceiver on its own, for trying the console
// against something that answers like the device.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "sim/control_commands.h"
#include "sim/simulated_transceiver.h"

namespace {

constexpr char kUsage[] =
    "usage: tarvik-sim [--bind ADDR] [--port N] [--family 350|1000] [--community TEXT]\n"
    "\n"
    "A simulated radio-link transceiver: an SNMPv1 agent that answers the console\n"
    "like a real device of either family.\n"
    "\n"
    "  --bind ADDR          numeric IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port N             UDP port (default 161; 0 picks a free one, printed at start)\n"
    "  --family 350|1000    device family (default 350)\n"
    "  --community TEXT     the community it answers (default \"quolen\")\n"
    "  --help               this text\n"
    "\n"
    "While it runs it reads one command a line from standard input, to make it\n"
    "misbehave the way a device or a network can:\n";

// How often the program looks for a stop request once standard input is
// closed.
constexpr std::chrono::milliseconds kIdleCheck{200};

std::atomic<bool> interrupted{false};

extern "C" void on_stop_signal(int) {
    interrupted = true;
}

// Installed without SA_RESTART, so a read of standard input that a signal
// interrupts returns and the program can end.
void catch_stop_signals() {
#ifdef _WIN32
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
#else
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

void print_usage(std::FILE* out) {
    std::fprintf(out, "%s%s", kUsage, kControlHelp);
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
    SimulatorOptions options;
    options.port = kDefaultAgentPort;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            print_usage(stdout);
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
        } else {
            return usage_error("unknown option " + option);
        }
    }

    catch_stop_signals();
    SimulatedTransceiver sim(options);
    std::string error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "tarvik-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf(
        "tarvik-sim: family %d transceiver on %s:%u, community \"%s\"; type help for "
        "commands\n",
        static_cast<int>(options.family), options.bind_address.c_str(),
        static_cast<unsigned>(sim.port()), options.community.c_str());
    std::fflush(stdout);

    std::string line;
    bool quit = false;
    while (!quit && !interrupted && std::getline(std::cin, line)) {
        const ControlReply reply = run_control_command(sim, line);
        if (!reply.text.empty()) {
            std::printf("%s\n", reply.text.c_str());
            std::fflush(stdout);
        }
        quit = reply.quit;
    }
    if (!quit && !interrupted) {
        std::printf("tarvik-sim: standard input closed; running until interrupted\n");
        std::fflush(stdout);
        while (!interrupted) {
            std::this_thread::sleep_for(kIdleCheck);
        }
    }
    sim.stop();
    return 0;
}
