#include "headless/operator_commands.h"

#include <string>
#include <vector>

#include "monitor/device_monitor.h"

const char kOperatorHelp[] =
    "Commands, one a line:\n"
    "  get             read the identification (Get)\n"
    "  set             write the Radio and Heater boxes to the device (Set)\n"
    "  radio on|off    tick or clear the Radio box; sends nothing\n"
    "  heater on|off   tick or clear the Heater box; sends nothing\n"
    "  key TEXT        send TEXT as the key (Send KEY); key \"\" sends an empty key\n"
    "  reset           clear the totals and the alarm lamps (Reset)\n"
    "  stop            stop polling (Stop)\n"
    "  start           start polling with the same fields (Start)\n"
    "  help            this list\n"
    "  quit, exit      stop polling and end the console\n";

std::string operator_help(bool with_sim) {
    std::string help = kOperatorHelp;
    if (with_sim) {
        // Before the last line, with the device's commands.
        const size_t last = help.rfind('\n', help.size() - 2) + 1;
        help.insert(last,
                    "  sim COMMAND     a command to the demo's simulated transceiver (sim help "
                    "lists them)\n");
    }
    return help;
}

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < line.size() && !is_blank(line[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

// The command a whole line gives.
OperatorCommand command_of_line(const std::string& line) {
    OperatorCommand command;
    size_t first = 0;
    while (first < line.size() && is_blank(line[first])) {
        ++first;
    }
    if (line.compare(first, 3, "key") == 0 &&
        (line.size() == first + 3 || is_blank(line[first + 3]))) {
        const std::string rest = line.size() > first + 4 ? line.substr(first + 4) : std::string();
        if (rest.empty()) {
            // A stray "key" would wipe the device's key without a word.
            command.action = OperatorAction::kUnknown;
            command.refusal = "key needs a text; key \"\" sends an empty key";
            return command;
        }
        command.key = rest == "\"\"" ? std::string() : rest;
        const std::string too_long = key_length_refusal(command.key);
        if (!too_long.empty()) {
            command.action = OperatorAction::kUnknown;
            command.refusal = "key refused: " + too_long;
            command.key.clear();
            return command;
        }
        command.action = OperatorAction::kKey;
        return command;
    }
    const std::vector<std::string> words = split_words(line);
    if (words.empty()) {
        return command;
    }
    if (words[0] == "sim") {
        if (words.size() == 1) {
            command.action = OperatorAction::kUnknown;
            command.refusal = "sim needs a command; sim help lists them";
            return command;
        }
        // The simulator's language has its own parser: the line goes as it is.
        size_t rest = first + 3;
        while (is_blank(line[rest])) {
            ++rest;
        }
        command.action = OperatorAction::kSim;
        command.key = line.substr(rest);
        return command;
    }
    const std::string& verb = words[0];
    if (words.size() == 1) {
        const struct {
            const char* name;
            OperatorAction action;
        } plain[] = {
            {"get", OperatorAction::kGet},     {"set", OperatorAction::kSet},
            {"reset", OperatorAction::kReset}, {"stop", OperatorAction::kStop},
            {"start", OperatorAction::kStart}, {"help", OperatorAction::kHelp},
            {"quit", OperatorAction::kQuit},   {"exit", OperatorAction::kQuit},
        };
        for (const auto& p : plain) {
            if (verb == p.name) {
                command.action = p.action;
                return command;
            }
        }
    } else if (words.size() == 2 && (verb == "radio" || verb == "heater") &&
               (words[1] == "on" || words[1] == "off")) {
        command.action = verb == "radio" ? OperatorAction::kRadio : OperatorAction::kHeater;
        command.on = words[1] == "on";
        return command;
    }
    command.action = OperatorAction::kUnknown;
    return command;
}

}  // namespace

OperatorCommand parse_operator_command(const std::string& line, bool terminated) {
    OperatorCommand command = command_of_line(line);
    if (!terminated &&
        (command.action == OperatorAction::kSet || command.action == OperatorAction::kKey)) {
        const std::string name = operator_command_name(command);
        command = OperatorCommand();
        command.action = OperatorAction::kUnknown;
        command.refusal = name + " not run: the input ended inside its line";
    }
    return command;
}

std::string operator_command_name(const OperatorCommand& command) {
    const char* const on_off = command.on ? " on" : " off";
    switch (command.action) {
        case OperatorAction::kGet:
            return "get";
        case OperatorAction::kSet:
            return "set";
        case OperatorAction::kRadio:
            return std::string("radio") + on_off;
        case OperatorAction::kHeater:
            return std::string("heater") + on_off;
        case OperatorAction::kKey:
            return "key";
        case OperatorAction::kReset:
            return "reset";
        case OperatorAction::kStop:
            return "stop";
        case OperatorAction::kStart:
            return "start";
        case OperatorAction::kHelp:
            return "help";
        case OperatorAction::kSim:
            return "sim";
        case OperatorAction::kQuit:
            return "quit";
        case OperatorAction::kNothing:
        case OperatorAction::kUnknown:
            break;
    }
    return std::string();
}
