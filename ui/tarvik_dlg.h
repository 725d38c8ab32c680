// The console's main window (dialog 102). It owns the device monitor and
// implements the window services over its widgets; every button, the poll
// timer, minimising, the tray icon and closing are connected to the
// monitor here. Closing by Esc, the close box or Alt+F4 writes the address
// history back to the settings file and ends the window's run; Enter in a
// field does nothing (in the identification pane it breaks the line).
#pragma once

#include <QDialog>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "monitor/alarm_events.h"
#include "monitor/device_monitor.h"
#include "monitor/window_services.h"
#include "ui/desktop_notifier.h"
#include "ui/dialog_units.h"

class QAction;
class QMenu;
class ReadingHistory;
class TrendsWindow;

// The colour a lit voltage lamp is drawn in.
constexpr Qt::GlobalColor kLitLampColour = Qt::red;

class CTarvikDlg : public QDialog, public WindowServices {
    Q_OBJECT

public:
    // Shows a message box; replaceable so that a test can record the texts.
    using MessageBoxHook = std::function<void(const std::string& text)>;
    // Whether minimising may hide the window behind a tray icon.
    using TrayCheck = std::function<bool()>;

    explicit CTarvikDlg(DeviceReadings& readings, QWidget* parent = nullptr);
    ~CTarvikDlg() override;

    // The window's initialisation, before it is first shown: the address
    // history from `settings` (may be null), the default fields, the
    // socket. `settings` must outlive the window: closing writes to it.
    void initialise(SettingsStore* settings);

    DeviceMonitor& monitor() { return monitor_; }
    const DialogUnits& units() const { return units_; }
    // The control with this ID; null for the switch slots without one.
    QWidget* control(ControlId id) const;
    QSystemTrayIcon* tray_icon() const { return tray_; }
    QAction* about_action() const { return about_action_; }
    // "Trends..." (Ctrl+T), in the context menu and the tray menu.
    QAction* trends_action() const { return trends_action_; }
    // The readings of every poll since the window opened, for the trends
    // window; that window is null until first opened.
    const ReadingHistory& history() const { return *history_; }
    TrendsWindow* trends_window() const { return trends_.get(); }

    void set_message_box_hook(MessageBoxHook hook) { message_box_hook_ = std::move(hook); }
    void set_tray_check(TrayCheck check) { tray_check_ = std::move(check); }
    // Whether the tray icon, once shown, is really there.
    void set_tray_shown_check(TrayCheck check) { tray_shown_ = std::move(check); }

    // WindowServices.
    void set_text(ControlId id, const std::string& text) override;
    std::string get_text(ControlId id) override;
    std::string get_line(ControlId id, int line) override;
    int get_check(ControlId id) override;
    void set_check(ControlId id, int state) override;
    void enable(ControlId id, bool enabled) override;
    void insert_in_list(ControlId id, int position, const std::string& text) override;
    void delete_from_list(ControlId id, int position) override;
    void add_to_list(ControlId id, const std::string& text) override;
    int list_count(ControlId id) override;
    void select_in_list(ControlId id, int position) override;
    std::string list_item(ControlId id, int position) override;
    void start_timer(int period_ms) override;
    void stop_timer() override;
    void message_box(const std::string& text) override;

public slots:
    // Esc, the close box and Alt+F4: the history is written, the run ends.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <class Widget>
    Widget* control_as(ControlId id) const;

    void setup_connections();
    void on_poll_timer();
    void on_about();
    void on_trends();
    // One poll shown: its readings go into the history, and an open trends
    // window is drawn again.
    void record_poll(bool succeeded);
    void on_tray_activated(QSystemTrayIcon::ActivationReason reason);
    void hide_in_tray();
    void show_message_box(const std::string& text);
    // An alarm event: a desktop notification, and the tray icon's state.
    void on_alarm(const AlarmEvent& event);
    // The tray icon shows the alarm variant, and its tip names the alarm,
    // while a lamp is lit or the link is lost.
    void update_tray_alarm();
    // A lit lamp (rail 0 to 5) is drawn red and its tip names the rail and
    // its limits; an unlit one looks as the dialog made it.
    void show_lamp(int rail, bool lit);

    DialogUnits units_;
    std::map<ControlId, QWidget*> controls_;
    DeviceMonitor monitor_;
    QTimer poll_timer_;  // a child named "poll_timer"
    SettingsStore* settings_ = nullptr;
    QAction* about_action_ = nullptr;
    QAction* trends_action_ = nullptr;
    std::unique_ptr<ReadingHistory> history_;
    std::unique_ptr<TrendsWindow> trends_;
    QMenu* tray_menu_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    MessageBoxHook message_box_hook_;
    TrayCheck tray_check_;
    TrayCheck tray_shown_;
    std::unique_ptr<DesktopNotifier> notifier_;
    StandingAlarm standing_alarm_;  // what the tray icon names
};
