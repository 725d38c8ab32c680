// Message encoder. The message is built from the inside out, alternating
// between the caller's buffer and a scratch area, so that every constructed
// element gets a minimal length without a separate pass that sizes it.
#include <cstring>

#include "snmp/agent_link.h"
#include "snmp/ber.h"
#include "snmp/message.h"

namespace {

// Copies `n` octets to `pos` when they fit in `*space`.
uint8_t* append(uint8_t* pos, int32_t* space, const uint8_t* source, int32_t n) {
    if (pos == nullptr || *space < n) {
        return nullptr;
    }
    std::memcpy(pos, source, static_cast<size_t>(n));
    *space -= n;
    return pos + n;
}

uint8_t* encode_value(uint8_t* pos, int32_t* space, uint8_t type, int32_t value_length,
                      const uint8_t* value) {
    switch (type) {
        case kTagInteger: {
            if (value_length != 4 || value == nullptr) {
                return nullptr;
            }
            int32_t v = 0;
            std::memcpy(&v, value, sizeof v);
            return tlv_write_int32(pos, space, type, &v, 4);
        }
        case kTagCounter32:
        case kTagGauge32:
        case kTagTimeTicks:
        case kTagUInteger32: {
            if (value_length != 4 || value == nullptr) {
                return nullptr;
            }
            uint32_t v = 0;
            std::memcpy(&v, value, sizeof v);
            return tlv_write_uint32(pos, space, type, &v, 4);
        }
        case kTagCounter64: {
            if (value_length != 8 || value == nullptr) {
                return nullptr;
            }
            uint32_t words[2];
            std::memcpy(words, value, sizeof words);
            return tlv_write_counter64(pos, space, type, words, 8);
        }
        case kTagBitString:
            if (value == nullptr) {
                return nullptr;
            }
            return tlv_write_bits(pos, space, type, value, value_length);
        case kTagOctetString:
        case kTagIpAddress:
        case kTagOpaque:
        case kTagNsapAddress:
            if (value_length > 0 && value == nullptr) {
                return nullptr;
            }
            return tlv_write_octets(pos, space, type, value, value_length);
        case kTagNull:
        case kTagNoSuchObject:
        case kTagNoSuchInstance:
        case kTagEndOfMibView:
            return tlv_write_null(pos, space, type);
        case kTagObjectId: {
            // Anything longer could not fit the identifier writer's scratch area.
            constexpr int32_t kMaxIds = kMaxOidLength + 2;
            const int32_t count = value_length / 4;
            if (value_length < 0 || count > kMaxIds || (count > 0 && value == nullptr)) {
                return nullptr;
            }
            uint32_t ids[kMaxIds];
            if (count > 0) {
                std::memcpy(ids, value, sizeof(uint32_t) * static_cast<size_t>(count));
            }
            return tlv_write_oid(pos, space, type, ids, count);
        }
        default:
            return nullptr;
    }
}

}  // namespace

uint8_t* binding_encode(uint8_t* pos, const uint32_t* name, const int32_t* name_count, uint8_t type,
                        int32_t value_length, const uint8_t* value, int32_t* space) {
    if (*space < 4 || (*name_count > 0 && name == nullptr)) {
        return nullptr;
    }
    uint8_t* start = pos;
    *space -= 4;
    pos = tlv_write_oid(pos + 4, space, kTagObjectId, name, *name_count);
    if (pos == nullptr) {
        return nullptr;
    }
    pos = encode_value(pos, space, type, value_length, value);
    if (pos == nullptr) {
        return nullptr;
    }
    int32_t reserved = 4;
    if (tlv_write_fixed_header(start, &reserved, kTagSequence,
                               static_cast<int32_t>(pos - start - 4)) == nullptr) {
        return nullptr;
    }
    return pos;
}

