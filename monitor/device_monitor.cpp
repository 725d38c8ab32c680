#include "monitor/device_monitor.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>

#include "device/panes.h"
#include "device/parameter_catalog.h"
#include "device/supply_rails.h"
#include "device/text_format.h"

namespace {

// The first `limit` characters of a field's text.
std::string field_text(std::string text, size_t limit = kFieldTextLimit) {
    if (text.size() > limit) {
        text.resize(limit);
    }
    return text;
}

bool equal_ignoring_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The panes that keep their text through a poll without answer.
constexpr ControlId kKeptPanes[] = {ControlId::kRxPane, ControlId::kStatisticPane,
                                    ControlId::kLinkPane};

// The state of the Radio or Heater box as the operator left it.
int box_input(const OperatorInput& input, ControlId box) {
    return (box == ControlId::kRadioCheckBox ? input.radio : input.heater) ? 1 : 0;
}

// Whether each binding of `answer` carries the value written by the binding
// of `request` in the same place: the same type, octets and length, and a
// number the decoder read whole. Names are compared elsewhere.
bool echoes_values(const SnmpMessage& request, const SnmpMessage& answer) {
    const VarBinding* got = answer.bindings;
    for (const VarBinding* sent = request.bindings; sent != nullptr && got != nullptr;
         sent = sent->next, got = got->next) {
        if (got->type != sent->type || got->past_limits ||
            got->value_length != sent->value_length ||
            (sent->value_length > 0 &&
             (got->value == nullptr ||
              std::memcmp(got->value, sent->value, static_cast<size_t>(sent->value_length)) !=
                  0))) {
            return false;
        }
    }
    return true;
}

// What an alarm names when the address box was empty: the local computer.
constexpr char kEmptyAddress[] = "127.0.0.1 (no address given)";

// Copies as much of `text` as the array holds with its terminator.
template <size_t N>
void copy_text(char (&dest)[N], const std::string& text) {
    const size_t length = text.size() < N ? text.size() : N - 1;
    std::memcpy(dest, text.data(), length);
    dest[length] = '\0';
}

}  // namespace

