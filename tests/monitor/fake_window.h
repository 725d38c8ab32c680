// A window for tests: the controls in memory, as the terminal keeps them
// (MemoryHost), and message boxes recorded, with a hook that runs while a box
// is "open" and a switch that keeps boxes open until the test closes them.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "monitor/memory_host.h"

class FakeWindow : public MemoryHost {
public:
    void draw(const ViewState& view) override;
    void message_box(const std::string& text) override;

    // Every text a pane was given, in order; a text drawn again unchanged
    // is not given anew.
    const std::vector<std::string>& text_history(ControlId id) { return history_[id]; }
    // Closes every open box, as the operator clicking OK.
    void close_boxes();

    std::vector<std::string> message_boxes;
    // Runs while a message box is shown.
    std::function<void()> during_message_box;
    // false: boxes stay open until `close_boxes`.
    bool boxes_close_at_once = true;

private:
    std::map<ControlId, std::string> panes_;
    std::map<ControlId, std::vector<std::string>> history_;
    std::vector<std::string> open_;
};
