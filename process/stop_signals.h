// SIGINT and SIGTERM as a stop request, for the programs that run without a
// window: the terminal console and the simulated transceiver; on Windows,
// Ctrl+C and Ctrl+Break in the console. The handler only sets a
// process-wide flag, which the program's loops and its answer waits look
// at. Header-only, standard library and the system's own interface only, so
// that layers which may not use one another can both use it.
#pragma once

#include <atomic>
#include <csignal>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace stop_signals_detail {

inline std::atomic<bool> requested{false};

}  // namespace stop_signals_detail

extern "C" inline void tarvik_on_stop_signal(int) {
    stop_signals_detail::requested = true;
}

#ifdef _WIN32
// Ctrl+C and Ctrl+Break (and SIGINT sent to the program under Wine, which
// arrives as Ctrl+C) request the stop and are handled: the program ends by
// itself. Other events (the console closed, logoff) take the default way.
// Runs on a thread of its own that the system starts for the event.
extern "C" inline BOOL WINAPI tarvik_on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    stop_signals_detail::requested = true;
    return TRUE;
}
#endif

// Set from the first SIGINT or SIGTERM on, once catch_stop_signals() ran.
inline const std::atomic<bool>& stop_requested() {
    return stop_signals_detail::requested;
}

// Installs the handler for SIGINT and SIGTERM. On POSIX it goes in without
// SA_RESTART, so that a blocking call the signal interrupts returns. On
// Windows the console's Ctrl+C and Ctrl+Break are caught too. Returns the
// flag.
inline const std::atomic<bool>& catch_stop_signals() {
#ifdef _WIN32
    SetConsoleCtrlHandler(tarvik_on_console_event, TRUE);
    std::signal(SIGTERM, tarvik_on_stop_signal);
#else
    struct sigaction action {};
    action.sa_handler = tarvik_on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
    return stop_requested();
}
