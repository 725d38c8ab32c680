// Windows: the console's Ctrl+C and Ctrl+Break are the terminal console's
// and the simulator's stop request. (Wine makes a Ctrl+C of SIGINT, which
// the program tests send; a Ctrl+Break can only be called in.)
#include <gtest/gtest.h>

#include "process/stop_signals.h"

namespace {

TEST(ConsoleEvents, CtrlCAndCtrlBreakStopTheProgramWhichEndsByItself) {
    const struct {
        const char* what;
        DWORD event;
        BOOL handled;  // else the system's default: the process ends at once
        bool stop;
    } cases[] = {
        {"Ctrl+C", CTRL_C_EVENT, TRUE, true},
        {"Ctrl+Break", CTRL_BREAK_EVENT, TRUE, true},
        {"console closed", CTRL_CLOSE_EVENT, FALSE, false},
    };
    for (const auto& c : cases) {
        stop_signals_detail::requested = false;
        EXPECT_EQ(tarvik_on_console_event(c.event), c.handled) << c.what;
        EXPECT_EQ(stop_requested().load(), c.stop) << c.what;
    }
}

TEST(ConsoleEvents, CatchingInstallsTheHandler) {
    EXPECT_FALSE(SetConsoleCtrlHandler(tarvik_on_console_event, FALSE)) << "not there before";
    catch_stop_signals();
    EXPECT_TRUE(SetConsoleCtrlHandler(tarvik_on_console_event, FALSE)) << "there once caught";
}

}  // namespace
