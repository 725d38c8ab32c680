// SIGINT and SIGTERM as a stop request, for every program: the terminal
// console, the simulated transceiver and the window; on Windows, Ctrl+C and
// Ctrl+Break in the console. The handler only sets a process-wide flag,
// which the program's loops and its answer waits look at, and, where an
// event loop has asked for it, writes one byte to that loop's wake-up
// descriptor. Header-only, standard library and the system's own interface
// only, so that layers which may not use one another can all use it.
#pragma once

#include <atomic>
#include <csignal>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace stop_signals_detail {

inline std::atomic<bool> requested{false};
// The write end of an event loop's wake-up pipe, or -1.
inline std::atomic<int> wake_fd{-1};

}  // namespace stop_signals_detail

extern "C" inline void tarvik_on_stop_signal(int) {
    stop_signals_detail::requested = true;
#ifndef _WIN32
    const int fd = stop_signals_detail::wake_fd.load();
    if (fd >= 0) {
        const char byte = 's';
        const ssize_t written = write(fd, &byte, 1);
        (void)written;  // a full pipe already holds a wake-up
    }
#endif
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

// Forgets an earlier stop request: a new run of the window starts afresh.
inline void clear_stop_request() {
    stop_signals_detail::requested = false;
}

// After each stop request the handler writes one byte to `fd` (the write end
// of a non-blocking pipe whose read end an event loop watches), since a
// signal handler may do nothing more. -1 stops it. POSIX only.
inline void wake_on_stop_signal(int fd) {
    stop_signals_detail::wake_fd = fd;
}

// Gives SIGINT and SIGTERM back their default: the process ends at once.
inline void release_stop_signals() {
#ifdef _WIN32
    SetConsoleCtrlHandler(tarvik_on_console_event, FALSE);
#endif
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}
