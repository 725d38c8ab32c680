#include "fake_window.h"

void FakeWindow::set_text(ControlId id, const std::string& text) {
    texts_[id] = text;
    history_[id].push_back(text);
}

std::string FakeWindow::get_text(ControlId id) {
    return texts_[id];
}

std::string FakeWindow::get_line(ControlId id, int line) {
    return line_of_text(texts_[id], line);
}

int FakeWindow::get_check(ControlId id) {
    return is_unattached_slot(id) ? 0 : checks_[id];
}

void FakeWindow::set_check(ControlId id, int state) {
    if (!is_unattached_slot(id)) {
        checks_[id] = state != 0 ? 1 : 0;
    }
}

void FakeWindow::enable(ControlId id, bool enabled) {
    disabled_[id] = !enabled;
}

bool FakeWindow::is_enabled(ControlId id) const {
    const auto it = disabled_.find(id);
    return it == disabled_.end() || !it->second;
}

void FakeWindow::insert_in_list(ControlId, int position, const std::string& text) {
    list_.insert(list_.begin() + position, text);
    if (selected_ >= position) {
        ++selected_;
    }
}

void FakeWindow::delete_from_list(ControlId, int position) {
    list_.erase(list_.begin() + position);
    if (selected_ == position) {
        selected_ = -1;
    } else if (selected_ > position) {
        --selected_;
    }
}

void FakeWindow::add_to_list(ControlId, const std::string& text) {
    list_.push_back(text);
}

int FakeWindow::list_count(ControlId) {
    return static_cast<int>(list_.size());
}

void FakeWindow::select_in_list(ControlId, int position) {
    selected_ = position;
    texts_[ControlId::kAddressBox] = list_[static_cast<size_t>(position)];
}

std::string FakeWindow::list_item(ControlId, int position) {
    return list_[static_cast<size_t>(position)];
}

void FakeWindow::start_timer(int period_ms) {
    timer_running_ = true;
    timer_period_ = period_ms;
    ++timer_starts_;
}

void FakeWindow::stop_timer() {
    timer_running_ = false;
}

void FakeWindow::message_box(const std::string& text) {
    message_boxes.push_back(text);
    if (during_message_box) {
        during_message_box();
    }
}
