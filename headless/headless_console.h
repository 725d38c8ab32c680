// The console without a window: the monitor driven by a plain event loop,
// its panes printed to the terminal after every poll and the operator's
// commands read from standard input. For servers without a display, for
// scripts, and for the demo where no display is available.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "monitor/device_monitor.h"
#include "snmp/agent_link.h"

// What the terminal console prints after each poll: the panes, one aligned
// line (with a heading every kLineHeadingEvery lines), or one JSON object
// (JSON Lines, with the export's names; alarms and command results are
// objects of their own in the same stream).
enum class TerminalFormat { kPanes, kLine, kJson };
// "panes", "line" or "json"; false for anything else.
bool parse_terminal_format(const std::string& text, TerminalFormat* format);

struct HeadlessOptions {
    std::string address;                // as typed into the address box; HOST or HOST:PORT
    uint16_t port = kDefaultAgentPort;  // the agent's port when the address names none
    std::string community = kDefaultCommunity;
    std::string interval = kDefaultInterval;  // as typed into the interval field
    std::string log_file;                     // empty: no log
    long long polls = 0;                      // stop after this many polls; 0: run until a signal
    TerminalFormat format = TerminalFormat::kPanes;
    std::string journal;  // the journal file appended to; empty: none
    // The demo's simulated transceiver: runs one line of its control
    // language and returns the reply to print. Empty outside the demo,
    // where `sim` is refused.
    std::function<std::string(const std::string&)> simulator;
};

// The readings it shows are `readings`; the caller may pass the
// process-wide record.
struct DeviceReadings;

// Presses Start with the options' fields, then polls at the interval until
// `polls` polls have run (the one inside Start is the first; the one inside
// each `start` of the operator counts too) or SIGINT or SIGTERM arrives; a signal
// also cuts short an answer wait in progress. Meanwhile it runs the
// operator's commands (operator_commands.h) as they arrive on standard
// input, between polls that keep their timer; the end of that input ends
// nothing, `quit` ends the run. Returns the process's exit status: 1 when
// the run did its `polls` polls and the last one had no answer, else 0.
int run_headless(const HeadlessOptions& options, DeviceReadings& readings);
