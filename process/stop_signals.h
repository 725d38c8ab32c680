// SIGINT and SIGTERM as a stop request, for the programs that run without a
// window: the terminal console and the simulated transceiver; on Windows,
// Ctrl+C and Ctrl+Break in the console. The handler only sets a
// process-wide flag, which the program's loops and its answer waits look
// at, and may write one octet to a wake-up descriptor so that a poll() on
// its other end returns at once however the signal and the wait fall.
// Header-only, standard library and the system's own interface only, so
// that layers which may not use one another can both use it.
#pragma once

#include <atomic>
#include <cerrno>
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
inline std::atomic<int> wake_fd{-1};

}  // namespace stop_signals_detail

extern "C" inline void tarvik_on_stop_signal(int) {
    const int saved_errno = errno;
    stop_signals_detail::requested = true;
#ifndef _WIN32
    const int fd = stop_signals_detail::wake_fd;
    if (fd >= 0) {
        const char octet = 1;
        if (write(fd, &octet, 1) < 0) {
            // Full: a wake-up is already waiting.
        }
    }
#endif
    errno = saved_errno;
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
// SA_RESTART, so that a blocking call the signal interrupts returns, and
// each signal writes one octet to `wake_fd` when it is not negative (a
// non-blocking pipe's write end). On Windows the console's Ctrl+C and
// Ctrl+Break are caught instead (`wake_fd` is not used). Returns the flag.
inline const std::atomic<bool>& catch_stop_signals(int wake_fd = -1) {
    stop_signals_detail::wake_fd = wake_fd;
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
