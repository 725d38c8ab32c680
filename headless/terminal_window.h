// The window services over plain memory, for the terminal front end: the
// controls are values the front end fills and prints, message boxes go to
// the standard error stream as "tarvik: TEXT" ("Can't resolve hostname"
// followed by ": " and the address that failed) and do not stop the run, and
// the poll timer is a period the event loop waits out.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "monitor/window_services.h"

class TerminalWindow : public WindowServices {
public:
    void set_text(ControlId id, const std::string& text) override { texts_[id] = text; }
    std::string get_text(ControlId id) override { return texts_[id]; }
    std::string get_line(ControlId id, int line) override;
    int get_check(ControlId id) override { return is_unattached_slot(id) ? 0 : checks_[id]; }
    void set_check(ControlId id, int state) override;
    void enable(ControlId, bool) override {}
    void insert_in_list(ControlId, int position, const std::string& text) override;
    void delete_from_list(ControlId, int position) override;
    void add_to_list(ControlId, const std::string& text) override { list_.push_back(text); }
    int list_count(ControlId) override { return static_cast<int>(list_.size()); }
    void select_in_list(ControlId, int position) override;
    std::string list_item(ControlId, int position) override;
    void start_timer(int period_ms) override;
    void stop_timer() override { timer_running_ = false; }
    void message_box(const std::string& text) override;

    // A message box's text as the terminal shows it, given the text and the
    // `errno` the failure left: the text, often with the name of the host or
    // file it is about added.
    using MessageDetail = std::function<std::string(const std::string& text, int error)>;
    void set_message_detail(MessageDetail detail) { detail_ = std::move(detail); }

    bool timer_running() const { return timer_running_; }
    int timer_period_ms() const { return timer_period_ms_; }

private:
    std::map<ControlId, std::string> texts_;
    std::map<ControlId, int> checks_;
    std::vector<std::string> list_;
    bool timer_running_ = false;
    int timer_period_ms_ = 0;
    MessageDetail detail_;
};
