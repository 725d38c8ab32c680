// The simulator's control language.
#include "sim/control_commands.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

#include "process/local_time.h"
#include "sim/log_replay.h"

const char kControlHelp[] =
    "  silent on|off        receive requests but never answer them\n"
    "  delay MS             answer MS milliseconds late (0: at once)\n"
    "  error STATUS         answer every request with this error status (0: off)\n"
    "  garbage on|off       send undecodable octets instead of each answer\n"
    "  wrong-id on|off      answer with a request id that is not the request's\n"
    "  other-port on|off    send answers from another UDP port\n"
    "  rail NAME|INDEX MV   pin a supply rail at MV millivolts\n"
    "                       (24v 12v 9v -12v 5v 3v3 5vsb, or 1 to 7)\n"
    "  rail off             every rail back to normal\n"
    "  family 350|1000      act as a device of that family\n"
    "  freeze SECONDS       stop the device's clock SECONDS after start: readings\n"
    "                       stay as they are then and counters stop (repeatable runs)\n"
    "  freeze now           stop the clock where it stands: every reading holds its value\n"
    "  freeze off           let the clock run on from there\n"
    "  switch N on|off      set the device's switch N, 1 to 6 (1 radio, 3 heater)\n"
    "  errors N             N more FEC failures every second (0: the usual few)\n"
    "  burst SECONDS        40 % of the received blocks fail FEC for SECONDS\n"
    "  unlock SECONDS       the receiver reports no lock for SECONDS (family 1000)\n"
    "  link down SECONDS    both link rates read 0 for SECONDS\n"
    "  clear                all faults off, rails back to normal\n"
    "  replay pause|resume  stop the replayed log's time, or let it run on (--replay)\n"
    "  replay seek TIME     go to TIME in the log (YYYY-MM-DD HH:MM[:SS]), or +SECONDS\n"
    "                       or -SECONDS from where it is\n"
    "  replay speed N       run the log's time N times faster than the clock\n"
    "  replay status        show the replay's time and the row it serves\n"
    "  status               show the faults in force, the switches and the counts\n"
    "  help                 this list\n"
    "  quit                 stop the simulator\n";

namespace {

// Longest delay accepted: ten minutes.
constexpr long kMaxDelayMs = 600000;
// Latest time the clock can be stopped at: a year.
constexpr long kMaxFreezeSeconds = 366L * 24 * 3600;
// Longest link fault, and most FEC failures a second, accepted.
constexpr long kMaxFaultSeconds = 366L * 24 * 3600;
constexpr long kMaxErrorsPerSecond = 1000000;

std::vector<std::string> split_words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string word;
    while (in >> word) {
        words.push_back(word);
    }
    return words;
}

