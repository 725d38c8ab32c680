#include "headless/terminal_text.h"

#include "monitor/text_format.h"

namespace {

// Octets in a well-formed UTF-8 sequence starting at `at` (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF); 0 for none.
size_t utf8_sequence_length(const std::string& text, size_t at) {
    const auto octet = [&](size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = octet(at);
    size_t length = 0;
    unsigned low = 0x80;  // range of the second octet
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (octet(at + 1) < low || octet(at + 1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (octet(at + i) < 0x80 || octet(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void append_escaped(std::string& out, unsigned char octet) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[octet >> 4];
    out += kHex[octet & 0x0F];
}

}  // namespace

std::string terminal_safe_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto octet = static_cast<unsigned char>(text[i]);
        if (octet < 0x80) {
            if ((octet < 0x20 && octet != '\t') || octet == 0x7F) {
                append_escaped(out, octet);
            } else {
                out += text[i];
            }
            ++i;
            continue;
        }
        const size_t length = utf8_sequence_length(text, i);
        const bool c1_control =
            length == 2 && octet == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (length == 0 || c1_control) {
            // One octet at a time: what follows a broken lead may still be text.
            const size_t escaped = c1_control ? 2 : 1;
            for (size_t k = 0; k < escaped; ++k) {
                append_escaped(out, static_cast<unsigned char>(text[i + k]));
            }
            i += escaped;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
    return out;
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
