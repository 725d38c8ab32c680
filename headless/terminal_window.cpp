#include "headless/terminal_window.h"

#include <cstdio>

#include "headless/terminal_text.h"

std::string TerminalWindow::take_told() {
    std::string told;
    told.swap(told_);
    return told;
}

void TerminalWindow::message_box(const std::string& text) {
    std::string line = text;
    const size_t second = line.find('\n');
    if (second != std::string::npos) {
        line.replace(second, 1, ": ");
    }
    // The name is the operator's or the device's text: shown safe.
    std::fprintf(stderr, "tarvik: %s\n", terminal_safe_text(line).c_str());
    std::fflush(stderr);
    told_ += (told_.empty() ? "" : "; ") + line;
    if (monitor() != nullptr) {
        monitor()->message_box_closed(text);
    }
}