// A whole word as a decimal integer within [low, high].
bool parse_number(const std::string& text, long low, long high, long* value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

bool parse_on_off(const std::string& text, bool* on) {
    if (text == "on") {
        *on = true;
        return true;
    }
    if (text == "off") {
        *on = false;
        return true;
    }
    return false;
}

const char* on_off(bool on) {
    return on ? "on" : "off";
}

// The key between double quotes, with quotes, backslashes and the octets
// that are no printable text (a zero octet included, which would end the
// line where it is printed) written as escapes; UTF-8 text passes.
std::string quoted(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto octet = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (octet < 0x20 || octet == 0x7F) {
            out += "\\x";
            out += kHex[octet >> 4];
            out += kHex[octet & 0x0F];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string status_text(const SimulatedTransceiver& sim) {
    const FaultSettings f = sim.faults();
    std::ostringstream out;
    out << "family " << static_cast<int32_t>(sim.family()) << ", "
        << endpoint_text(sim.bind_address(), sim.port()) << ", community \"" << sim.community()
        << "\"\n";
    out << "silent " << on_off(f.silent) << ", delay " << f.delay.count() << " ms, error "
        << f.error_status << ", garbage " << on_off(f.garbage) << ", wrong-id "
        << on_off(f.wrong_request_id) << ", other-port " << on_off(f.other_port) << "\n";
    out << "rails:";
    bool any = false;
    for (int i = 0; i < kSupplyRailCount; ++i) {
        const auto rail = static_cast<SupplyRail>(i);
        if (const auto mv = sim.rail_override(rail)) {
            out << " " << supply_rail_name(rail) << "=" << *mv << "mV";
            any = true;
        }
    }
    out << (any ? "" : " normal") << "\n";
    out << "switches:";
    for (int i = 0; i < kSwitchCount; ++i) {
        out << " " << sim.switch_state(i);
    }
    out << ", key " << quoted(sim.key()) << "\n";
    out << "requests received " << sim.requests_received() << ", answers sent "
        << sim.answers_sent() << ", delayed answers waiting " << sim.pending_answers()
        << ", dropped " << sim.answers_dropped() << "\n";
    out << "link: " << sim.link_faults_text();
    return out.str();
}

std::string usage_of(const std::string& command) {
    const std::string help = kControlHelp;
    std::istringstream lines(help);
    std::string line;
    std::string found;
    while (std::getline(lines, line)) {
        const auto words = split_words(line);
        if (!words.empty() && words[0] == command) {
            found += (found.empty() ? "usage:" : "\n      ") + line.substr(1);
        }
    }
    return found;
}

// Fastest replay accepted: a year in about nine hours.
constexpr double kMaxReplaySpeed = 1000.0;

// The `replay` commands; `words[0]` is "replay".
std::string replay_command(SimulatedTransceiver& sim, const std::vector<std::string>& words) {
    const std::string what = words.size() > 1 ? words[1] : std::string();
    std::string rest;
    for (std::size_t i = 2; i < words.size(); ++i) {
        rest += (i > 2 ? " " : "") + words[i];
    }
    std::string text = "ok";
    const bool replaying = sim.with_replay([&](LogReplay& replay) {
        double number = 0;
        long seconds = 0;
        if (what == "pause" && words.size() == 2) {
            replay.pause();
        } else if (what == "resume" && words.size() == 2) {
            replay.resume();
        } else if (what == "status" && words.size() == 2) {
            text = replay.status_text();
        } else if (what == "speed" && words.size() == 3 && parse_replay_speed(rest, &number)) {
            replay.set_speed(number);
        } else if (what == "seek" && !rest.empty() && (rest[0] == '+' || rest[0] == '-') &&
                   parse_number(rest[0] == '+' ? rest.substr(1) : rest, -kMaxFaultSeconds,
                                kMaxFaultSeconds, &seconds)) {
            replay.seek(replay.replay_time() + static_cast<double>(seconds));
        } else if (what == "seek" && parse_local_time(rest, &number)) {
            replay.seek(number);
        } else {
            text = usage_of("replay");
        }
    });
    return replaying ? text : "no log is replayed (tarvik-sim --replay LOG)";
}

}  // namespace

bool parse_replay_speed(const std::string& text, double* speed) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(value > 0) || value > kMaxReplaySpeed) {
        return false;
    }
    *speed = value;
    return true;
}

bool parse_device_family(const std::string& text, DeviceFamily* family) {
    if (text == "350") {
        *family = DeviceFamily::k350;
        return true;
    }
    if (text == "1000") {
        *family = DeviceFamily::k1000;
        return true;
    }
    return false;
}

bool parse_supply_rail(const std::string& text, SupplyRail* rail) {
    long number = 0;
    if (parse_number(text, 1, kSupplyRailCount, &number)) {
        *rail = static_cast<SupplyRail>(number - 1);
        return true;
    }
    for (int i = 0; i < kSupplyRailCount; ++i) {
        if (text == supply_rail_name(static_cast<SupplyRail>(i))) {
            *rail = static_cast<SupplyRail>(i);
            return true;
        }
    }
    return false;
}

