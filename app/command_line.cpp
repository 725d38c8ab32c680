#include "app/command_line.h"

#include <cerrno>
#include <cstdlib>

#include "monitor/device_monitor.h"
#include "snmp/agent_link.h"

std::string usage_text() {
    const std::string port = std::to_string(kDefaultAgentPort);
    return "usage: tarvik                      the console window\n"
           "       tarvik --demo               the window, plus a simulated transceiver on "
           "loopback\n"
           "       tarvik --headless --address HOST [--port N] [--community TEXT]\n"
           "              [--interval MS] [--log FILE] [--polls N]\n"
           "                                   no window: Start with these fields, print the\n"
           "                                   panes after every poll, stop after N polls\n"
           "       tarvik --port N             the agent's UDP port (default " +
           port +
           "), any mode\n"
           "       tarvik --plot FILE          the trends of a log the console wrote; no "
           "console\n"
           "       tarvik --version            print the version and end\n"
           "\n"
           "HOST may carry its own port as HOST:PORT. Without a display, --demo runs\n"
           "the terminal front end on the simulated transceiver.\n";
}

const char* program_version() {
    return TARVIK_VERSION;
}

std::string version_text() {
    return std::string("tarvik ") + program_version() + "\n";
}

namespace {

bool parse_number(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

}  // namespace

bool parse_command_line(int argc, const char* const* argv, CommandLine* line, std::string* error) {
    bool headless = false;
    bool headless_option = false;
    bool address_given = false;
    bool plot = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line->mode = RunMode::kHelp;
            return true;
        }
        if (arg == "--version") {
            line->mode = RunMode::kVersion;
            return true;
        }
        if (arg == "--demo") {
            line->demo = true;
            continue;
        }
        if (arg == "--headless") {
            headless = true;
            continue;
        }
        if (arg == "--plot") {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            line->plot_file = argv[++i];
            plot = true;
            continue;
        }
        const bool takes_value = arg == "--port" || arg == "--address" || arg == "--community" ||
                                 arg == "--interval" || arg == "--log" || arg == "--polls";
        if (!takes_value) {
            *error = "unknown argument: " + arg;
            return false;
        }
        if (i + 1 >= argc) {
            *error = arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        long long number = 0;
        if (arg == "--port") {
            if (!parse_number(value, 1, 65535, &number)) {
                *error = "--port takes a port from 1 to 65535";
                return false;
            }
            line->headless.port = static_cast<uint16_t>(number);
            continue;
        }
        headless_option = true;
        if (arg == "--address") {
            // The empty address box means the local computer; on the
            // command line an empty value is a mistake (an unset variable).
            if (value.empty()) {
                *error = "--address needs a host name or address";
                return false;
            }
            line->headless.address = value;
            address_given = true;
        } else if (arg == "--community") {
            line->headless.community = value;
        } else if (arg == "--interval") {
            // Read as the field reads it, but a period the field would make
            // 0 or negative (no digits, "0", "-5") polls flat out or never:
            // on the command line it is a mistake, not a choice.
            if (parse_interval(value) < 1) {
                *error = "--interval takes a period of 1 ms or more";
                return false;
            }
            line->headless.interval = value;
        } else if (arg == "--log") {
            if (value.empty()) {
                *error = "--log needs a file name";
                return false;
            }
            line->headless.log_file = value;
        } else if (!parse_number(value, 1, 1000000000000LL, &number)) {
            *error = "--polls takes a count of 1 or more";
            return false;
        } else {
            line->headless.polls = number;
        }
    }
    if (headless_option && !headless) {
        *error = "--address, --community, --interval, --log and --polls go with --headless";
        return false;
    }
    if (headless && !address_given && !line->demo) {
        *error = "--headless needs --address";
        return false;
    }
    if (plot) {
        if (headless || line->demo) {
            *error = "--plot goes without --headless and --demo";
            return false;
        }
        line->mode = RunMode::kPlot;
        return true;
    }
    line->mode = headless ? RunMode::kHeadless : line->demo ? RunMode::kDemo : RunMode::kWindow;
    return true;
}
