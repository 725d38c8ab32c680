// SNMP messages in memory and their encoding into one community-based
// datagram (version, community, PDU) and back.
//
// Ownership: a message owns its bindings, a binding owns its name array and
// its value block, and `msg_free` releases the whole tree. A decoded binding
// holds its name and value in its own block (see `VarBinding`). Every record and
// block comes from the non-throwing heap; builders return null (or -1) when
// memory runs out and never throw.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "snmp/net.h"

struct AgentLink;

// PDU tags.
constexpr int32_t kPduGetRequest = 0xA0;
constexpr int32_t kPduGetNextRequest = 0xA1;
constexpr int32_t kPduGetResponse = 0xA2;
constexpr int32_t kPduSetRequest = 0xA3;
constexpr int32_t kPduTrap = 0xA4;  // refused by encoder and decoder
constexpr int32_t kPduGetBulkRequest = 0xA5;

// Value tags.
constexpr uint8_t kTagInteger = 0x02;
constexpr uint8_t kTagBitString = 0x03;
constexpr uint8_t kTagOctetString = 0x04;
constexpr uint8_t kTagNull = 0x05;
constexpr uint8_t kTagObjectId = 0x06;
constexpr uint8_t kTagSequence = 0x30;
constexpr uint8_t kTagIpAddress = 0x40;
constexpr uint8_t kTagCounter32 = 0x41;
constexpr uint8_t kTagGauge32 = 0x42;
constexpr uint8_t kTagTimeTicks = 0x43;
constexpr uint8_t kTagOpaque = 0x44;
constexpr uint8_t kTagNsapAddress = 0x45;
constexpr uint8_t kTagCounter64 = 0x46;
constexpr uint8_t kTagUInteger32 = 0x47;
constexpr uint8_t kTagNoSuchObject = 0x80;
constexpr uint8_t kTagNoSuchInstance = 0x81;
constexpr uint8_t kTagEndOfMibView = 0x82;

// Error statuses of an SNMPv1 answer.
constexpr int32_t kErrorNone = 0;
constexpr int32_t kErrorTooBig = 1;
constexpr int32_t kErrorNoSuchName = 2;
constexpr int32_t kErrorBadValue = 3;
constexpr int32_t kErrorReadOnly = 4;
constexpr int32_t kErrorGeneral = 5;

// Longest name or identifier value a decoded message may carry.
constexpr int32_t kMaxOidLength = 128;
// Largest datagram the console sends or accepts.
constexpr int32_t kMaxDatagram = 4500;
// Longest community a received message may carry: the decoder reads it into
// a scratch area of this many octets, and a longer one fails the message.
constexpr int32_t kMaxReceivedCommunity = 256;

// Result of `msg_decode` when memory ran out (as opposed to -1, a malformed
// datagram).
constexpr int kDecodeOutOfMemory = -2;

struct ObjectId {
    uint32_t* ids;  // owned heap array of `count` sub-identifiers inside a binding
    int32_t count;
};

// How `value` is held, by `type`:
//   0x02                      4 octets, int32_t in host order, length 4
//   0x41 0x42 0x43 0x47       4 octets, uint32_t in host order, length 4
//   0x46                      8 octets: high word, low word, length 8
//   0x04 0x40 0x44 0x45       the content octets; a decoded block has one
//                             extra zero octet (not counted) so it can be
//                             read as a zero-terminated text
//   0x06                      uint32_t sub-identifiers, length 4 * count
//   0x05 0x80 0x81 0x82       no block (null); length as read (0)
//   0x03 (sending only)       the whole BIT STRING content
// A decoded number past its reader's limits (a 5-octet INTEGER, say), or
// without content octets (malformed), is held as 0 and flagged, so a reader
// that must not take it for 0 can tell.
struct VarBinding {
    VarBinding* next;
    ObjectId name;
    uint8_t type;
    uint8_t* value;
    int32_t value_length;
    bool past_limits;  // decoded only; the encoder ignores it
    // Set by the decoder: the name or the value lives in the binding's own
    // block and goes with it, so it is never released on its own. Code that
    // replaces a decoded name or value does it with `binding_set_name` and
    // `binding_clear_value`, which know.
    bool name_in_record;
    bool value_in_record;
};