ControlReply run_control_command(SimulatedTransceiver& sim, const std::string& line) {
    const auto words = split_words(line);
    ControlReply reply;
    if (words.empty() || words[0][0] == '#') {
        return reply;
    }
    const std::string& command = words[0];
    const std::string argument = words.size() > 1 ? words[1] : std::string();
    const size_t count = words.size();
    bool on = false;
    long number = 0;
    reply.text = "ok";

    if (command == "help" && count == 1) {
        reply.text = kControlHelp;
        reply.text.pop_back();  // the caller ends the line
    } else if (command == "status" && count == 1) {
        reply.text = status_text(sim);
    } else if ((command == "quit" || command == "exit") && count == 1) {
        reply.text = "stopping";
        reply.quit = true;
    } else if (command == "clear" && count == 1) {
        sim.clear_faults();
    } else if (command == "silent" && count == 2 && parse_on_off(argument, &on)) {
        sim.set_silent(on);
    } else if (command == "delay" && count == 2 &&
               parse_number(argument, 0, kMaxDelayMs, &number)) {
        sim.set_delay(std::chrono::milliseconds(number));
    } else if (command == "error" && count == 2 &&
               parse_number(argument, 0, std::numeric_limits<int32_t>::max(), &number)) {
        sim.set_error_status(static_cast<int32_t>(number));
    } else if (command == "garbage" && count == 2 && parse_on_off(argument, &on)) {
        sim.set_garbage(on);
    } else if (command == "wrong-id" && count == 2 && parse_on_off(argument, &on)) {
        sim.set_wrong_request_id(on);
    } else if (command == "other-port" && count == 2 && parse_on_off(argument, &on)) {
        sim.set_other_port(on);
    } else if (command == "rail" && count == 2 && argument == "off") {
        sim.clear_rails();
    } else if (command == "rail" && count == 3) {
        SupplyRail rail;
        if (!parse_supply_rail(argument, &rail)) {
            reply.text = "unknown rail '" + argument + "' (24v 12v 9v -12v 5v 3v3 5vsb, or 1 to 7)";
        } else if (!parse_number(words[2], std::numeric_limits<int32_t>::min(),
                                 std::numeric_limits<int32_t>::max(), &number)) {
            reply.text = "not a number of millivolts: '" + words[2] + "'";
        } else {
            sim.set_rail(rail, static_cast<int32_t>(number));
        }
    } else if (command == "switch" && count == 3 &&
               parse_number(argument, 1, kSwitchCount, &number) && parse_on_off(words[2], &on)) {
        sim.set_switch(static_cast<int>(number) - 1, on);
    } else if (command == "errors" && count == 2 &&
               parse_number(argument, 0, kMaxErrorsPerSecond, &number)) {
        sim.set_error_rate(static_cast<double>(number));
    } else if (command == "burst" && count == 2 &&
               parse_number(argument, 0, kMaxFaultSeconds, &number)) {
        sim.start_error_burst(static_cast<double>(number));
    } else if (command == "unlock" && count == 2 &&
               parse_number(argument, 0, kMaxFaultSeconds, &number)) {
        sim.unlock_receiver(static_cast<double>(number));
    } else if (command == "link" && count == 3 && argument == "down" &&
               parse_number(words[2], 0, kMaxFaultSeconds, &number)) {
        sim.take_link_down(static_cast<double>(number));
    } else if (command == "freeze" && count == 2 && argument == "off") {
        sim.run_time();
    } else if (command == "freeze" && count == 2 && argument == "now") {
        sim.freeze_time(sim.model_time());
    } else if (command == "freeze" && count == 2 &&
               parse_number(argument, 0, kMaxFreezeSeconds, &number)) {
        sim.freeze_time(static_cast<double>(number));
    } else if (command == "family" && count == 2) {
        DeviceFamily family;
        if (parse_device_family(argument, &family)) {
            sim.set_family(family);
        } else {
            reply.text = usage_of(command);
        }
    } else if (command == "replay") {
        reply.text = replay_command(sim, words);
    } else {
        const std::string usage = usage_of(command);
        reply.text = usage.empty() ? "unknown command '" + command + "'; type help" : usage;
    }
    return reply;
}
