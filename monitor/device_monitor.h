// The console's logic behind the main window: the operator's commands, the
// poll cycle, the agent address and its history, the log, and the window's
// initialisation and closing. It owns the one `AgentLink`, the polling flag
// and everything the window shows (view_state.h), which it publishes to its
// `MonitorHost` after every change; the Qt dialog, the Win32 dialog, the
// terminal front end and the tests all drive the same code.
//
// The exchange is event-driven: a handler that needs the device sends its
// request and returns to the host's event loop; the host reports the
// socket's readiness and the deadline (`on_socket_readable`, `on_deadline`,
// window_services.h), and the step the answer was for goes on from there.
// At most one exchange is in flight. Commands and ticks that arrive
// meanwhile run after it, in order, with the fields as they stood; ticks
// coalesce to one. Stop ends a poll in flight at once and drops queued ticks;
// a Set or Send KEY in flight always ends and reports. Closing (`close`)
// ends what is in flight, runs nothing queued and saves the history.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "charts/reading_history.h"
#include "device/device_readings.h"
#include "device/supply_rails.h"
#include "logbook/error_performance.h"
#include "logbook/journal.h"
#include "logbook/measurement_log.h"
#include "monitor/alarm_events.h"
#include "monitor/journal_events.h"
#include "monitor/parameter_fetch.h"
#include "monitor/settings_store.h"
#include "monitor/view_state.h"
#include "monitor/window_services.h"
#include "snmp/agent_link.h"

constexpr int kPollTimerId = 1;
constexpr int kHistorySize = 10;
// Characters taken from the address and community fields: what the link's
// host and community buffers hold besides their terminator.
constexpr int kFieldTextLimit = kLinkTextSize - 1;
constexpr int kKeyLimit = 99;  // octets of the key the device's text holds
constexpr int kMinTimerPeriodMs = 10;
constexpr int kMaxTimerPeriodMs = 2147483647;
constexpr char kDefaultInterval[] = "1000";
constexpr char kSettingsSection[] = "Main";
// Before the settings store's reason, when closing could not save the list.
constexpr char kHistoryNotSaved[] = "The address history could not be saved: ";
// Before the journal writer's reason, told once when an event could not be
// written to the journal file.
constexpr char kJournalNotWritten[] = "The journal could not be written: ";
// The journal events of this session the monitor keeps (journal_events()).
constexpr size_t kJournalEventsKept = 10000;

// Position of the history entry that is `text`, letters compared without
// regard to case; -1 when none is. Whole entries only: "10.0.0.1" is not
// "10.0.0.12".
int find_history_entry(const std::vector<std::string>& history, const std::string& text);

// The decimal integer at the start of the interval text: blanks skipped, a
// sign allowed, no digit gives 0; saturates instead of overflowing.
long long parse_interval(const std::string& text);

// The period the poll timer runs at for a parsed interval: 0 to 9 ms run at
// 10 ms; above 2147483647 ms, and any negative interval (a timer service
// taking the period unsigned), at 2147483647 ms.
int timer_period_ms(long long interval);

// Why `key` is not sent: "the key is N octets long; at most 99 can be
// sent" for a key the device's text cannot hold whole; empty otherwise.
// A cut key would differ from the one typed without a word.
std::string key_length_refusal(const std::string& key);

// Set before any answered poll of the device at the address box's text.
constexpr char kSetRefusedUnread[] =
    "Set refused: this device's switches have not been read yet; Start, and Set once a poll "
    "has answered";

// What the operator is shown after Set or Send KEY (`command` names it):
// empty when the device accepted `request`; else "<command> failed: " and,
// without an answer, why none came (`no_answer`, as `exchange_fault_text`
// gives it: "no answer", "the answer was too long", ...), or "<error name>
// at binding <index>", or "the answer does not match the request" when
// `answer` is no GetResponse echoing the names and the values sent (type,
// octets and length).
std::string command_failure_text(const std::string& command, const SnmpMessage& request,
                                 const SnmpMessage* answer, const std::string& no_answer);

class DeviceMonitor {
public:
    DeviceMonitor(MonitorHost& host, DeviceReadings& readings);
    // Closes the link's socket.
    ~DeviceMonitor();
    DeviceMonitor(const DeviceMonitor&) = delete;
    DeviceMonitor& operator=(const DeviceMonitor&) = delete;

    // The port used when an address names none (161 unless the owner sets it).
    void set_default_port(uint16_t port) { default_port_ = port; }

    // Receives each alarm event (alarm_events.h) once a poll is shown and
    // logged, in the order the tracker gives them. Without a listener the
    // events are still tracked, so a listener set later sees transitions
    // only.
    using AlarmListener = std::function<void(const AlarmEvent&)>;
    void set_alarm_listener(AlarmListener listener) { alarm_listener_ = std::move(listener); }

