// Message decoder. Acceptance is wider than what the encoder writes: SNMP
// versions 1 and 2c, any PDU tag but Trap, any community, and the exception
// values of version 2c.
#include <cstring>

#include "snmp/alloc.h"
#include "snmp/ber.h"
#include "snmp/diagnostic.h"
#include "snmp/message.h"

namespace {

// A binding's value as read from its element, before it has a block:
// numbers and identifiers in `held`, octet strings left where they lie in
// the datagram.
struct ReadValue {
    int32_t size = 0;                 // octets of the value block; 0: no block
    const uint8_t* octets = nullptr;  // content to copy, when not `held`
    union {
        uint32_t ids[kMaxOidLength];
        uint32_t words[2];
        int32_t number;
    } held;  // written only as far as the value is read
    bool past_limits = false;
};

// Reads the value element at `element` (which `binding_decode` has already
// bounded to `element_size` octets) of a binding of `type` whose content is
// `content_length` octets. Returns 0, or -1 for an identifier longer than a
// decoded one may be.
int read_value(uint8_t type, int32_t content_length, const uint8_t* element, int32_t element_size,
               ReadValue* value) {
    int32_t space = element_size;
    uint8_t tag = 0;
    switch (type) {
        case kTagCounter64:
            value->size = 8;
            // A value past its reader's limits is held as 0: the reading is 0
            // and the rest of the message still counts.
            value->past_limits =
                tlv_read_counter64(element, &space, &tag, value->held.words, 8) == nullptr ||
                content_length == 0;
            return 0;
        // A number without content octets is malformed, not 0: it is held
        // as 0 and flagged like one past the limits.
        case kTagInteger:
            value->size = 4;
            value->past_limits =
                tlv_read_int32(element, &space, &tag, &value->held.number, 4) == nullptr ||
                content_length == 0;
            return 0;
        case kTagCounter32:
        case kTagGauge32:
        case kTagTimeTicks:
        case kTagUInteger32:
            value->size = 4;
            value->past_limits =
                tlv_read_uint32(element, &space, &tag, value->held.words, 4) == nullptr ||
                content_length == 0;
            return 0;
        case kTagOctetString:
        case kTagIpAddress:
        case kTagOpaque:
        case kTagNsapAddress:
            // One octet more than the content, left zero, so the value reads
            // as a terminated text too.
            value->size = content_length + 1;
            value->octets = element + (element_size - content_length);
            return 0;
        case kTagObjectId: {
            int32_t count = kMaxOidLength;
            const uint8_t* end = tlv_read_oid(element, &space, &tag, value->held.ids, &count);
            // More sub-identifiers than a decoded identifier may hold.
            if (end == nullptr || end != element + element_size) {
                return -1;
            }
            value->size = static_cast<int32_t>(sizeof(uint32_t)) * count;
            return 0;
        }
        case kTagNull:
        case kTagNoSuchObject:
        case kTagNoSuchInstance:
        case kTagEndOfMibView:
            return 0;
        default:
            print_diagnostic("bad type returned (%x)", type);
            return 0;
    }
}

// One block for the binding, its name and its value: a binding costs one
// allocation, not three. Null when memory runs out.
VarBinding* new_binding(const uint32_t* name, int32_t name_count, uint8_t type,
                        int32_t value_length, const ReadValue& value) {
    const size_t name_bytes = sizeof(uint32_t) * static_cast<size_t>(name_count);
    const size_t value_bytes = static_cast<size_t>(value.size);
    auto* block =
        static_cast<uint8_t*>(snmp_alloc_zeroed(sizeof(VarBinding) + name_bytes + value_bytes));
    if (block == nullptr) {
        return nullptr;
    }
    auto* binding = reinterpret_cast<VarBinding*>(block);
    static_assert(sizeof(VarBinding) % alignof(uint32_t) == 0, "the name follows aligned");
    binding->name.ids = reinterpret_cast<uint32_t*>(block + sizeof(VarBinding));
    if (name_bytes > 0) {
        std::memcpy(binding->name.ids, name, name_bytes);
    }
    binding->name.count = name_count;
    binding->name_in_record = true;
    binding->type = type;
    binding->value_length = value_length;
    binding->past_limits = value.past_limits;
    if (value_bytes > 0) {
        binding->value = block + sizeof(VarBinding) + name_bytes;
        binding->value_in_record = true;
        if (value.octets != nullptr) {
            // The zero after the content is the block's own.
            std::memcpy(binding->value, value.octets, value_bytes - 1);
        } else {
            binding->value_length = value.size;
            // A value past its reader's limits stays zero.
            if (!value.past_limits) {
                std::memcpy(binding->value, &value.held, value_bytes);
            }
        }
    }
    return binding;
}

// What a message holds in front of its PDU's error status, as far as it was
// read.
struct Prefix {
    bool header_read = false;  // outer header, version and community
    int32_t version = 0;
    bool pdu_read = false;  // the PDU's tag and length
    uint8_t pdu_type = 0;
    int32_t request_id = 0;
};

// The one walk to a message's request id, shared by the decoder and the peek
// so that both always agree on which request a datagram answers. Returns the
// position of the error status, `*space` then counting the rest of the PDU's
// content; or null with `prefix` filled as far as the walk came, since the
// decoder judges the version and keeps the PDU type even then.
const uint8_t* read_prefix(const uint8_t* data, int32_t* space, Prefix* prefix) {
    uint8_t community[kMaxReceivedCommunity];
    int32_t community_length = kMaxReceivedCommunity;
    const uint8_t* pos =
        msg_decode_header(data, space, community, &community_length, &prefix->version);
    if (pos == nullptr) {
        return nullptr;
    }
    prefix->header_read = true;
    uint8_t tag = 0;
    pos = tlv_read_header(pos, space, &tag);
    if (pos == nullptr) {
        return nullptr;
    }
    prefix->pdu_read = true;
    prefix->pdu_type = tag;
    return tlv_read_int32(pos, space, &tag, &prefix->request_id, 4);
}

}  // namespace

