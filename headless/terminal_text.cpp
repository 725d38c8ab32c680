#include "headless/terminal_text.h"

#include "monitor/text_format.h"

std::string terminal_safe_text(const std::string& text) {
    return escape_device_text(text, TextEscapes::kTerminal);
}

std::string terminal_echo(const std::string& text, size_t limit) {
    const size_t kept = utf8_prefix_length(text, limit);
    return terminal_safe_text(text.substr(0, kept)) + (kept < text.size() ? "..." : "");
}

std::string RepeatedLines::take(const std::string& line) {
    if (in_run_ && line == last_) {
        ++repeats_;
        return std::string();
    }
    std::string out = end_run();
    last_ = line;
    in_run_ = true;
    return out + program_ + ": " + line + "\n";
}

std::string RepeatedLines::end_run() {
    std::string out;
    if (repeats_ > 0) {
        out = program_ + ": (the line above came " + std::to_string(repeats_) + " more time" +
              (repeats_ == 1 ? "" : "s") + ")\n";
    }
    in_run_ = false;
    repeats_ = 0;
    last_.clear();
    return out;
}