int find_history_entry(const std::vector<std::string>& history, const std::string& text) {
    for (size_t i = 0; i < history.size(); ++i) {
        if (equal_ignoring_case(history[i], text)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

long long parse_interval(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        if (value > (LLONG_MAX - digit) / 10) {
            return negative ? LLONG_MIN : LLONG_MAX;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

int timer_period_ms(long long interval) {
    if (interval < 0 || interval > kMaxTimerPeriodMs) {
        return kMaxTimerPeriodMs;
    }
    if (interval < kMinTimerPeriodMs) {
        return kMinTimerPeriodMs;
    }
    return static_cast<int>(interval);
}

std::string key_length_refusal(const std::string& key) {
    if (key.size() <= static_cast<size_t>(kKeyLimit)) {
        return std::string();
    }
    return "the key is " + std::to_string(key.size()) + " octets long; at most " +
           std::to_string(kKeyLimit) + " can be sent";
}

std::string command_failure_text(const std::string& command, const SnmpMessage& request,
                                 const SnmpMessage* answer, const std::string& no_answer) {
    if (answer == nullptr) {
        return command + " failed: " + (no_answer.empty() ? kNoAnswerAlarm : no_answer);
    }
    // Only a GetResponse carries the device's verdict; an echo of the
    // request, or a stranger's datagram, says nothing about the write.
    if (answer->pdu_type == kPduGetResponse && answer->error_status != 0) {
        return command + " failed: " + error_status_name(answer->error_status) + " at binding " +
               std::to_string(answer->error_index);
    }
    if (!answer_mismatch(request, *answer).empty() || !echoes_values(request, *answer)) {
        return command + " failed: the answer does not match the request";
    }
    return std::string();
}

DeviceMonitor::DeviceMonitor(MonitorHost& host, DeviceReadings& readings)
    : host_(host), readings_(readings), clock_([] {
          return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
              .count();
      }) {
    link_.report = [this](const std::string& text) {
        ++transport_reports_;
        // An address that does not resolve is named, with the reason the
        // link gave (": " and the reason); the rest are about the link itself.
        const std::string resolve = kResolveFailure;
        if (text.compare(0, resolve.size(), resolve) == 0) {
            tell(resolve, std::string(link_.host, strnlen(link_.host, sizeof link_.host)) +
                              text.substr(resolve.size()));
        } else {
            tell(text);
        }
    };
    for (const ReadingPane& pane : kReadingPanes) {
        view_.panes[pane.id];
    }
    view_.panes[ControlId::kIdentificationPane];
    view_.status = status_text(view_);
}

void DeviceMonitor::tell(const std::string& text, const std::string& detail) {
    const std::string shown = message_text(text, detail);
    // A box still open or waiting is not raised again: a fault that repeats
    // every poll must not pile boxes up.
    if (shown == open_box_ ||
        std::find(waiting_boxes_.begin(), waiting_boxes_.end(), shown) != waiting_boxes_.end()) {
        return;
    }
    waiting_boxes_.push_back(shown);
    show_next_box();
}

void DeviceMonitor::show_next_box() {
    // One box at a time: the next opens once the operator has closed the last.
    if (!open_box_.empty() || waiting_boxes_.empty()) {
        return;
    }
    open_box_ = waiting_boxes_.front();
    waiting_boxes_.pop_front();
    host_.message_box(open_box_);
}

void DeviceMonitor::message_box_closed(const std::string& text) {
    if (text != open_box_) {
        return;
    }
    open_box_.clear();
    show_next_box();
}

void DeviceMonitor::set_journal(const std::string& path) {
    journal_writer_.reset();
    if (!path.empty()) {
        journal_writer_.emplace(path);
    }
    journal_trouble_told_ = false;
}

void DeviceMonitor::record(JournalEvent event) {
    event.time = clock_();
    event.utc_offset_s = local_utc_offset(event.time);
    event.address = agent_address_;
    event.serial = serial_;
    if (journal_writer_ && !journal_writer_->append(event) && !journal_trouble_told_) {
        // Once: a full disk must not raise a box with every poll.
        journal_trouble_told_ = true;
        tell(kJournalNotWritten + journal_writer_->error());
    }
    journal_events_.push_back(event);
    if (journal_events_.size() > kJournalEventsKept) {
        journal_events_.pop_front();
    }
    if (journal_listener_) {
        journal_listener_(event);
    }
}

void DeviceMonitor::note_identification() {
    if (!identification_answered_) {
        return;
    }
    serial_ = identification_item(readings_, kSerialItem);
    if (std::optional<JournalEvent> changed =
            journal_.identification_read(agent_address_, readings_)) {
        record(std::move(*changed));
    }
}

void DeviceMonitor::publish() {
    view_.polling = polling_ != 0;
    view_.last_poll_answered = last_poll_answered_;
    bool latched = false;
    for (int32_t latch : readings_.voltage_alarm) {
        latched = latched || latch != 0;
    }
    view_.standing_alarm = standing_alarm_.text(latched);
    view_.status = status_text(view_);
    host_.draw(view_);
}

void DeviceMonitor::close(SettingsStore* settings) {
    if (closed_) {
        return;
    }
    closed_ = true;
    abandon_exchange();
    queue_.clear();
    // Closing the window ends the polling as Stop does.
    if (polling_ != 0) {
        record(JournalTracker::stop(agent_address_));
    }
    polling_ = 0;
    host_.stop_timer();
    if (settings != nullptr) {
        save_history(*settings);
    }
}

DeviceMonitor::~DeviceMonitor() {
    close_link(link_);
}

void DeviceMonitor::initialise(SettingsStore* settings) {
    if (settings != nullptr) {
        if (!settings->notice().empty()) {
            tell(settings->notice());
        }
        for (int i = 0; i < kHistorySize; ++i) {
            const std::string value = settings->read(kSettingsSection, format_text("ip%d", i));
            if (!value.empty()) {
                view_.history.push_back(value);
            }
        }
        if (!view_.history.empty()) {
            input_.address = view_.history.front();
        }
    }
    input_.community = kDefaultCommunity;
    input_.interval = kDefaultInterval;
    view_.fields = input_;
    ++view_.fields_filled;
    polling_ = 0;
    // The start-up address (an empty host) is on the configured port too.
    link_.agent_port = default_port_;
    start_socket_library();
    if (open_link(link_) == 0) {
        tell("Couldn't open snmp");
    }
    publish();
}

void DeviceMonitor::fill_fields(const std::string& address, const std::string& community,
                                const std::string& interval, const std::string& log_file) {
    if (address.empty() && community.empty() && interval.empty() && log_file.empty()) {
        return;
    }
    for (const auto& field : {std::make_pair(&OperatorInput::address, &address),
                              std::make_pair(&OperatorInput::community, &community),
                              std::make_pair(&OperatorInput::interval, &interval),
                              std::make_pair(&OperatorInput::log_file, &log_file)}) {
        if (!field.second->empty()) {
            view_.fields.*field.first = *field.second;
        }
    }
    view_.fields.log = view_.fields.log || !log_file.empty();
    ++view_.fields_filled;
    publish();
}

void DeviceMonitor::save_history(SettingsStore& settings) {
    const int count = static_cast<int>(view_.history.size());
    // Values past the list go, or the next start would list them again
    // after entries that moved up.
    for (int i = 0; i < kHistorySize; ++i) {
        const std::string key = format_text("ip%d", i);
        const bool saved =
            i < count ? settings.write(kSettingsSection, key, view_.history[static_cast<size_t>(i)])
                      : settings.remove(kSettingsSection, key);
        if (!saved) {
            tell(kHistoryNotSaved + settings.error());
            record(JournalTracker::settings_not_saved(settings.error()));
            return;
        }
    }
}

void DeviceMonitor::refresh_agent_link() {
    const std::string community = field_text(input_.community);
    copy_text(link_.community, community);
    link_.community_length = static_cast<int32_t>(community.size());

    const std::string address = field_text(input_.address);
    const bool changed = address_taken_ && !equal_ignoring_case(address, agent_address_);
    if (changed) {
        forget_previous_device();
    }
    address_taken_ = true;
    const std::string before = agent_address_;
    agent_address_ = address;
    if (changed) {
        record(JournalTracker::address_changed(before, address));
    }
    view_.agent = address;
    // The link parses the text; the configured port is for texts that name
    // none.
    copy_text(link_.host, address);
    link_.agent_port = default_port_;

    resolve_agent(link_);
    view_.agent_refused = !has_agent(link_);
    update_address_history();
}

void DeviceMonitor::forget_previous_device() {
    for (ControlId pane :
         {ControlId::kIdentificationPane, ControlId::kTemperaturePane, ControlId::kVoltagePane,
          ControlId::kLinkPane, ControlId::kRxPane, ControlId::kStatisticPane}) {
        view_.panes[pane].clear();
        view_.stale.erase(pane);
    }
    // Nor do its latched alarms show, its last answer count as the new
    // one's, or its hidden switches go to the new device with a Set.
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        readings_.voltage_alarm[k] = 0;
        view_.lamps[k] = LampState::kClear;
    }
    view_.last_answer = 0;
    view_.unanswered_polls = 0;
    view_.family = 0;
    // Its seconds are not the new device's.
    quality_ = ErrorPerformance();
    view_.quality_today = QualityCounts();
    view_.second_class = SecondClass::kUnknown;
    restart_totals(readings_);
    log_header_due_ = polling_ != 0;
    alarms_.on_reset();
    for (int32_t& state : device_switches_) {
        state = 0;
    }
    switches_read_ = false;
    refusal_told_.clear();
    journal_.forget_device();
    serial_.clear();
    link_alarm_text_.clear();
}

void DeviceMonitor::update_address_history() {
    const std::string text = field_text(input_.address);
    if (text.empty()) {
        return;
    }
    std::vector<std::string>& history = view_.history;
    const int position = find_history_entry(history, text);
    if (position == 0) {
        return;
    }
    if (position > 0) {
        history.erase(history.begin() + position);
    }
    history.insert(history.begin(), text);
    if (history.size() > static_cast<size_t>(kHistorySize)) {
        history.resize(kHistorySize);
    }
}

void DeviceMonitor::on_start() {
    clear_readings(readings_, ReadingGroup::kMeasurements);
    refresh_agent_link();
    log_header_due_ = false;  // Start writes its own
    // The time since the last poll shown is not known: the console did not poll.
    quality_.start_run();
    send_exchange(Purpose::kStartIdentification,
                  fetch_request(kIdentificationRun.first_index, kIdentificationRun.count));
}

void DeviceMonitor::after_start_identification() {
    polling_ = 1;
    period_ms_ = timer_period_ms(parse_interval(input_.interval));
    view_.period_ms = period_ms_;
    host_.start_timer(period_ms_);
    view_.log_controls_enabled = false;
    log_trouble_shown_ = false;
    journal_.on_start();
    if (identification_answered_) {
        serial_ = identification_item(readings_, kSerialItem);
    }
    record(JournalTracker::start(agent_address_, period_ms_, input_.log != 0, input_.log_file));
    note_identification();
    if (input_.log) {
        note_log_result(write_log_header(input_.log_file, readings_));
    }
    poll_tick();
}

void DeviceMonitor::note_log_result(LogWrite result) {
    if (result == LogWrite::kWritten) {
        log_trouble_shown_ = false;
        return;
    }
    // An operator who asked for a log must learn that lines are lost, but
    // not once a poll.
    if (!log_trouble_shown_) {
        const int error = errno;  // as the failure left it
        log_trouble_shown_ = true;
        tell(result == LogWrite::kCannotOpen ? "Can't open log file" : "Can't write log file",
             input_.log_file + ": " + std::strerror(error));
        record(JournalTracker::log_not_written(input_.log_file, std::strerror(error)));
    }
}

void DeviceMonitor::on_timer(int /*timer_id*/) {
    if (closed_) {
        return;
    }
    // Like a window timer's: ticks that fall due meanwhile come once.
    for (const QueuedCommand& queued : queue_) {
        if (queued.handler == nullptr) {
            return;
        }
    }
    queue_.push_back({OperatorInput(), nullptr});
    if (!busy()) {
        run_queue();
    }
}

void DeviceMonitor::poll_tick() {
    if (polling_ == 0 || exchange_) {
        return;
    }
    if (log_header_due_) {
        log_new_agent();
        return;
    }
    send_poll_run(0);
}

void DeviceMonitor::log_new_agent() {
    log_header_due_ = false;
    // A Get or a refused Set pointed polling at another device: its lines
    // must not run on under the last one's identification and headings.
    if (!input_.log) {
        send_poll_run(0);
        return;
    }
    // Items the new device does not send are empty, not the last one's.
    clear_readings(readings_, ReadingGroup::kIdentification);
    send_exchange(Purpose::kLogIdentification,
                  fetch_request(kIdentificationRun.first_index, kIdentificationRun.count));
}

void DeviceMonitor::send_poll_run(int run) {
    const CatalogRun& rows = kPollRuns[run];
    send_exchange(Purpose::kPollRun, fetch_request(rows.first_index, rows.count), run);
}

void DeviceMonitor::finish_poll(bool succeeded) {
    const double now = clock_();
    last_poll_answered_ = succeeded;
    PollFacts facts;
    facts.time = now;
    facts.answered = succeeded;
    if (succeeded) {
        refusal_told_.clear();
        const VoltageAlarms out_of_range = [this, &facts] {
            for (int k = 0; k < kVoltageAlarmCount; ++k) {
                facts.latched[k] = readings_.voltage_alarm[k] == 0;
            }
            return latch_voltage_alarms(readings_);
        }();
        for (int k = 0; k < kVoltageAlarmCount; ++k) {
            facts.out_of_range[k] = out_of_range.test(static_cast<size_t>(k));
            facts.latched[k] = facts.latched[k] && readings_.voltage_alarm[k] != 0;
        }
    }
    add_to_totals(succeeded);
    show_poll_result(succeeded, now);
    trends_.add(now, readings_, succeeded);
    quality_.add_poll(now, succeeded, readings_);
    const QualityCounts today = quality_.counts_since_if_finished(local_day_start(now));
    view_.quality_today = today;
    view_.second_class = quality_.unavailable() && quality_.latest_class() != SecondClass::kUnknown
                             ? SecondClass::kUnavailable
                             : quality_.latest_class();
    // The log fields are disabled while polling: they stand as at Start.
    if (input_.log) {
        note_log_result(
            write_log_line(input_.log_file, readings_, succeeded, static_cast<std::time_t>(now)));
    }
    report_alarms(succeeded);
    facts.cause = link_alarm_text_;
    facts.unavailable = quality_.unavailable();
    facts.unavailable_changed_at = quality_.changed_at();
    for (JournalEvent& event : journal_.after_poll(facts, readings_)) {
        record(std::move(event));
    }
    publish();
}

void DeviceMonitor::report_alarms(bool succeeded) {
    std::string failure = kNoAnswerAlarm;
    if (last_fault_.kind == FetchFailure::kDeviceError) {
        failure = "device error " + last_fault_.text;
    } else if (last_fault_.kind == FetchFailure::kUnusableAnswer) {
        failure = "unusable answer";
    }
    // Silence is plain "no answer"; anything else that left the poll
    // without an answer is named after the address.
    const std::string cause = last_fault_.kind == FetchFailure::kNoAnswer ? last_fault_.text : "";
    for (const AlarmEvent& event : alarms_.after_poll(
             succeeded, readings_, agent_address_.empty() ? kEmptyAddress : agent_address_, failure,
             cause)) {
        standing_alarm_.on_event(event);
        if (event.kind == AlarmKind::kLink && !event.cleared) {
            link_alarm_text_ = event.text;
        }
        if (alarm_listener_) {
            alarm_listener_(event);
        }
    }
}

void DeviceMonitor::add_to_totals(bool succeeded) {
    // The rates are per second: a poll counts the packets of one timer
    // period, and a poll without answer counts none.
    if (succeeded) {
        const double seconds = period_ms_ / 1000.0;
        readings_.phy_to_radio_total += readings_.phy_to_radio_rate * seconds;
        readings_.radio_to_phy_total += readings_.radio_to_phy_rate * seconds;
    }
    readings_.packet_error_ratio =
        readings_.fec_fail_since_reset / (readings_.radio_to_phy_total + 1.0);
}

void DeviceMonitor::show_lamps(bool answered) {
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        view_.lamps[k] = readings_.voltage_alarm[k] == 0 ? LampState::kClear
                         : answered                      ? LampState::kLit
                                                         : LampState::kNotKnownNow;
    }
}

void DeviceMonitor::show_poll_result(bool succeeded, double now) {
    ++view_.polls_shown;
    // Each lamp shows its latch: a rail back in range leaves it lit. A poll
    // without answer unchecks it, but a standing latch is shown as not
    // known now rather than as clear.
    show_lamps(succeeded);
    if (!succeeded) {
        // Radio and Heater keep what they show: the device's last known
        // state or the operator's own change, never a guess that a Set
        // would then write. The panes that keep their text are old now.
        view_.panes[ControlId::kTemperaturePane] = kNoConnection;
        view_.panes[ControlId::kVoltagePane] = kNoConnection;
        for (ControlId pane : kKeptPanes) {
            if (!view_.panes[pane].empty()) {
                view_.stale.insert(pane);
            }
        }
        ++view_.unanswered_polls;
        return;
    }
    for (const ReadingPane& pane : kReadingPanes) {
        view_.panes[pane.id] = pane.text(readings_);
    }
    view_.stale.clear();
    for (int k = 0; k < kControlStateCount; ++k) {
        device_switches_[k] = readings_.control_state[k];
    }
    switches_read_ = true;
    for (int k = 0; k < kControlStateCount; ++k) {
        if (kSwitchControls[k] == ControlId::kRadioCheckBox) {
            view_.radio = readings_.control_state[k] != 0;
        } else if (kSwitchControls[k] == ControlId::kHeaterCheckBox) {
            view_.heater = readings_.control_state[k] != 0;
        }
    }
    ++view_.switches_shown;
    // The boxes show the device's state now: a Set without a click writes it.
    input_.radio = view_.radio;
    input_.heater = view_.heater;
    view_.family = readings_.family_rate_mbps;
    view_.last_answer = static_cast<std::time_t>(now);
    view_.unanswered_polls = 0;
}

// Publishes the view when a handler returns, by whatever way.
class DeviceMonitor::Published {
public:
    explicit Published(DeviceMonitor& monitor) : monitor_(monitor) {}
    ~Published() { monitor_.publish(); }
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

private:
    DeviceMonitor& monitor_;
};

void DeviceMonitor::on_stop() {
    if (polling_ != 0) {
        record(JournalTracker::stop(agent_address_));
    }
    polling_ = 0;
    host_.stop_timer();
    view_.log_controls_enabled = true;
    publish();
}

void DeviceMonitor::on_get() {
    clear_readings(readings_, ReadingGroup::kIdentification);
    refresh_agent_link();
    send_exchange(Purpose::kGetIdentification,
                  fetch_request(kIdentificationRun.first_index, kIdentificationRun.count));
}

void DeviceMonitor::finish_write(const Exchange& done, const SnmpMessage* answer) {
    const Published published(*this);
    const char* command = done.purpose == Purpose::kSet ? "Set" : "Send KEY";
    const std::string failure =
        command_failure_text(command, *done.request, answer, exchange_fault_text(link_));
    // A failure the link has already shown in a box is not shown twice.
    if (!failure.empty() && transport_reports_ == done.reports_before) {
        tell(failure);
    }
    if (done.purpose == Purpose::kSet) {
        bool before[2] = {};  // Radio, Heater as the device last reported them
        for (int k = 0; k < kControlStateCount; ++k) {
            if (kSwitchControls[k] == ControlId::kRadioCheckBox) {
                before[0] = device_switches_[k] != 0;
            } else if (kSwitchControls[k] == ControlId::kHeaterCheckBox) {
                before[1] = device_switches_[k] != 0;
            }
        }
        record(JournalTracker::set(before[0], done.input.radio, before[1], done.input.heater,
                                   failure));
        // The device echoed what it took: those are its switches now, until
        // a poll reads them again.
        if (failure.empty()) {
            for (int k = 0; k < kControlStateCount; ++k) {
                device_switches_[k] = readings_.control_state[k];
            }
        }
    } else {
        record(JournalTracker::key_sent(done.key.size(), failure));
    }
    // The key stands as identification item 8 only once the device took it.
    if (failure.empty() && done.purpose == Purpose::kSendKey) {
        copy_text(readings_.id_text[kKeyIndex - kIdentificationRun.first_index], done.key);
        take_identification();
    }
}

void DeviceMonitor::take_identification() {
    view_.identification.clear();
    for (const char* item : readings_.id_text) {
        view_.identification.emplace_back(item, strnlen(item, kIdTextSize));
    }
}

void DeviceMonitor::on_set() {
    const Published published(*this);
    refresh_agent_link();
    if (!switches_read_ && has_agent(link_)) {
        // The four switches without a box would go out as guesses. (Without
        // an agent nothing goes out, and the link says why.)
        tell(kSetRefusedUnread);
        return;
    }
    for (int k = 0; k < kControlStateCount; ++k) {
        // The switches without a box keep the device's own values.
        readings_.control_state[k] = is_unattached_slot(kSwitchControls[k])
                                         ? device_switches_[k]
                                         : box_input(input_, kSwitchControls[k]);
    }
    MessagePtr request(msg_create(kPduSetRequest));
    for (int k = 0; k < kControlRun.count; ++k) {
        const CatalogRow& row = kParameterCatalog.rows[kControlRun.first_index + k];
        if (msg_append_null_binding(request.get(), row.ids, row.length) == nullptr) {
            return;  // out of memory: a partial SET is never sent
        }
    }
    for (VarBinding* b = request->bindings; b != nullptr; b = b->next) {
        const int k = find_catalog_index(*b) - kControlRun.first_index;
        if (k >= 0 && k < kControlStateCount &&
            binding_set_int32(b, readings_.control_state[k]) != 0) {
            return;
        }
    }
    send_exchange(Purpose::kSet, std::move(request));
}

void DeviceMonitor::on_send_key() {
    const Published published(*this);
    const std::string key = line_of_text(input_.key, 0);
    const std::string refusal = key_length_refusal(key);
    if (!refusal.empty()) {
        tell("Send KEY refused: " + refusal);
        return;
    }
    refresh_agent_link();
    MessagePtr request(msg_create(kPduSetRequest));
    const CatalogRow& row = kParameterCatalog.rows[kKeyIndex];
    VarBinding* binding = msg_append_null_binding(request.get(), row.ids, row.length);
    if (binding == nullptr || find_catalog_index(*binding) != kKeyIndex ||
        binding_set_octets(binding, reinterpret_cast<const uint8_t*>(key.data()),
                           static_cast<int32_t>(key.size())) != 0) {
        return;
    }
    send_exchange(Purpose::kSendKey, std::move(request), 0, key);
}

void DeviceMonitor::on_lamp_click(int /*rail*/) {
    publish();
}

void DeviceMonitor::on_reset() {
    record(JournalTracker::reset(readings_.voltage_alarm));
    readings_.phy_to_radio_total = 0;
    readings_.radio_to_phy_total = 0;
    for (int32_t& latch : readings_.voltage_alarm) {
        latch = 0;
    }
    alarms_.on_reset();
    rebase_since_reset_counters(readings_);
    clear_status_fields(readings_);
    show_lamps(true);
    publish();
}
