// The window demo's simulated transceiver takes the simulator's control
// commands ("rail 12v 14500", "silent on", ...) on the console's standard
// input, so an operator can make it misbehave from the terminal that
// started it and watch the lamps, alarms and trends respond.
#pragma once

#include <atomic>
#include <string>
#include <thread>

struct CommandLine;
class SimulatedTransceiver;

// Starts the demo's simulated transceiver on a free loopback port and points
// the command line's address and port at it, replaying the command line's
// log when it names one; false, with a line on standard error, when it
// cannot start or the log cannot be read.
bool start_demo_device(SimulatedTransceiver& sim, CommandLine& line);

// The window's title while the demo's device replays `log`:
// "Tarvik v7310QX-2 — replay of FILE", FILE without its folders.
std::string replay_title(const std::string& log);

// Runs one line of the simulator's control language against the demo's
// device and returns what to print. The line may start with the word `sim`,
// as the terminal demo's command takes it; `quit` ends nothing, since the
// device lives as long as the console, and the reply says so.
std::string run_demo_control(SimulatedTransceiver& sim, const std::string& line);

class DemoControls {
public:
    // Starts reading standard input on a thread of its own; each line is run
    // against `sim` and the reply printed on standard output.
    explicit DemoControls(SimulatedTransceiver& sim);
    ~DemoControls();  // stops the reading within one stop check
    DemoControls(const DemoControls&) = delete;
    DemoControls& operator=(const DemoControls&) = delete;

private:
    void run();

    SimulatedTransceiver& sim_;
    std::atomic<bool> stop_{false};
    std::thread reader_;  // last: started once the members above are there
};
