#include "monitor/device_monitor.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "monitor/panes.h"
#include "monitor/parameter_catalog.h"
#include "monitor/supply_rails.h"
#include "monitor/text_format.h"

namespace {

// The first `limit` characters of a field's text.
std::string field_text(WindowServices& window, ControlId id, size_t limit = kFieldTextLimit) {
    std::string text = window.get_text(id);
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

// Position of the history entry that is `text`, letters compared without
// regard to case; -1 when none is. Whole entries only: "10.0.0.1" is not
// "10.0.0.12".
int find_history_entry(WindowServices& window, const std::string& text) {
    const int count = window.list_count(ControlId::kAddressBox);
    for (int i = 0; i < count; ++i) {
        if (equal_ignoring_case(window.list_item(ControlId::kAddressBox, i), text)) {
            return i;
        }
    }
    return -1;
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

DeviceMonitor::DeviceMonitor(WindowServices& window, DeviceReadings& readings)
    : window_(window), readings_(readings) {
    link_.report = [this](const std::string& text) {
        ++transport_reports_;
        window_.message_box(text);
    };
}

DeviceMonitor::~DeviceMonitor() {
    close_link(link_);
}

void DeviceMonitor::initialise(SettingsStore* settings) {
    if (settings != nullptr) {
        if (!settings->notice().empty()) {
            window_.message_box(settings->notice());
        }
        int loaded = 0;
        for (int i = 0; i < kHistorySize; ++i) {
            const std::string value = settings->read(kSettingsSection, format_text("ip%d", i));
            if (!value.empty()) {
                window_.add_to_list(ControlId::kAddressBox, value);
                ++loaded;
            }
        }
        if (loaded > 0) {
            window_.select_in_list(ControlId::kAddressBox, 0);
        }
    }
    window_.set_text(ControlId::kCommunityField, kDefaultCommunity);
    window_.set_text(ControlId::kIntervalField, kDefaultInterval);
    polling_ = 0;
    // The start-up address (an empty host) is on the configured port too.
    link_.agent_port = default_port_;
    start_socket_library();
    if (open_link(link_) == 0) {
        window_.message_box("Couldn't open snmp");
    }
}

void DeviceMonitor::save_history(SettingsStore& settings) {
    const int count = window_.list_count(ControlId::kAddressBox);
    // Values past the list go, or the next start would list them again
    // after entries that moved up.
    for (int i = 0; i < kHistorySize; ++i) {
        const std::string key = format_text("ip%d", i);
        const bool saved = i < count ? settings.write(kSettingsSection, key,
                                                      window_.list_item(ControlId::kAddressBox, i))
                                     : settings.remove(kSettingsSection, key);
        if (!saved) {
            window_.message_box(kHistoryNotSaved + settings.error());
            return;
        }
    }
}

void DeviceMonitor::refresh_agent_link() {
    const std::string community = field_text(window_, ControlId::kCommunityField);
    copy_text(link_.community, community);
    link_.community_length = static_cast<int32_t>(community.size());

    const std::string address = field_text(window_, ControlId::kAddressBox);
    if (address_taken_ && !equal_ignoring_case(address, agent_address_)) {
        forget_previous_device();
    }
    address_taken_ = true;
    agent_address_ = address;
    // The link parses the text; the configured port is for texts that name
    // none.
    copy_text(link_.host, address);
    link_.agent_port = default_port_;

    resolve_agent(link_);
    update_address_history();
}

void DeviceMonitor::forget_previous_device() {
    for (ControlId pane :
         {ControlId::kIdentificationPane, ControlId::kTemperaturePane, ControlId::kVoltagePane,
          ControlId::kLinkPane, ControlId::kRxPane, ControlId::kStatisticPane}) {
        if (!window_.get_text(pane).empty()) {
            window_.set_text(pane, std::string());
        }
    }
    // Nor do its latched alarms show, or its hidden switches go to the new
    // device with a Set.
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        readings_.voltage_alarm[k] = 0;
        window_.set_check(kVoltageLamps[k], 0);
    }
    alarms_.on_reset();
    for (int32_t& state : device_switches_) {
        state = 0;
    }
    switches_read_ = false;
    refusal_told_.clear();
}

void DeviceMonitor::update_address_history() {
    const std::string text = field_text(window_, ControlId::kAddressBox);
    if (text.empty()) {
        return;
    }
    const ControlId box = ControlId::kAddressBox;
    const int position = find_history_entry(window_, text);
    if (position == 0) {
        return;
    }
    if (position < 0) {
        window_.insert_in_list(box, 0, text);
        if (window_.list_count(box) > kHistorySize) {
            window_.delete_from_list(box, kHistorySize);
        }
        return;
    }
    window_.delete_from_list(box, position);
    window_.insert_in_list(box, 0, text);
    window_.select_in_list(box, 0);
}

bool DeviceMonitor::fetch_parameters(int first_index, int count) {
    const bool read = ::fetch_parameters(link_, readings_, first_index, count, &last_fault_);
    if (last_fault_.kind == FetchFailure::kUnusableAnswer && last_fault_.text != refusal_told_) {
        refusal_told_ = last_fault_.text;
        std::fprintf(stderr, "tarvik: answer refused: %s\n", refusal_told_.c_str());
        std::fflush(stderr);
    }
    return read;
}

void DeviceMonitor::on_start() {
    clear_readings(readings_, ReadingGroup::kMeasurements);
    refresh_agent_link();
    fetch_parameters(kIdentificationRun.first_index, kIdentificationRun.count);
    polling_ = 1;
    period_ms_ = timer_period_ms(parse_interval(window_.get_text(ControlId::kIntervalField)));
    window_.start_timer(period_ms_);
    window_.enable(ControlId::kLogCheckBox, false);
    window_.enable(ControlId::kLogFileField, false);
    log_trouble_shown_ = false;
    if (window_.get_check(ControlId::kLogCheckBox) != 0) {
        note_log_result(write_log_header(window_.get_text(ControlId::kLogFileField), readings_));
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
        log_trouble_shown_ = true;
        window_.message_box(result == LogWrite::kCannotOpen ? "Can't open log file"
                                                            : "Can't write log file");
    }
}

void DeviceMonitor::on_timer(int /*timer_id*/) {
    poll_tick();
}

bool DeviceMonitor::poll_runs() {
    for (const CatalogRun& run : kPollRuns) {
        if (!fetch_parameters(run.first_index, run.count)) {
            return false;
        }
    }
    return true;
}

void DeviceMonitor::poll_tick() {
    // A message box opened inside a poll delivers ticks too; they must not
    // start a second poll inside the first.
    if (polling_ == 0 || in_poll_) {
        return;
    }
    in_poll_ = true;
    const bool succeeded = poll_runs();
    if (link_cancelled(link_)) {
        // The console is ending: a poll cut short is neither shown nor logged.
        in_poll_ = false;
        return;
    }
    last_poll_answered_ = succeeded;
    if (succeeded) {
        refusal_told_.clear();
        latch_voltage_alarms(readings_);
    }
    add_to_totals(succeeded);
    show_poll_result(succeeded);
    if (window_.get_check(ControlId::kLogCheckBox) != 0) {
        note_log_result(write_log_line(window_.get_text(ControlId::kLogFileField), readings_,
                                       succeeded, std::time(nullptr)));
    }
    report_alarms(succeeded);
    in_poll_ = false;
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

void DeviceMonitor::show_poll_result(bool succeeded) {
    if (!succeeded) {
        // Radio and Heater keep what they show: the device's last known
        // state or the operator's own change, never a guess that a Set
        // would then write.
        window_.set_text(ControlId::kTemperaturePane, kNoConnection);
        window_.set_text(ControlId::kVoltagePane, kNoConnection);
        for (ControlId lamp : kVoltageLamps) {
            window_.set_check(lamp, 0);
        }
        return;
    }
    for (const ReadingPane& pane : kReadingPanes) {
        window_.set_text(pane.id, pane.text(readings_));
    }
    for (int k = 0; k < kControlStateCount; ++k) {
        window_.set_check(kSwitchControls[k], readings_.control_state[k]);
        device_switches_[k] = readings_.control_state[k];
    }
    switches_read_ = true;
    // Each lamp shows its latch: a rail back in range leaves it lit, and so
    // does a poll without answer in between, which only blanks the lamps.
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        window_.set_check(kVoltageLamps[k], readings_.voltage_alarm[k] != 0 ? 1 : 0);
    }
}

void DeviceMonitor::on_stop() {
    polling_ = 0;
    window_.stop_timer();
    window_.enable(ControlId::kLogCheckBox, true);
    window_.enable(ControlId::kLogFileField, true);
}

void DeviceMonitor::on_get() {
    clear_readings(readings_, ReadingGroup::kIdentification);
    refresh_agent_link();
    fetch_parameters(kIdentificationRun.first_index, kIdentificationRun.count);
    window_.set_text(ControlId::kIdentificationPane, identification_pane_text(readings_));
}

bool DeviceMonitor::send_set_request(SnmpMessage* request, const char* command) {
    const int reports_before = transport_reports_;
    const MessagePtr answer(exchange_request(link_, request));
    const std::string failure =
        command_failure_text(command, *request, answer.get(), exchange_fault_text(link_));
    // A failure the link has already shown in a box is not shown twice, and
    // an exchange the owner cancelled is no failure of the device's.
    if (!failure.empty() && transport_reports_ == reports_before && !link_cancelled(link_)) {
        window_.message_box(failure);
    }
    return failure.empty();
}

void DeviceMonitor::on_set() {
    refresh_agent_link();
    if (!switches_read_ && has_agent(link_)) {
        // The four switches without a box would go out as guesses. (Without
        // an agent nothing goes out, and the link says why.)
        window_.message_box(kSetRefusedUnread);
        return;
    }
    for (int k = 0; k < kControlStateCount; ++k) {
        // The switches without a box keep the device's own values.
        readings_.control_state[k] = is_unattached_slot(kSwitchControls[k])
                                         ? device_switches_[k]
                                         : window_.get_check(kSwitchControls[k]);
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
    send_set_request(request.get(), "Set");
}

void DeviceMonitor::on_send_key() {
    const std::string key = window_.get_line(ControlId::kKeyField, 0);
    const std::string refusal = key_length_refusal(key);
    if (!refusal.empty()) {
        window_.message_box("Send KEY refused: " + refusal);
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
    // The key stands as identification item 8 only once the device took it.
    if (send_set_request(request.get(), "Send KEY")) {
        copy_text(readings_.id_text[kKeyIndex - kIdentificationRun.first_index], key);
    }
}

void DeviceMonitor::on_reset() {
    readings_.phy_to_radio_total = 0;
    readings_.radio_to_phy_total = 0;
    for (int32_t& latch : readings_.voltage_alarm) {
        latch = 0;
    }
    alarms_.on_reset();
    rebase_since_reset_counters(readings_);
    clear_status_fields(readings_);
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        window_.set_check(kVoltageLamps[k], readings_.voltage_alarm[k]);
    }
}
