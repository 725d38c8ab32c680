#include "hex.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

std::vector<uint8_t> from_hex(const std::string& text) {
    std::vector<uint8_t> out;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw std::invalid_argument("not hex: " + text);
        }
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) {
        throw std::invalid_argument("odd hex: " + text);
    }
    return out;
}

std::string to_hex(const uint8_t* data, size_t size) {
    std::string out;
    char cell[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", data[i]);
        out += cell;
    }
    return out;
}
