// The console's main window on Windows (dialog 102), made from the control
// table in memory. It owns the device monitor and draws the monitor's view
// in its controls; each button hands the monitor a command with the fields
// as they stand, and the poll timer (timer 1), the system menu's About item,
// minimising into the tray icon and closing are connected to the monitor
// here. An exchange waits in the thread's message loop (the socket's
// readiness by WSAAsyncSelect, the deadline by a one-shot timer), so typing,
// Stop, closing, and every loop of Windows' own (boxes, menus, moving the
// window) go on while the device answers.
//
// Closing by Esc, the close box, Alt+F4, the system menu's Close, log-off
// or shutdown writes the address history to the settings file. Enter in a
// field does nothing (in the identification pane it breaks the line); on a
// focused push button it clicks the button.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "charts/reading_history.h"
#include "monitor/alarm_events.h"
#include "monitor/device_monitor.h"
#include "monitor/window_services.h"
#include "win32/journal_window.h"
#include "win32/tray_icon.h"
#include "win32/trends_window.h"

// The About command of the system menu and the tray icon's menu.
constexpr UINT kAboutCommand = 16;
// The Trends command of the system menu (also Ctrl+T).
constexpr UINT kTrendsCommand = 32;
// The Journal command of the system menu (also Ctrl+J).
constexpr UINT kJournalCommand = 48;

class CTarvikDlg : public MonitorHost {
public:
    // Shows a message box; replaceable so that a test can record the texts.
    using MessageBoxHook = std::function<void(const std::string& text)>;

    explicit CTarvikDlg(DeviceReadings& readings);
    ~CTarvikDlg() override;  // destroys the window, if still there
    CTarvikDlg(const CTarvikDlg&) = delete;
    CTarvikDlg& operator=(const CTarvikDlg&) = delete;

    // Creates the window, hidden, and initialises it: the address history
    // from `settings` (may be null; it must outlive the window, since
    // closing writes to it), the default fields, the socket. False when the
    // window cannot be made.
    bool create(SettingsStore* settings);
    // Shows the window and brings it to the foreground.
    void show();
    // Runs the message loop until the window is closed.
    void run();
    // One message of the thread's queue, as the loop handles it.
    void dispatch(MSG& message);
    // Whether the window was closed (its run is over).
    bool closed() const { return closed_; }

    HWND window() const { return window_; }
    HWND control(ControlId id) const;
    DeviceMonitor& monitor() { return monitor_; }
    TrayIcon& tray() { return *tray_; }
    // The tray icon's menu: the About item.
    HMENU tray_menu() const { return tray_menu_; }
    // The tooltip control of the voltage lamps; each lamp is a tool of its own.
    HWND lamp_tips() const { return lamp_tips_; }

    void set_message_box_hook(MessageBoxHook hook) { message_box_hook_ = std::move(hook); }

    // Every poll, answered or not, as the trends show it.
    const ReadingHistory& history() const { return monitor_.trends(); }
    // Opens (or brings back) the trends window on the polls; null until then.
    void on_trends();
    TrendsWindow* trends_window() { return trends_.get(); }
    // Opens (or brings back) the journal window; null until then.
    void on_journal();
    JournalWindow* journal_window() { return journal_.get(); }
    // The journal file the monitor appends to and the journal window reads;
    // "" writes none.
    void set_journal(const std::string& path);

    // The status line below the dialog's controls.
    HWND status_line() const { return status_; }

    // The fields and boxes as they stand: what a command carries.
    OperatorInput input() const;
    // How lamp `rail` is drawn now.
    LampState lamp_state(int rail) const { return drawn_.lamps[rail]; }
    // Whether `pane` is drawn as old.
    bool drawn_stale(ControlId pane) const { return is_stale(drawn_, pane); }

    // MonitorHost.
    void draw(const ViewState& view) override;
    void start_timer(int period_ms) override;
    void stop_timer() override;
    void await_answer(std::intptr_t socket, int wait_ms) override;
    void end_wait() override;
    void message_box(const std::string& text) override;

    // The clock the answer wait runs by: the steady clock, plus the steps
    // `advance` took. The deadline timer fires at the clock's deadline.
    using Clock = std::chrono::steady_clock;
    Clock::time_point now() const { return Clock::now() + offset_; }
    // Steps the clock by `step`: a deadline that falls due meanwhile is
    // delivered at once (an answer already waiting is still taken), so a
    // test of a silence need not wait it out.
    void advance(std::chrono::milliseconds step);

private:
    // A control's text (UTF-8 here, UTF-16 in the control) and a box's
    // state: for drawing the view and for reading what a command carries,
    // never to decide what to draw.
    void set_text(ControlId id, const std::string& text);
    std::string get_text(ControlId id) const;
    bool get_check(ControlId id) const;
    void set_check(ControlId id, bool state);

    static INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR on_message(UINT message, WPARAM wparam, LPARAM lparam);

    void on_init_dialog();
    void on_command(int id);
    // Closing by any route: the history written, polling and any waiting
    // exchange ended, the window gone.
    void on_cancel();
    void save_history();
    void on_size(WPARAM type);
    void on_tray_notify(LPARAM mouse_message);
    void on_tray_menu(LPARAM at);
    void on_about();
    void on_poll_timer();
    void on_alarm(const AlarmEvent& event);
    // Each event the monitor records: a row of an open journal window, a
    // marker of the trends.
    void on_journal_event(const JournalEvent& event);
    // The tray icon shows the alarm variant, and its tip names the alarm,
    // while a lamp is lit or the link is lost.
    void update_tray_alarm();
    // The lamps: a lit one is drawn red and its tip names the rail and its
    // limits; an unlit one looks as the dialog made it, without a tip.
    void make_lamps();
    void show_lamp(int rail);
    void make_status_line();
    void draw_history(const std::vector<std::string>& history);
    // Shows the boxes waiting, one after the other.
    void on_show_boxes();
    // The text colour of a pane control, as it is drawn now.
    INT_PTR pane_colour(HWND pane, HDC dc);

    DeviceMonitor monitor_;
    ViewState drawn_;  // the view as last drawn
    bool drawn_once_ = false;
    HWND status_ = nullptr;
    std::vector<std::string> waiting_boxes_;  // to be shown by the window's loop
    SettingsStore* settings_ = nullptr;
    HWND window_ = nullptr;
    HICON big_icon_ = nullptr;
    HICON small_icon_ = nullptr;
    HMENU tray_menu_ = nullptr;
    HWND lamp_tips_ = nullptr;
    std::unique_ptr<TrayIcon> tray_;
    std::intptr_t watched_socket_ = -1;  // the socket WSAAsyncSelect reports on
    bool waiting_ = false;               // an answer is awaited until `deadline_`
    Clock::time_point deadline_;
    Clock::duration offset_{0};  // the steps `advance` took
    bool closed_ = false;
    bool about_asked_ = false;  // the About box is asked for or open
    MessageBoxHook message_box_hook_;
    std::unique_ptr<TrendsWindow> trends_;
    std::unique_ptr<JournalWindow> journal_;
    std::string journal_path_;
};
