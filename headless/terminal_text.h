// Device text made fit for the operator's terminal.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

// `text` with every octet that could drive a terminal shown as `\xHH`: the
// C0 controls except tab, DEL, the C1 controls (UTF-8 C2 80 to C2 9F) and
// every octet that is not part of a well-formed UTF-8 sequence (a raw 0x9B
// is CSI to some terminals). Printable ASCII and well-formed UTF-8 text
// pass unchanged, so a line feed in a device's text cannot start a line.
std::string terminal_safe_text(const std::string& text);

// At most `limit` octets of `text` (cut where no UTF-8 character is split,
// "..." marking the cut), shown safe as above: an echo of what the operator
// typed, or of whatever was piped in, that can neither drive the terminal
// nor flood it.
std::string terminal_echo(const std::string& text, size_t limit);

// Error lines for the standard error stream where a run of the same line
// is shown once: `take` returns what to print for the next line ("PROGRAM:
// LINE", or nothing while it repeats the one before), and `end_run` what
// closes the run (how many times more it came; nothing if it came once).
class RepeatedLines {
public:
    explicit RepeatedLines(std::string program) : program_(std::move(program)) {}
    std::string take(const std::string& line);
    std::string end_run();

private:
    std::string program_;
    std::string last_;
    bool in_run_ = false;
    unsigned long long repeats_ = 0;
};
