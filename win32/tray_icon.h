// The notification-area icon of the main window: added when the window is
// minimised into it, removed when the window comes back. Its tip is
// "Tarvik Monitor", or "Tarvik Monitor: <alarm>" with the alarm icon while
// an alarm stands; alarms that arrive while it is there show as balloons.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <functional>
#include <string>

// The tray icon's callback message to the main window.
constexpr UINT kTrayMessage = WM_USER + 75;

// Icon resources: the application's icon, the tray icon and its alarm
// variant. Where one is missing, a stock icon stands in for it.
constexpr int kMainIconId = 128;
constexpr int kTrayIconId = 129;
constexpr int kTrayAlarmIconId = 130;

// The icon resource `id` at `size` pixels (0: the system's icon size).
HICON load_icon(int id, int size);

class TrayIcon {
public:
    // Carries out one Shell_NotifyIconW call; tests replace it.
    using Shell = std::function<bool(DWORD message, NOTIFYICONDATAW* data)>;

    explicit TrayIcon(HWND owner);
    ~TrayIcon();  // removes the icon
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    void set_shell(Shell shell) { shell_ = std::move(shell); }

    // Adds the icon; false when the notification area refused it.
    bool add();
    void remove();
    bool shown() const { return shown_; }

    // An alarm standing (`alarm` names it) or none (empty): the icon and tip
    // follow, at once when the icon is shown.
    void set_alarm(const std::string& alarm);
    // A balloon over the icon; nothing when the icon is not shown.
    void notify(const std::string& title, const std::string& text);

    std::string tip() const;
    HICON icon() const { return alarm_.empty() ? normal_icon_ : alarm_icon_; }
    HICON alarm_icon() const { return alarm_icon_; }

private:
    NOTIFYICONDATAW data(UINT flags) const;

    HWND owner_;
    Shell shell_;
    HICON normal_icon_;
    HICON alarm_icon_;
    std::string alarm_;
    bool shown_ = false;
};
