#include "monitor/memory_host.h"

#include "snmp/agent_link.h"
#include "snmp/net.h"

const ViewState& MemoryHost::view() const {
    return monitor_ != nullptr ? monitor_->view() : shown_;
}

void MemoryHost::draw(const ViewState& view) {
    if (monitor_ == nullptr) {
        shown_ = view;
    }
    const FieldCopies copies = field_copies(drawn_, view, !drawn_once_);
    if (copies.fields) {
        input_.address = view.fields.address;
        input_.community = view.fields.community;
        input_.interval = view.fields.interval;
        input_.log = view.fields.log;
        input_.log_file = view.fields.log_file;
    }
    if (copies.switches) {
        input_.radio = view.radio;
        input_.heater = view.heater;
    }
    drawn_ = view;
    drawn_once_ = true;
}

void MemoryHost::start_timer(int period_ms) {
    timer_running_ = true;
    timer_period_ = period_ms;
    ++timer_starts_;
}

void MemoryHost::await_answer(std::intptr_t socket, int wait_ms) {
    waiting_ = true;
    wait_ms_ = wait_ms;
    socket_ = socket;
    deadline_ = now() + std::chrono::milliseconds(wait_ms);
}

void MemoryHost::settle(const std::function<bool()>& stop) {
    while (waiting_ && monitor_ != nullptr) {
        if (stop && stop()) {
            monitor_->close(nullptr);
            waiting_ = false;
            return;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now()).count();
        if (left <= 0) {
            monitor_->on_deadline();
            continue;
        }
        // Rounded up, so the deadline has passed when the wait ends; in
        // slices while a stop may come.
        int slice = static_cast<int>(left) + 1;
        if (stop && slice > kCancelCheckMs) {
            slice = kCancelCheckMs;
        }
        if (silence_ && silence_() && wait_readable(static_cast<socket_t>(socket_), 0) != 1) {
            advance(std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now()) +
                    std::chrono::milliseconds(1));
            continue;
        }
        if (wait_readable(static_cast<socket_t>(socket_), slice) == 1) {
            monitor_->on_socket_readable();
        }
    }
}

void MemoryHost::advance(std::chrono::milliseconds step) {
    offset_ += step;
    if (waiting_ && monitor_ != nullptr && now() >= deadline_) {
        monitor_->on_deadline();
    }
}

void MemoryHost::press(DeviceMonitor::Handler handler) {
    if (monitor_ != nullptr) {
        monitor_->command(input_, handler);
        settle(stop_);
    }
}

void MemoryHost::tick() {
    if (monitor_ != nullptr) {
        monitor_->on_timer(kPollTimerId);
        settle(stop_);
    }
}

void MemoryHost::hand_over() {
    if (monitor_ != nullptr) {
        monitor_->take_input(input_);
    }
}

void MemoryHost::set_text(ControlId id, const std::string& text) {
    switch (id) {
        case ControlId::kAddressBox:
            input_.address = text;
            break;
        case ControlId::kCommunityField:
            input_.community = text;
            break;
        case ControlId::kIntervalField:
            input_.interval = text;
            break;
        case ControlId::kLogFileField:
            input_.log_file = text;
            break;
        case ControlId::kKeyField:
            input_.key = text;
            break;
        default:
            return;  // the panes are the monitor's
    }
    hand_over();
}

std::string MemoryHost::get_text(ControlId id) const {
    switch (id) {
        case ControlId::kAddressBox:
            return input_.address;
        case ControlId::kCommunityField:
            return input_.community;
        case ControlId::kIntervalField:
            return input_.interval;
        case ControlId::kLogFileField:
            return input_.log_file;
        case ControlId::kKeyField:
            return input_.key;
        default:
            break;
    }
    const auto pane = view().panes.find(id);
    return pane != view().panes.end() ? pane->second : std::string();
}

void MemoryHost::set_check(ControlId id, int state) {
    bool* box = id == ControlId::kRadioCheckBox    ? &input_.radio
                : id == ControlId::kHeaterCheckBox ? &input_.heater
                : id == ControlId::kLogCheckBox    ? &input_.log
                                                   : nullptr;
    if (box != nullptr) {  // the lamps are the monitor's
        *box = state != 0;
        hand_over();
    }
}

int MemoryHost::get_check(ControlId id) const {
    switch (id) {
        case ControlId::kRadioCheckBox:
            return input_.radio ? 1 : 0;
        case ControlId::kHeaterCheckBox:
            return input_.heater ? 1 : 0;
        case ControlId::kLogCheckBox:
            return input_.log ? 1 : 0;
        default:
            break;
    }
    for (int k = 0; k < kVoltageAlarmCount; ++k) {
        if (kVoltageLamps[k] == id) {
            return view().lamps[k] == LampState::kLit ? 1 : 0;
        }
    }
    return 0;  // the switch slots without a box
}

bool MemoryHost::is_enabled(ControlId id) const {
    return (id != ControlId::kLogCheckBox && id != ControlId::kLogFileField) ||
           view().log_controls_enabled;
}

const std::vector<std::string>& MemoryHost::list() const {
    return view().history;
}

void MemoryHost::select_in_list(ControlId, int position) {
    input_.address = list()[static_cast<size_t>(position)];
    hand_over();
}

int MemoryHost::selected() const {
    return find_history_entry(list(), input_.address);
}
