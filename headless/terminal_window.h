// The terminal front end's host: the controls in memory (MemoryHost), and
// message boxes on the standard error stream as "tarvik: TEXT", the second
// line (the file or host, and the reason) after ": ". A box there does not
// stay open, so it closes at once.
#pragma once

#include <string>

#include "monitor/memory_host.h"

class TerminalWindow : public MemoryHost {
public:
    void message_box(const std::string& text) override;
    // The boxes raised since the last call, as their lines, joined by "; ".
    std::string take_told();

private:
    std::string told_;
};
