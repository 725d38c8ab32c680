// The pieces of text that the SVG writers of the charts share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace charts {

// A coordinate to two decimals.
inline std::string svg_number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

// 0xRRGGBB as "#rrggbb".
inline std::string svg_color(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFF));
    return text;
}

// The text with XML's special characters escaped, for content and attributes.
inline std::string svg_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A text element at (x, y), anchored "start", "middle" or "end", with
// `extra` attributes (each with its leading blank).
inline std::string svg_label(double x, double y, const std::string& text, const char* anchor,
                             const char* extra = "") {
    return "<text x=\"" + svg_number(x) + "\" y=\"" + svg_number(y) + "\" text-anchor=\"" + anchor +
           "\"" + extra + ">" + svg_escaped(text) + "</text>\n";
}

}  // namespace charts