    // The journal file each event is appended to; "" (the start) writes
    // none. A file that cannot be written is told once (kJournalNotWritten),
    // and polling goes on.
    void set_journal(const std::string& path);
    // Receives each journal event after it is written (or not), in order.
    using JournalListener = std::function<void(const JournalEvent&)>;
    void set_journal_listener(JournalListener listener) { journal_listener_ = std::move(listener); }
    // This session's events, oldest first: the last kJournalEventsKept.
    const std::deque<JournalEvent>& journal_events() const { return journal_events_; }

    // The time, in seconds since the epoch, of each poll shown: its log
    // line, the last answer, the trends (the system's clock unless the host
    // hands its own).
    void set_clock(std::function<double()> clock) { clock_ = std::move(clock); }

    // The window's initialisation: the address history from `settings` (may
    // be null; its notice, if any, told first), the default community and
    // interval, polling off, and the socket opened once ("Couldn't open
    // snmp" when it cannot be).
    void initialise(SettingsStore* settings);
    // The window's closing: the address list written back as "ip0" onwards,
    // the values after it up to "ip9" removed; a failure is told with its
    // reason.
    void save_history(SettingsStore& settings);

    // The window is closing: what is in flight ends unreported, nothing
    // queued runs, polling stops (journaled as a Stop), the history goes to
    // `settings` (may be null), and from then on the monitor takes no
    // command, tick or answer.
    void close(SettingsStore* settings);
    bool closed() const { return closed_; }

    // The fields filled in for the operator from a command line, as the
    // history's first entry fills the address box at initialisation; an
    // empty text leaves its field as it is. A log file's name also checks
    // "Log to file".
    void fill_fields(const std::string& address, const std::string& community,
                     const std::string& interval, const std::string& log_file = std::string());

    // A button: `handler` (one of kButtonHandlers) runs with the fields as
    // given, now, or after the exchange in flight, in the order given. Stop
    // also ends a poll in flight at once and drops the ticks queued. Hosts
    // run every handler through here.
    using Handler = void (DeviceMonitor::*)();
    void command(const OperatorInput& input, Handler handler);
    // The fields the next handler reads; `command` sets them.
    void take_input(const OperatorInput& input) { input_ = input; }
    const OperatorInput& input() const { return input_; }
    // The operator closed the message box with this text; the next one
    // waiting is shown.
    void message_box_closed(const std::string& text);

    // The host's events while an exchange is in flight (window_services.h):
    // the socket is readable, or the wait's deadline has passed. Outside an
    // exchange they do nothing.
    void on_socket_readable();
    void on_deadline();

    // Buttons; run them through `command`.
    void on_start();
    void on_stop();
    void on_get();
    void on_set();
    void on_send_key();
    void on_reset();

    // A click on voltage lamp `rail` does nothing: a lamp shows its latch,
    // which only Reset clears. The view goes to the host again, so the lamp
    // is drawn as it stands whatever the click did to the control.
    void on_lamp_click(int rail);

    // The poll timer; any identifier polls. A tick during an exchange polls
    // once after it.
    void on_timer(int timer_id);
    // One poll: five runs, totals, panes, check boxes, lamps, one log line.
    // Does nothing while polling is off or another exchange is in flight.
    void poll_tick();
    // Copies address and community from the window into the link, resolves
    // the agent, and records the address in the history.
    void refresh_agent_link();
    void update_address_history();

