// Fuzzes the message decoder with whole datagrams: `msg_decode` and
// `msg_peek_request_id` on the input and, when it decodes, a round through
// the encoder and the decoder again.
//
// The decoder accepts more than the encoder writes (long length forms, any
// version 0 to 2, any community, values past their readers' limits), so the
// input and its re-encoding may differ. What must hold:
// - a datagram that decodes has a readable request id, the decoded one;
// - whatever the encoder writes decodes again, to the same header fields and
//   number of bindings;
// - encoding that second message gives the same octets: a decoded message's
//   encoding is a fixed point of decode-then-encode. This holds only when the
//   first two arcs of every identifier give an octet below 0x80: the encoder
//   writes them as the single octet (40 * x + y) % 256, and an octet with the
//   top bit set is read back as the start of a longer value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "snmp/agent_link.h"
#include "snmp/alloc.h"
#include "snmp/message.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_msg_decode: %s\n", what);
        std::abort();
    }
}

// Decodes into a zero-filled record from the client's own heap, as the
// transport does. The record is returned whatever the result, since a failed
// decode may have attached bindings that must be released.
MessagePtr decode(const uint8_t* data, int32_t size, int* result) {
    MessagePtr message(static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage))));
    require(message != nullptr, "no memory for the message record");
    *result = msg_decode(message.get(), data, size);
    return message;
}

int32_t count_bindings(const SnmpMessage& message) {
    int32_t n = 0;
    for (const VarBinding* b = message.bindings; b != nullptr; b = b->next) {
        ++n;
    }
    return n;
}

// Whether the octet that the encoder writes for the first two arcs ends its
// value (top bit clear), so that the decoder reads it alone.
bool first_octet_is_whole(const uint32_t* ids, int32_t count) {
    return count < 2 || ((40 * ids[0] + ids[1]) & 0xFF) < 0x80;
}

bool identifiers_survive_encoding(const SnmpMessage& message) {
    for (const VarBinding* b = message.bindings; b != nullptr; b = b->next) {
        if (!first_octet_is_whole(b->name.ids, b->name.count)) {
            return false;
        }
        if (b->type == kTagObjectId &&
            !first_octet_is_whole(reinterpret_cast<const uint32_t*>(b->value),
                                  b->value_length / 4)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(2 * kMaxDatagram)) {
        return -1;
    }
    // An exactly-sized copy, so that AddressSanitizer sees any read past the
    // end of the datagram.
    const auto length = static_cast<int32_t>(size);
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[size]);
    if (size > 0) {
        std::memcpy(datagram.get(), data, size);
    }

    int32_t peeked = 0;
    const int peek_result = msg_peek_request_id(datagram.get(), length, &peeked);

    int result = 0;
    MessagePtr first = decode(datagram.get(), length, &result);
    require(result == 0 || result == -1, "decoder result out of range");
    if (result != 0) {
        return 0;
    }
    // The peek reads the same elements that the decoder has just read.
    require(peek_result == 0, "decoded datagram without a readable request id");
    require(peeked == first->request_id, "peeked request id differs from the decoded one");

    static const AgentLink link;
    uint8_t encoded[kMaxDatagram];
    int32_t encoded_length = kMaxDatagram;
    if (msg_encode(link, first.get(), encoded, &encoded_length) != 0) {
        // Values the encoder refuses (BIT STRING, unknown tags) or growth
        // past the datagram limit: nothing to compare.
        return 0;
    }
    require(encoded_length > 0 && encoded_length <= kMaxDatagram, "encoded length out of range");

    std::unique_ptr<uint8_t[]> reencoded(new uint8_t[static_cast<size_t>(encoded_length)]);
    std::memcpy(reencoded.get(), encoded, static_cast<size_t>(encoded_length));
    MessagePtr second = decode(reencoded.get(), encoded_length, &result);
    require(result == 0, "the encoder's output does not decode");
    require(second->pdu_type == first->pdu_type, "PDU type changed");
    require(second->request_id == first->request_id, "request id changed");
    require(second->error_status == first->error_status, "error status changed");
    require(second->error_index == first->error_index, "error index changed");
    require(count_bindings(*second) == count_bindings(*first), "number of bindings changed");

    if (!identifiers_survive_encoding(*first)) {
        return 0;
    }
    uint8_t again[kMaxDatagram];
    int32_t again_length = kMaxDatagram;
    require(msg_encode(link, second.get(), again, &again_length) == 0,
            "a message decoded from the encoder's output does not encode");
    require(again_length == encoded_length &&
                std::memcmp(again, encoded, static_cast<size_t>(encoded_length)) == 0,
            "second encoding differs from the first");
    return 0;
}
