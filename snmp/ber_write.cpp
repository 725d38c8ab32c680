// BER element writers. Each tests the free space before it writes a part.
#include <cstring>

#include "snmp/ber.h"

namespace {

constexpr int32_t kMaxLength = 65535;
constexpr int32_t kOidScratch = 128;

// Writes tag, length and the `n` content octets already laid out big-endian
// in `octets`.
uint8_t* write_integer_octets(uint8_t* pos, int32_t* space, uint8_t tag, const uint8_t* octets,
                              int32_t n) {
    pos = tlv_write_header(pos, space, tag, n);
    if (pos == nullptr || *space < n) {
        return nullptr;
    }
    std::memcpy(pos, octets, static_cast<size_t>(n));
    *space -= n;
    return pos + n;
}

// Drops leading octets of a big-endian run while more than one is left and
// the top nine bits are all zero (or, when `signed_form`, all ones too):
// the minimal X.690 form. Returns the index of the first octet kept.
int32_t minimal_start(const uint8_t* octets, int32_t n, bool signed_form) {
    int32_t start = 0;
    while (n - start > 1) {
        const uint8_t a = octets[start];
        const bool b = (octets[start + 1] & 0x80) != 0;
        const bool zeros = a == 0x00 && !b;
        const bool ones = a == 0xFF && b;
        if (!(zeros || (signed_form && ones))) {
            break;
        }
        ++start;
    }
    return start;
}

// Big-endian octets of an unsigned value with a leading 00 when its top bit
// is set, then trimmed to the minimal form.
uint8_t* write_unsigned(uint8_t* pos, int32_t* space, uint8_t tag, uint64_t value, int32_t width) {
    uint8_t octets[9] = {0};
    for (int32_t i = 0; i < width; ++i) {
        octets[1 + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
    }
    const int32_t total = width + 1;
    if ((octets[1] & 0x80) != 0) {
        return write_integer_octets(pos, space, tag, octets, total);
    }
    const int32_t start = 1 + minimal_start(octets + 1, width, false);
    return write_integer_octets(pos, space, tag, octets + start, total - start);
}

}  // namespace

uint8_t* tlv_write_length(uint8_t* pos, int32_t* space, int32_t length) {
    if (length < 0 || length > kMaxLength) {
        return nullptr;
    }
    if (length < 128) {
        if (*space < 1) {
            return nullptr;
        }
        pos[0] = static_cast<uint8_t>(length);
        *space -= 1;
        return pos + 1;
    }
    if (length <= 255) {
        if (*space < 2) {
            return nullptr;
        }
        pos[0] = 0x81;
        pos[1] = static_cast<uint8_t>(length);
        *space -= 2;
        return pos + 2;
    }
    if (*space < 3) {
        return nullptr;
    }
    pos[0] = 0x82;
    pos[1] = static_cast<uint8_t>(length >> 8);
    pos[2] = static_cast<uint8_t>(length);
    *space -= 3;
    return pos + 3;
}

uint8_t* tlv_write_header(uint8_t* pos, int32_t* space, uint8_t tag, int32_t length) {
    if (*space < 1 || length < 0 || length > kMaxLength) {
        return nullptr;
    }
    pos[0] = tag;
    *space -= 1;
    return tlv_write_length(pos + 1, space, length);
}

uint8_t* tlv_write_fixed_header(uint8_t* pos, int32_t* space, uint8_t tag, int32_t length) {
    if (*space < 4 || length < 0 || length > kMaxLength) {
        return nullptr;
    }
    pos[0] = tag;
    pos[1] = 0x82;
    pos[2] = static_cast<uint8_t>(length >> 8);
    pos[3] = static_cast<uint8_t>(length);
    *space -= 4;
    return pos + 4;
}

uint8_t* tlv_write_int32(uint8_t* pos, int32_t* space, uint8_t tag, const int32_t* value,
                         int32_t size) {
    if (size != 4) {
        return nullptr;
    }
    const uint32_t v = static_cast<uint32_t>(*value);
    const uint8_t octets[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                               static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    const int32_t start = minimal_start(octets, 4, true);
    return write_integer_octets(pos, space, tag, octets + start, 4 - start);
}

uint8_t* tlv_write_uint32(uint8_t* pos, int32_t* space, uint8_t tag, const uint32_t* value,
                          int32_t size) {
    if (size != 4) {
        return nullptr;
    }
    return write_unsigned(pos, space, tag, *value, 4);
}

uint8_t* tlv_write_counter64(uint8_t* pos, int32_t* space, uint8_t tag, const uint32_t words[2],
                             int32_t size) {
    if (size != 8) {
        return nullptr;
    }
    const uint64_t v = (static_cast<uint64_t>(words[0]) << 32) | words[1];
    return write_unsigned(pos, space, tag, v, 8);
}

uint8_t* tlv_write_octets(uint8_t* pos, int32_t* space, uint8_t tag, const uint8_t* source,
                          int32_t length) {
    pos = tlv_write_header(pos, space, tag, length);
    if (pos == nullptr || *space < length) {
        return nullptr;
    }
    if (length > 0) {
        std::memcpy(pos, source, static_cast<size_t>(length));
    }
    *space -= length;
    return pos + length;
}

uint8_t* tlv_write_bits(uint8_t* pos, int32_t* space, uint8_t tag, const uint8_t* source,
                        int32_t length) {
    if (length < 1 || source[0] > 7) {
        return nullptr;
    }
    return tlv_write_octets(pos, space, tag, source, length);
}

uint8_t* tlv_write_null(uint8_t* pos, int32_t* space, uint8_t tag) {
    return tlv_write_header(pos, space, tag, 0);
}

uint8_t* tlv_write_oid(uint8_t* pos, int32_t* space, uint8_t tag, const uint32_t* ids,
                       int32_t count) {
    uint8_t scratch[kOidScratch];
    int32_t n = 0;
    if (count < 2) {
        scratch[n++] = 0x00;
    } else {
        // The first two arcs share one octet; every identifier the console
        // sends begins 1.3, which gives 0x2B.
        scratch[n++] = static_cast<uint8_t>(40 * ids[0] + ids[1]);
        for (int32_t i = 2; i < count; ++i) {
            const uint32_t v = ids[i];
            if (v < 0x80) {
                // One octet, as nearly every arc of the console's names.
                if (n + 1 > kOidScratch) {
                    return nullptr;
                }
                scratch[n++] = static_cast<uint8_t>(v);
                continue;
            }
            int shift = 28;
            while (shift > 0 && (v >> shift) == 0) {
                shift -= 7;
            }
            // `shift` is now the highest seven-bit group with a bit set (or 0).
            if (n + shift / 7 + 1 > kOidScratch) {
                return nullptr;
            }
            for (; shift > 0; shift -= 7) {
                scratch[n++] = static_cast<uint8_t>(((v >> shift) & 0x7F) | 0x80);
            }
            scratch[n++] = static_cast<uint8_t>(v & 0x7F);
        }
    }
    return tlv_write_octets(pos, space, tag, scratch, n);
}
