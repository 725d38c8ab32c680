// A window for tests that behaves like the real controls: the address box's
// edit text follows a selection, unattached switch slots read 0 and ignore
// writes, the timer's state is kept (the test delivers the ticks), and
// message boxes are recorded, with a hook that plays their nested loop.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "monitor/window_services.h"

class FakeWindow : public WindowServices {
public:
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

    bool is_enabled(ControlId id) const;
    const std::vector<std::string>& list() const { return list_; }
    int selected() const { return selected_; }
    bool timer_running() const { return timer_running_; }
    int timer_period() const { return timer_period_; }
    int timer_starts() const { return timer_starts_; }
    // Every text a control was given, in order.
    const std::vector<std::string>& text_history(ControlId id) { return history_[id]; }

    std::vector<std::string> message_boxes;
    // Runs while a message box is "open", as its nested loop would.
    std::function<void()> during_message_box;

private:
    std::map<ControlId, std::string> texts_;
    std::map<ControlId, std::vector<std::string>> history_;
    std::map<ControlId, int> checks_;
    std::map<ControlId, bool> disabled_;
    std::vector<std::string> list_;
    int selected_ = -1;
    bool timer_running_ = false;
    int timer_period_ = 0;
    int timer_starts_ = 0;
};
