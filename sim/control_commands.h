// The control language of tarvik-sim's standard input: one command a line,
// to turn the simulated transceiver's faults on and off while it runs. Kept
// apart from main() so that it can be tested and reused by other front ends.
#pragma once

#include <string>

#include "sim/simulated_transceiver.h"

// The list of commands, one a line, as `help` prints it.
extern const char kControlHelp[];

struct ControlReply {
    std::string text;   // what to print; empty for a blank or comment line
    bool quit = false;  // the line asked the program to end
};

// Runs one command line against `sim`. Words are separated by blanks; a
// line that is blank or starts with '#' does nothing. A command that is not
// understood changes nothing and replies with what was wrong.
ControlReply run_control_command(SimulatedTransceiver& sim, const std::string& line);

// A replay's speed: a number above 0, at most 1000.
bool parse_replay_speed(const std::string& text, double* speed);
// "350" or "1000".
bool parse_device_family(const std::string& text, DeviceFamily* family);
// A rail's name ("24v", "-12v", "3v3", "5vsb", ...) or its number, 1 to 7.
bool parse_supply_rail(const std::string& text, SupplyRail* rail);
