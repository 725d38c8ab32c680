// BER element readers. Every octet is bounds-checked against the caller's
// counter before it is read.
#include <cstring>

#include "snmp/ber.h"

namespace {

// Reads tag and length of a primitive element whose header starts at `pos`,
// `avail` octets being readable from there. On success `*header_size` holds
// the tag and length octets and `*length` the content length, and the whole
// element is known to lie within `avail`.
const uint8_t* read_element_header(const uint8_t* pos, int32_t avail, uint8_t* tag,
                                   uint32_t* length, int32_t* header_size) {
    if (avail < 2) {
        if (avail == 1) {
            *tag = pos[0];
        }
        return nullptr;
    }
    *tag = pos[0];
    // Long forms need their length octets inside the counter too.
    if ((pos[1] & 0x80) != 0) {
        const int32_t n = pos[1] & 0x7F;
        if (n >= 1 && n <= 4 && avail < 2 + n) {
            return nullptr;
        }
    }
    const uint8_t* content = tlv_read_length(pos + 1, length);
    if (content == nullptr) {
        return nullptr;
    }
    *header_size = static_cast<int32_t>(content - pos);
    // Header plus content, added without 32-bit wrap-around.
    if (static_cast<int64_t>(*header_size) + *length > static_cast<int64_t>(avail)) {
        return nullptr;
    }
    return content;
}

// Shared body of the three integer readers: sign-extends from the first
// content octet and shifts every octet in, keeping the low 64 bits.
const uint8_t* read_integer(const uint8_t* pos, int32_t* space, uint8_t* tag, uint64_t* value,
                            uint32_t max_octets, bool leading_zero_rule) {
    uint32_t length = 0;
    int32_t header_size = 0;
    const uint8_t* content = read_element_header(pos, *space, tag, &length, &header_size);
    if (content == nullptr || length > max_octets) {
        return nullptr;
    }
    // The longest unsigned form exists only to carry a set top bit after 00.
    if (leading_zero_rule && length == max_octets && content[0] != 0x00) {
        return nullptr;
    }
    *space -= header_size + static_cast<int32_t>(length);
    uint64_t v = (length > 0 && (content[0] & 0x80) != 0) ? ~uint64_t{0} : 0;
    for (uint32_t i = 0; i < length; ++i) {
        v = (v << 8) | content[i];
    }
    *value = v;
    return content + length;
}

}  // namespace

const uint8_t* tlv_read_length(const uint8_t* pos, uint32_t* length) {
    if (pos[0] < 0x80) {
        *length = pos[0];
        return pos + 1;
    }
    const int n = pos[0] & 0x7F;
    // 0x80 is the indefinite form, which SNMP never uses.
    if (n == 0 || n > 4) {
        return nullptr;
    }
    uint32_t v = 0;
    for (int i = 1; i <= n; ++i) {
        v = (v << 8) | pos[i];
    }
    *length = v;
    return pos + 1 + n;
}

const uint8_t* tlv_read_header(const uint8_t* pos, int32_t* space, uint8_t* tag) {
    if (*space <= 0) {
        return nullptr;
    }
    if ((pos[0] & 0x1F) == 0x1F) {
        *tag = pos[0];
        return nullptr;
    }
    uint32_t length = 0;
    int32_t header_size = 0;
    const uint8_t* content = read_element_header(pos, *space, tag, &length, &header_size);
    if (content == nullptr) {
        return nullptr;
    }
    *space = static_cast<int32_t>(length);
    return content;
}

const uint8_t* tlv_read_int32(const uint8_t* pos, int32_t* space, uint8_t* tag, int32_t* value,
                              int32_t size) {
    if (size != 4) {
        return nullptr;
    }
    uint64_t v = 0;
    const uint8_t* end = read_integer(pos, space, tag, &v, 4, false);
    if (end != nullptr) {
        *value = static_cast<int32_t>(static_cast<uint32_t>(v));
    }
    return end;
}

const uint8_t* tlv_read_uint32(const uint8_t* pos, int32_t* space, uint8_t* tag, uint32_t* value,
                               int32_t size) {
    if (size != 4) {
        return nullptr;
    }
    uint64_t v = 0;
    const uint8_t* end = read_integer(pos, space, tag, &v, 5, true);
    if (end != nullptr) {
        *value = static_cast<uint32_t>(v);
    }
    return end;
}

const uint8_t* tlv_read_counter64(const uint8_t* pos, int32_t* space, uint8_t* tag,
                                  uint32_t words[2], int32_t size) {
    if (size != 8) {
        return nullptr;
    }
    uint64_t v = 0;
    const uint8_t* end = read_integer(pos, space, tag, &v, 9, true);
    if (end != nullptr) {
        words[0] = static_cast<uint32_t>(v >> 32);
        words[1] = static_cast<uint32_t>(v);
    }
    return end;
}

const uint8_t* tlv_read_octets(const uint8_t* pos, int32_t* space, uint8_t* tag, uint8_t* dest,
                               int32_t* length) {
    uint32_t content_length = 0;
    int32_t header_size = 0;
    const uint8_t* content = read_element_header(pos, *space, tag, &content_length, &header_size);
    if (content == nullptr || *length < 0 || content_length > static_cast<uint32_t>(*length)) {
        return nullptr;
    }
    if (content_length > 0) {
        std::memcpy(dest, content, content_length);
    }
    *length = static_cast<int32_t>(content_length);
    *space -= header_size + static_cast<int32_t>(content_length);
    return content + content_length;
}

const uint8_t* tlv_read_oid(const uint8_t* pos, int32_t* space, uint8_t* tag, uint32_t* ids,
                            int32_t* count) {
    uint32_t length = 0;
    int32_t header_size = 0;
    const uint8_t* content = read_element_header(pos, *space, tag, &length, &header_size);
    if (content == nullptr) {
        return nullptr;
    }
    *space -= header_size + static_cast<int32_t>(length);
    const int32_t capacity = *count;
    int32_t stored = 0;
    if (length == 0) {
        if (capacity > 0) {
            ids[stored++] = 0;
        }
        *count = stored;
        return content;
    }
    const uint8_t* p = content;
    const uint8_t* end = content + length;
    bool first = true;
    while (p < end && stored < capacity) {
        if (!first && *p < 0x80) {
            // A one-octet arc, as nearly every arc of the console's names.
            ids[stored++] = *p++;
            continue;
        }
        uint32_t v = 0;
        // A value ends at its first octet with the top bit clear, or at the
        // end of the content.
        while (p < end) {
            const uint8_t octet = *p++;
            v = (v << 7) | (octet & 0x7F);
            if ((octet & 0x80) == 0) {
                break;
            }
        }
        if (first) {
            // Split as 40 * x + y for every value, as the peers this console
            // talks to do; first arc 2 is never sent to it.
            first = false;
            ids[stored++] = (v / 40) % 256;
            if (stored < capacity) {
                ids[stored++] = v % 40;
            }
        } else {
            ids[stored++] = v;
        }
    }
    *count = stored;
    return p;
}
