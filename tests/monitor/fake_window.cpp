#include "fake_window.h"

void FakeWindow::draw(const ViewState& view) {
    MemoryHost::draw(view);
    for (const auto& pane : view.panes) {
        if (panes_[pane.first] != pane.second) {
            panes_[pane.first] = pane.second;
            history_[pane.first].push_back(pane.second);
        }
    }
}

void FakeWindow::message_box(const std::string& text) {
    message_boxes.push_back(text);
    if (during_message_box) {
        during_message_box();
    }
    open_.push_back(text);
    if (boxes_close_at_once) {
        close_boxes();
    }
}

void FakeWindow::close_boxes() {
    const std::vector<std::string> closing = std::move(open_);
    open_.clear();
    for (const std::string& text : closing) {
        if (monitor() != nullptr) {
            monitor()->message_box_closed(text);
        }
    }
}
