#include "headless/terminal_window.h"

#include <cerrno>
#include <cstdio>

std::string TerminalWindow::get_line(ControlId id, int line) {
    return line_of_text(texts_[id], line);
}

void TerminalWindow::set_check(ControlId id, int state) {
    if (!is_unattached_slot(id)) {
        checks_[id] = state != 0 ? 1 : 0;
    }
}

void TerminalWindow::insert_in_list(ControlId, int position, const std::string& text) {
    list_.insert(list_.begin() + position, text);
}

void TerminalWindow::delete_from_list(ControlId, int position) {
    list_.erase(list_.begin() + position);
}

void TerminalWindow::select_in_list(ControlId, int position) {
    texts_[ControlId::kAddressBox] = list_[static_cast<size_t>(position)];
}

std::string TerminalWindow::list_item(ControlId, int position) {
    return list_[static_cast<size_t>(position)];
}

void TerminalWindow::start_timer(int period_ms) {
    timer_running_ = true;
    timer_period_ms_ = period_ms;
}

void TerminalWindow::message_box(const std::string& text) {
    const int error = errno;  // as the failure left it, before anything else runs
    const std::string shown = detail_ ? detail_(text, error) : text;
    std::fprintf(stderr, "tarvik: %s\n", shown.c_str());
    std::fflush(stderr);
}
