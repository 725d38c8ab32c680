// The seam between the monitor's logic and a window.
//
// The monitor is a library: the Qt dialog is one host of it, the Win32
// dialog, the terminal front end and the tests are others. Controls are
// named by the IDs of the console's control table. Strings cross the seam as
// UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "device/control_ids.h"

struct ViewState;

// What the monitor asks of its host besides drawing: the poll timer, the
// wait for an answer, and message boxes. The host draws each view state it is shown and hands the
// monitor every command with the fields as they stood (view_state.h).
class MonitorHost {
public:
    virtual ~MonitorHost() = default;

    // The monitor's view changed; the host draws it (a copy, if it keeps it).
    virtual void draw(const ViewState& view) = 0;

    // Starts (or restarts) the poll timer; its ticks reach the monitor's
    // `on_timer` through the host's event loop, at most one pending at a time.
    virtual void start_timer(int period_ms) = 0;
    // No further tick is generated; one already queued may still arrive.
    virtual void stop_timer() = 0;

    // The monitor sent a request on `socket` and awaits its answer; it
    // returns to the host's event loop at once. Until `end_wait`, the host
    // calls the monitor's `on_socket_readable` whenever the socket is
    // readable (a QSocketNotifier, WSAAsyncSelect, poll()), and its
    // `on_deadline` once, `wait_ms` after this call (a one-shot timer). The
    // host's own loops (boxes, menus, moving the window) go on delivering
    // both.
    virtual void await_answer(std::intptr_t socket, int wait_ms) = 0;
    virtual void end_wait() = 0;

    // Shows a box with the text (its first line the fixed message, a second
    // one naming the file or host and the reason), an OK button and a
    // warning icon, and returns without waiting for it: polling goes on
    // while it is open. The host calls the monitor's `message_box_closed`
    // with the same text once the operator closes it; the monitor shows one
    // box at a time, the next once the last has closed.
    virtual void message_box(const std::string& text) = 0;
};
