// Hex text <-> octets for byte-exact test tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "30 82 00 0C" (blanks optional) to octets.
std::vector<uint8_t> from_hex(const std::string& text);
// Octets to "30 82 00 0C".
std::string to_hex(const uint8_t* data, size_t size);
inline std::string to_hex(const std::vector<uint8_t>& v) {
    return to_hex(v.data(), v.size());
}
