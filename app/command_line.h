// The program's command line. With no arguments it is the console window;
// options add what the window leaves out and never change what it does.
#pragma once

#include <string>

#include "headless/headless_console.h"

enum class RunMode { kWindow, kDemo, kHeadless, kPlot, kExport, kHelp, kVersion };

struct CommandLine {
    RunMode mode = RunMode::kWindow;
    bool demo = false;         // with kHeadless: the headless demo
    HeadlessOptions headless;  // --headless and its options; its port is --port, any mode
    std::string plot_file;     // with kPlot: the log whose trends are shown
    std::string export_file;   // with kExport: the log to export
    bool export_json = false;  // with kExport: JSON Lines rather than CSV
    std::string export_out;    // with kExport: the file written; empty for stdout
};

// What the program takes, for --help and after a refused command line.
std::string usage_text();

// The program's version, as the package carries it ("0.1.0").
const char* program_version();

// What --version prints: "tarvik VERSION" and a line break.
std::string version_text();

// Returns false with the reason in `*error` for arguments the program does
// not take; the caller prints the usage and exits with status 2.
bool parse_command_line(int argc, const char* const* argv, CommandLine* line, std::string* error);
