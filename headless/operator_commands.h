// The operator's commands on the terminal console's standard input, one a
// line; each does what a control of the window does.
#pragma once

#include <string>

enum class OperatorAction {
    kNothing,  // a blank line
    kGet,
    kSet,
    kRadio,   // the Radio box to `on`
    kHeater,  // the Heater box to `on`
    kKey,     // the key field to `key`, then Send KEY
    kReset,
    kStop,
    kStart,
    kHelp,
    kSim,      // `key` to the demo's simulated transceiver, as its own command
    kQuit,     // end the console
    kUnknown,  // not a command, or a command with the wrong words
};

struct OperatorCommand {
    OperatorAction action = OperatorAction::kNothing;
    bool on = false;
    std::string key;  // kKey: the key; kSim: the simulator's command line
    // With kUnknown: why a known command was refused; empty for a line
    // that is no command at all.
    std::string refusal;
};

extern const char kOperatorHelp[];

// What `help` prints: kOperatorHelp, with the line of `sim` where a
// simulated transceiver takes its commands.
std::string operator_help(bool with_sim);

// One line without its line break. Words are separated by blanks and
// written in lower case; `key` takes the rest of the line after one blank
// as it stands, blanks included. A key must be typed: `key ""` sends an
// empty one, and `key` with nothing after it is refused, as is a key
// longer than the device takes (kKeyLimit octets). `sim` takes the
// rest of the line after its blanks as the simulator's command.
// A `set` or `key` on a line that the input ended inside (`terminated`
// false) is refused: the line may have been cut short, and what it would
// send was never confirmed by the line's end.
OperatorCommand parse_operator_command(const std::string& line, bool terminated = true);

// The command as a heading names it: "get", "radio on", "key".
std::string operator_command_name(const OperatorCommand& command);