uint8_t* msg_encode_header(uint8_t* pos, int32_t* space, int32_t version, const uint8_t* community,
                           int32_t community_length, int32_t pdu_length) {
    if (community_length < 0 || (community_length > 0 && community == nullptr)) {
        return nullptr;
    }
    uint8_t* start = pos;
    if (*space < 4) {
        return nullptr;
    }
    *space -= 4;
    pos = tlv_write_int32(pos + 4, space, kTagInteger, &version, 4);
    if (pos == nullptr) {
        return nullptr;
    }
    pos = tlv_write_octets(pos, space, kTagOctetString, community, community_length);
    if (pos == nullptr) {
        return nullptr;
    }
    // The outer length counts what was written, so a long community or a
    // large version still gives a true length.
    const int64_t content = (pos - start - 4) + static_cast<int64_t>(pdu_length);
    int32_t reserved = 4;
    if (content > 65535 || tlv_write_fixed_header(start, &reserved, kTagSequence,
                                                  static_cast<int32_t>(content)) == nullptr) {
        return nullptr;
    }
    return pos;
}

int msg_encode(int32_t version, const uint8_t* community, int32_t community_length,
               const SnmpMessage* message, uint8_t* out, int32_t* length) {
    if (message == nullptr || out == nullptr || length == nullptr) {
        return -1;
    }
    if (message->pdu_type == kPduTrap || message->pdu_type < 0 || message->pdu_type > 0xFF) {
        return -1;
    }
    const int32_t capacity = *length;
    uint8_t scratch[kMaxDatagram];

    // Bindings, one after another, at the start of the output.
    int32_t space = capacity;
    uint8_t* pos = out;
    for (const VarBinding* b = message->bindings; b != nullptr; b = b->next) {
        pos = binding_encode(pos, b->name.ids, &b->name.count, b->type, b->value_length, b->value,
                             &space);
        if (pos == nullptr) {
            return -1;
        }
    }
    const auto bindings_length = static_cast<int32_t>(pos - out);

    // The variable-bindings SEQUENCE in the scratch area.
    int32_t scratch_space = kMaxDatagram;
    uint8_t* s = tlv_write_header(scratch, &scratch_space, kTagSequence, bindings_length);
    s = append(s, &scratch_space, out, bindings_length);
    if (s == nullptr) {
        return -1;
    }
    const auto varbinds_length = static_cast<int32_t>(s - scratch);

    // The PDU content in the output.
    space = capacity;
    pos = tlv_write_int32(out, &space, kTagInteger, &message->request_id, 4);
    if (pos != nullptr) {
        pos = tlv_write_int32(pos, &space, kTagInteger, &message->error_status, 4);
    }
    if (pos != nullptr) {
        pos = tlv_write_int32(pos, &space, kTagInteger, &message->error_index, 4);
    }
    pos = append(pos, &space, scratch, varbinds_length);
    if (pos == nullptr) {
        return -1;
    }
    const auto pdu_content_length = static_cast<int32_t>(pos - out);

    // The PDU element in the scratch area.
    scratch_space = kMaxDatagram;
    s = tlv_write_header(scratch, &scratch_space, static_cast<uint8_t>(message->pdu_type),
                         pdu_content_length);
    s = append(s, &scratch_space, out, pdu_content_length);
    if (s == nullptr) {
        return -1;
    }
    const auto pdu_length = static_cast<int32_t>(s - scratch);

    // Outer header, version and community, then the PDU, in the output.
    space = capacity;
    pos = msg_encode_header(out, &space, version, community, community_length, pdu_length);
    pos = append(pos, &space, scratch, pdu_length);
    if (pos == nullptr) {
        return -1;
    }
    *length = static_cast<int32_t>(pos - out);
    return 0;
}

int msg_encode(const AgentLink& link, const SnmpMessage* message, uint8_t* out, int32_t* length) {
    if (link.community_length < 0 ||
        link.community_length > static_cast<int32_t>(sizeof link.community)) {
        return -1;
    }
    return msg_encode(link.version, reinterpret_cast<const uint8_t*>(link.community),
                      link.community_length, message, out, length);
}
