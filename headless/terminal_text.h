// Device text made fit for the operator's terminal.
#pragma once

#include <string>

// `text` with every octet that could drive a terminal shown as `\xHH`: the
// C0 controls except tab, DEL, the C1 controls (UTF-8 C2 80 to C2 9F) and
// every octet that is not part of a well-formed UTF-8 sequence (a raw 0x9B
// is CSI to some terminals). Printable ASCII and well-formed UTF-8 text
// pass unchanged, so a line feed in a device's text cannot start a line.
std::string terminal_safe_text(const std::string& text);
