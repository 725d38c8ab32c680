// The console's main window (dialog 102). It owns the device monitor and
// draws the monitor's view in its widgets; every button hands the monitor a
// command with the fields as they stand, and the poll timer, minimising, the
// tray icon and closing are connected to the monitor here. An exchange
// waits in the window's own event loop (a socket notifier and a one-shot
// timer hand the monitor the answer or the deadline), so typing, Stop and
// closing are never held up by the network. Closing by Esc, the close box
// or Alt+F4 is the monitor's close: the address history is written back to
// the settings file and the window's run ends; Enter in a field does
// nothing (in the identification pane it breaks the line).
#pragma once

#include <QDialog>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "monitor/alarm_events.h"
#include "monitor/device_monitor.h"
#include "monitor/window_services.h"
#include "ui/desktop_notifier.h"
#include "ui/dialog_units.h"

class QAction;
class QLabel;
class QMenu;
class QMessageBox;
class QSocketNotifier;
class ReadingHistory;
class TrendsWindow;
class JournalWindow;

// The colour a lit voltage lamp is drawn in, and the one of a lamp whose
// latch stands while the device does not answer (not known now).
constexpr Qt::GlobalColor kLitLampColour = Qt::red;
constexpr QRgb kNotKnownLampColour = 0xFFB000;

class CTarvikDlg : public QDialog, public MonitorHost {
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
    // The status line below the dialog's controls.
    QLabel* status_line() const { return status_; }
    QSystemTrayIcon* tray_icon() const { return tray_; }
    QAction* about_action() const { return about_action_; }
    // "Trends..." (Ctrl+T), in the context menu and the tray menu.
    QAction* trends_action() const { return trends_action_; }
    // The readings of every poll since the window opened, for the trends
    // window; that window is null until first opened.
    const ReadingHistory& history() const { return monitor_.trends(); }
    TrendsWindow* trends_window() const { return trends_.get(); }
    // "Journal..." (Ctrl+J), beside "Trends...": the journal window, null
    // until first opened.
    QAction* journal_action() const { return journal_action_; }
    JournalWindow* journal_window() const { return journal_.get(); }
    // The journal file the monitor appends to and the journal window reads;
    // "" writes none.
    void set_journal(const std::string& path);

    void set_message_box_hook(MessageBoxHook hook) { message_box_hook_ = std::move(hook); }
    void set_tray_check(TrayCheck check) { tray_check_ = std::move(check); }
    // Whether the tray icon, once shown, is really there.
    void set_tray_shown_check(TrayCheck check) { tray_shown_ = std::move(check); }

    // The fields and boxes as they stand: what a command carries.
    OperatorInput input() const;

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

public slots:
    // Esc, the close box and Alt+F4: the history is written, the run ends.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <class Widget>
    Widget* control_as(ControlId id) const;
    // A widget's text as drawn or typed (UTF-8; the panes break lines with
    // "\r\n"), and a box's state: for drawing the view and for reading
    // what a command carries, never to decide what to draw.
    void set_text(ControlId id, const std::string& text);
    std::string get_text(ControlId id) const;
    bool get_check(ControlId id) const;
    void set_check(ControlId id, bool state);

    void setup_connections();
    void on_poll_timer();
    void on_about();
    void on_trends();
    void on_journal();
    // Each event the monitor records: a row of an open journal window, a
    // marker of the trends.
    void on_journal_event(const JournalEvent& event);
    // One poll shown (the monitor has put it in the history): an open
    // trends window is drawn again.
    void refresh_trends();
    void on_tray_activated(QSystemTrayIcon::ActivationReason reason);
    void hide_in_tray();
    void show_message_box(const std::string& text);
    // An alarm event: a desktop notification, and the tray icon's state.
    void on_alarm(const AlarmEvent& event);
    // The tray icon shows the alarm variant, and its tip names the alarm,
    // while a lamp is lit or the link is lost.
    void update_tray_alarm();
    // A lit lamp (rail 0 to 5) is drawn red, one not known now amber, each
    // with its tip; a clear one looks as the dialog made it, without a tip.
    void show_lamp(int rail, LampState state);
    // A pane kept from an earlier poll is drawn in the disabled text colour.
    void show_stale(ControlId pane, bool stale);
    void draw_history(const std::vector<std::string>& history);

    DialogUnits units_;
    std::map<ControlId, QWidget*> controls_;
    QLabel* status_ = nullptr;
    DeviceMonitor monitor_;
    ViewState drawn_;  // the view as last drawn
    bool drawn_once_ = false;
    std::vector<QPointer<QMessageBox>> boxes_;  // open message boxes
    QTimer poll_timer_;                         // a child named "poll_timer"
    QTimer answer_deadline_;                    // one-shot, while an exchange waits
    bool waiting_ = false;                      // an answer is awaited until `deadline_`
    Clock::time_point deadline_;
    Clock::duration offset_{0};                // the steps `advance` took
    QSocketNotifier* answer_ready_ = nullptr;  // the link's socket, while one waits
    SettingsStore* settings_ = nullptr;
    QAction* about_action_ = nullptr;
    QPointer<QDialog> about_;  // the About box while it is open
    QAction* trends_action_ = nullptr;
    std::unique_ptr<TrendsWindow> trends_;
    QAction* journal_action_ = nullptr;
    std::unique_ptr<JournalWindow> journal_;
    std::string journal_path_;
    QMenu* tray_menu_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    MessageBoxHook message_box_hook_;
    TrayCheck tray_check_;
    TrayCheck tray_shown_;
    std::unique_ptr<DesktopNotifier> notifier_;
};
