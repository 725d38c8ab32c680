// The window program's start-up step on Windows: the settings file, the
// main window, and its message loop until the window is closed.
#pragma once

#include <cstdint>
#include <string>

#include "snmp/agent_link.h"

struct DeviceReadings;

// What the command line adds to the window; none of it changes what the
// window does.
struct WindowOptions {
    uint16_t default_port = kDefaultAgentPort;  // for addresses that name no port
    std::string address;                        // put into the address box; empty: none
    std::string community;                      // put into its field; empty: the default
    std::string interval;                       // put into its field; empty: the default
    std::string log_file;    // put into its field, "Log to file" checked; empty: neither
    bool autostart = false;  // press Get, then Start, once the window shows
    bool demo = false;    // a history of its own, so the demo's address stays out of the real one
    std::string journal;  // the journal file the window appends to; empty: none
    std::string title;    // the window's title; empty: the dialog's own
};

// Initialises and shows the main window and runs it until it is closed.
// Returns the process's exit status.
int start_application(const WindowOptions& options, DeviceReadings& readings);

// The trends of the log at `path` in the trends window alone, until it is
// closed (tarvikw --plot), marked with the events of `journal`. Returns the
// process's exit status.
int start_plot(const std::string& path, const std::string& journal);

// A message box captioned with the program's name, before or without the
// window (a refused command line).
void show_program_message(const std::string& text);