const uint8_t* msg_decode_header(const uint8_t* pos, int32_t* space, uint8_t* community,
                                 int32_t* community_length, int32_t* version) {
    uint8_t tag = 0;
    pos = tlv_read_header(pos, space, &tag);
    if (pos == nullptr || tag != kTagSequence) {
        return nullptr;
    }
    pos = tlv_read_int32(pos, space, &tag, version, 4);
    if (pos == nullptr) {
        return nullptr;
    }
    return tlv_read_octets(pos, space, &tag, community, community_length);
}

const uint8_t* binding_decode(const uint8_t* pos, uint32_t* name, int32_t* name_count,
                              uint8_t* type, int32_t* value_length, const uint8_t** value_element,
                              int32_t* space) {
    uint8_t tag = 0;
    int32_t binding_space = *space;
    const uint8_t* content = tlv_read_header(pos, &binding_space, &tag);
    if (content == nullptr || tag != kTagSequence) {
        return nullptr;
    }
    const int32_t binding_length = binding_space;
    const uint8_t* after_name = tlv_read_oid(content, &binding_space, &tag, name, name_count);
    if (after_name == nullptr || tag != kTagObjectId) {
        return nullptr;
    }
    // A name longer than the capacity stops short of its element's end.
    if (after_name != content + (binding_length - binding_space)) {
        return nullptr;
    }
    *value_element = after_name;
    const uint8_t* value = tlv_read_header(after_name, &binding_space, type);
    if (value == nullptr) {
        return nullptr;
    }
    *value_length = binding_space;
    const uint8_t* end = value + binding_space;
    *space -= static_cast<int32_t>(end - pos);
    return end;
}

int msg_decode(SnmpMessage* message, const uint8_t* data, int32_t size) {
    if (message == nullptr || data == nullptr) {
        return -1;
    }
    int32_t space = size;
    Prefix prefix;
    const uint8_t* pos = read_prefix(data, &space, &prefix);
    // Judged in the order the elements come, before the walk's own outcome.
    if (prefix.header_read && (prefix.version < 0 || prefix.version > 2)) {
        print_diagnostic("Wrong version: %ld", static_cast<long>(prefix.version));
        return -1;
    }
    if (prefix.pdu_read) {
        message->pdu_type = prefix.pdu_type;
        if (prefix.pdu_type == kPduTrap) {
            return -1;
        }
    }
    if (pos == nullptr) {
        return -1;
    }
    message->request_id = prefix.request_id;
    uint8_t tag = 0;
    pos = tlv_read_int32(pos, &space, &tag, &message->error_status, 4);
    if (pos != nullptr) {
        pos = tlv_read_int32(pos, &space, &tag, &message->error_index, 4);
    }
    if (pos != nullptr) {
        pos = tlv_read_header(pos, &space, &tag);
    }
    if (pos == nullptr || tag != kTagSequence) {
        return -1;
    }
    VarBinding** tail = &message->bindings;
    while (space > 0) {
        uint32_t name[kMaxOidLength];
        int32_t name_count = kMaxOidLength;
        uint8_t type = 0;
        int32_t value_length = 0;
        const uint8_t* element = nullptr;
        const uint8_t* end =
            binding_decode(pos, name, &name_count, &type, &value_length, &element, &space);
        if (end == nullptr) {
            return -1;
        }
        ReadValue value;
        if (read_value(type, value_length, element, static_cast<int32_t>(end - element), &value) !=
            0) {
            return -1;
        }
        VarBinding* binding = new_binding(name, name_count, type, value_length, value);
        if (binding == nullptr) {
            return kDecodeOutOfMemory;
        }
        *tail = binding;
        tail = &binding->next;
        pos = end;
    }
    return 0;
}

int msg_peek_request_id(const uint8_t* data, int32_t size, int32_t* request_id) {
    if (data == nullptr) {
        return -1;
    }
    int32_t space = size;
    Prefix prefix;
    if (read_prefix(data, &space, &prefix) == nullptr) {
        return -1;
    }
    *request_id = prefix.request_id;
    return 0;
}