    bool polling() const { return polling_ != 0; }
    // What the window shows now.
    const ViewState& view() const { return view_; }
    // Whether a command or poll is running (an exchange may be waiting).
    bool busy() const { return busy_ || exchange_.has_value(); }
    // Whether an exchange waits for its answer.
    bool waiting() const { return exchange_.has_value(); }
    // Whether the last poll shown had its answers; false before any.
    bool last_poll_answered() const { return last_poll_answered_; }
    // Whether the last read of the identification items was answered.
    bool identification_answered() const { return identification_answered_; }
    AgentLink& link() { return link_; }
    const DeviceReadings& readings() const { return readings_; }
    // Every poll shown, answered or not, once, at the monitor's time: what
    // the trends of every host draw.
    const ReadingHistory& trends() const { return trends_; }
    // The link's error performance over every poll shown since the device
    // was last changed, in 15-minute bins.
    const ErrorPerformance& quality() const { return quality_; }

private:
    class Published;
    struct QueuedCommand {
        OperatorInput input;
        Handler handler;  // null: a timer tick
    };
    // What the exchange in flight is for; each names the step its answer
    // goes to.
    enum class Purpose {
        kStartIdentification,
        kLogIdentification,  // the header block of another agent, before its first poll
        kGetIdentification,
        kPollRun,
        kSet,
        kSendKey,
    };
    struct Exchange {
        Purpose purpose = Purpose::kPollRun;
        int run = 0;  // kPollRun: the position in kPollRuns
        MessagePtr request;
        int32_t id = 0;
        OperatorInput input;  // the fields the command was given with
        std::string key;      // kSendKey: the key sent
        int reports_before = 0;
    };
    // Runs the queued commands and ticks in order, each publishing its view,
    // until one leaves an exchange in flight.
    void run_queue();
    // Sends `request` for `purpose` and returns; the answer, or its absence,
    // reaches `finish_exchange` from the host's events (at once when nothing
    // could be sent).
    void send_exchange(Purpose purpose, MessagePtr request, int run = 0,
                       const std::string& key = std::string());
    // The exchange in flight ended with `answer` (null: none): its step goes on.
    void finish_exchange(MessagePtr answer);
    // Drops the exchange in flight without showing anything of it.
    void abandon_exchange();
    void after_start_identification();
    // The identification items of the readings into the view.
    void take_identification();
    void send_poll_run(int run);
    void finish_poll(bool succeeded);
    void finish_write(const Exchange& done, const SnmpMessage* answer);
    // Judges a fetch's answer as `::fetch_parameters` does, telling an
    // unusable answer once on the standard error stream.
    bool take_fetch(const SnmpMessage& request, MessagePtr answer);
    // The view as it stands goes to the host, with its status line and
    // standing alarm brought up to date.
    void publish();
    // A message box, unless one with the same text is open or waiting.
    void tell(const std::string& text, const std::string& detail = std::string());
    void show_next_box();
    // The lamps as the latches stand; `answered`: after an answered poll
    // (else a latched lamp is not known now).
    void show_lamps(bool answered);
    // Tells the operator, once until a write succeeds or the next Start,
    // that the log is not being written.
    void note_log_result(LogWrite result);
    void add_to_totals(bool succeeded);
    void show_poll_result(bool succeeded, double now);
    void report_alarms(bool succeeded);
    // A new agent address: the panes and lamps that describe the previous
    // device are emptied, so nothing of it shows as the new one's.
    void forget_previous_device();
    // The first poll of another agent while logging: its own header block,
    // with the identification read as Start reads it.
    void log_new_agent();
    // Stamps `event` with the monitor's time, the agent's address and the
    // device's serial number, writes it to the journal, keeps it and hands
    // it to the listener.
    void record(JournalEvent event);
    // The identification items were read: the serial number known, and a
    // changed identification journaled.
    void note_identification();

    MonitorHost& host_;
    DeviceReadings& readings_;
    ViewState view_;
    OperatorInput input_;
    std::deque<QueuedCommand> queue_;
    bool busy_ = false;           // a handler or step runs now
    bool running_queue_ = false;  // run_queue is on the stack
    bool closed_ = false;
    std::optional<Exchange> exchange_;  // the one in flight
    std::string open_box_;              // the box shown now; empty: none
    std::deque<std::string> waiting_boxes_;
    std::function<double()> clock_;
    ReadingHistory trends_;
    ErrorPerformance quality_;
    StandingAlarm standing_alarm_;
    AgentLink link_;
    int32_t polling_ = 0;
    bool last_poll_answered_ = false;
    bool identification_answered_ = false;
    uint16_t default_port_ = kDefaultAgentPort;
    int period_ms_ = 0;  // the poll timer's period since the last Start
    // The switches as the device last reported them in a successful poll, or
    // took them in a Set: Set writes the ones the window has no box for with
    // these values, and is refused until a poll of this address has answered.
    int32_t device_switches_[kControlStateCount] = {};
    bool switches_read_ = false;
    int transport_reports_ = 0;  // message boxes the link has raised so far
    bool log_trouble_shown_ = false;
    // The agent changed while polling: the log needs a header block of the
    // new device before its first line.
    bool log_header_due_ = false;
    // The address box's text when the link was last pointed at the agent,
    // for the alarms' texts.
    std::string agent_address_;
    bool address_taken_ = false;  // false until the first refresh of the link
    // Why the last fetch gave no readings, and the last refused answer told
    // on the standard error stream: the same refusal is told once, until a
    // poll succeeds or the address changes.
    FetchFault last_fault_;
    std::string refusal_told_;
    AlarmTracker alarms_;
    AlarmListener alarm_listener_;
    JournalTracker journal_;
    // The serial number of the device at the address, once read; the link
    // alarm standing or last raised, the cause of an outage.
    std::string serial_;
    std::string link_alarm_text_;
    std::optional<JournalWriter> journal_writer_;
    bool journal_trouble_told_ = false;
    JournalListener journal_listener_;
    std::deque<JournalEvent> journal_events_;
};

// The dialog's buttons and the handler each one runs, for every front end.
struct ButtonHandler {
    ControlId id;
    void (DeviceMonitor::*handler)();
};
inline constexpr ButtonHandler kButtonHandlers[] = {
    {ControlId::kStartButton, &DeviceMonitor::on_start},
    {ControlId::kStopButton, &DeviceMonitor::on_stop},
    {ControlId::kGetButton, &DeviceMonitor::on_get},
    {ControlId::kSetButton, &DeviceMonitor::on_set},
    {ControlId::kSendKeyButton, &DeviceMonitor::on_send_key},
    {ControlId::kResetButton, &DeviceMonitor::on_reset},
};