struct SnmpMessage {
    SocketAddress peer;  // agent address (request) or source (answer); not on the wire
    int32_t pdu_type;
    int32_t request_id;    // 0 until the transport numbers the request
    int32_t error_status;  // -1: not yet set
    int32_t error_index;   // -1: not yet set
    VarBinding* bindings;  // singly linked, in wire order
};

// A new message of the given PDU type: peer zero, request id 0, error status
// and index -1, no bindings. Null when memory runs out.
SnmpMessage* msg_create(int32_t pdu_type);

// Appends a binding with a copy of the name and a NULL value at the tail.
// Returns the binding, or null (and the message unchanged) when `message` is
// null or memory runs out.
VarBinding* msg_append_null_binding(SnmpMessage* message, const uint32_t* ids, int32_t count);

// Give a fresh binding (no value yet) an INTEGER or OCTET STRING value.
// Return 0, or -1 when `binding` is null or memory runs out (the binding then
// keeps its NULL value).
int binding_set_int32(VarBinding* binding, int32_t value);
int binding_set_octets(VarBinding* binding, const uint8_t* octets, int32_t length);

// Drops a binding's value, as any binding may hold it (decoded or built):
// the value becomes NULL with no block, ready for `binding_set_int32` or
// `binding_set_octets`. Null does nothing.
void binding_clear_value(VarBinding* binding);

// Gives a binding a copy of `ids` as its name, releasing the old one.
// Returns 0, or -1 (the binding unchanged) when `binding` is null, the name
// is not backed by ids, or memory runs out.
int binding_set_name(VarBinding* binding, const uint32_t* ids, int32_t count);

// Releases the message, its bindings, names and values. Null does nothing.
void msg_free(SnmpMessage* message);

// The standard name of an error status ("tooBig", "noSuchName", "badValue",
// "readOnly", "genErr"), or "error N" for any other value.
std::string error_status_name(int32_t status);

// Owns a message for callers above the codec: frees it with `msg_free`.
struct MessageFree {
    void operator()(SnmpMessage* message) const { msg_free(message); }
};
using MessagePtr = std::unique_ptr<SnmpMessage, MessageFree>;

// Encodes `message` with the given version and community (`community_length`
// octets, no terminator) into `out`. `*length` is the capacity on entry and
// the encoded length on success. Returns 0, or -1 (length unchanged) when the
// PDU type is Trap, a binding's type or value length is invalid, the
// community length is negative or not backed by octets, or anything does not
// fit.
int msg_encode(int32_t version, const uint8_t* community, int32_t community_length,
               const SnmpMessage* message, uint8_t* out, int32_t* length);
// The same with the link's version and community; -1 also when the link's
// community length lies outside its buffer.
int msg_encode(const AgentLink& link, const SnmpMessage* message, uint8_t* out, int32_t* length);

// Decodes `size` received octets into `message`, which must be zero-filled
// apart from `peer`. Returns 0; -1 for a malformed datagram; or
// kDecodeOutOfMemory. On failure the message keeps what was decoded so far
// and must still be released with `msg_free`.
int msg_decode(SnmpMessage* message, const uint8_t* data, int32_t size);

// Reads only the request id of a datagram (outer header, version, community,
// PDU header, request id), by the same walk as `msg_decode` but without
// judging version or PDU type. Returns 0 and sets `*request_id`, or -1 when
// those elements cannot be read. Used to tell a late or foreign answer from
// the awaited one before decoding it whole.
int msg_peek_request_id(const uint8_t* data, int32_t size, int32_t* request_id);

// Steps of the codec, exposed for tests.
uint8_t* binding_encode(uint8_t* pos, const uint32_t* name, const int32_t* name_count, uint8_t type,
                        int32_t value_length, const uint8_t* value, int32_t* space);
const uint8_t* binding_decode(const uint8_t* pos, uint32_t* name, int32_t* name_count,
                              uint8_t* type, int32_t* value_length, const uint8_t** value_element,
                              int32_t* space);
uint8_t* msg_encode_header(uint8_t* pos, int32_t* space, int32_t version, const uint8_t* community,
                           int32_t community_length, int32_t pdu_length);
const uint8_t* msg_decode_header(const uint8_t* pos, int32_t* space, uint8_t* community,
                                 int32_t* community_length, int32_t* version);
