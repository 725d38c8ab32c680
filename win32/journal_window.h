// The journal window on Windows: the link's events newest first in a list
// view (time, device, kind, detail), filtered by two drop-down lists
// (device, kind), following new events as the monitor records them. What
// it shows is JournalView's (monitor/journal_view.h); the list view holds no
// rows of its own (LVS_OWNERDATA) and asks for the texts of the rows in
// sight, so a journal of 260,000 lines opens at once.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdint>
#include <deque>
#include <string>

#include "logbook/journal.h"
#include "monitor/journal_view.h"

class JournalWindow {
public:
    JournalWindow();
    ~JournalWindow();  // destroys the window
    JournalWindow(const JournalWindow&) = delete;
    JournalWindow& operator=(const JournalWindow&) = delete;

    // Creates the window, hidden; false when it cannot be made.
    bool create();
    void show();
    HWND window() const { return window_; }
    HWND list() const { return list_; }
    HWND device_box() const { return device_box_; }
    HWND kind_box() const { return kind_box_; }
    HWND status_line() const { return status_; }

    // Reads the journal at `path` and the files rotated from it, oldest
    // first. Lines that cannot be read are counted on the status line.
    // Returns the events read.
    std::uint64_t load(const std::string& path);
    // The session's events that the file did not hold.
    void add_missing(const std::deque<JournalEvent>& events);
    // A new event, live: the top row when the filters show it.
    void add(const JournalEvent& event);
    const JournalView& view() const { return view_; }

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT on_message(UINT message, WPARAM wparam, LPARAM lparam);
    void make_controls();
    void lay_out();
    // The list view asks for a cell's text.
    void on_get_text(NMLVDISPINFOW& info);
    void on_filter_chosen();
    // The rows changed: the list's count and what it shows.
    void show_rows();
    void update_devices();
    void update_status();

    HWND window_ = nullptr;
    HWND device_box_ = nullptr;
    HWND kind_box_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
    JournalView view_;
    std::uint64_t problems_ = 0;
    std::wstring cell_;  // the text last handed to the list view
};
