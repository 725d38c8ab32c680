// What the simulated agent makes of one received datagram: the SNMPv1
// request handling, from the request's octets to the answer's octets, over
// a device model. No sockets here; the agent loop (simulated_transceiver.h)
// calls it with its lock held.
//
// Requests are answered like an SNMPv1 agent answers them:
// - Only version 0 messages with the agent's community are answered; any
//   other, and anything that does not decode, is dropped without an answer.
//   So are PDUs other than GetRequest, GetNextRequest and SetRequest.
// - The answer is a GetResponse with the request's request id and one
//   binding per request binding, in order.
// - GET: a name the device does not have gives noSuchName (2) with the
//   1-based position of the first such binding as error index, and the
//   request's bindings echoed unchanged.
// - GETNEXT: each binding becomes the next object and its value; a name
//   past the last object gives noSuchName as for GET.
// - SET: all bindings are checked before any is applied. A name that does
//   not exist, or names an object that cannot be set, gives noSuchName (2):
//   SNMPv1 has no notWritable, and RFC 1157 answers a variable that is "not
//   available for set operations" with noSuchName. A value of the wrong type,
//   or one the object does not take (a switch other than 0 or 1, a key
//   longer than kMaxKeyLength), gives badValue (3). In both cases nothing
//   is applied and the bindings are echoed. Otherwise every value is applied
//   and the bindings are echoed as the answer.
// - An answer too large for one datagram gives tooBig (1) with error index
//   0 and the request's bindings echoed, or nothing if even that is too
//   large.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/device_model.h"

// Deliberate misbehaviour applied to an answer that would be sent.
struct AnswerFaults {
    // Non-zero: every request is answered with this error status, its
    // bindings echoed and nothing applied. The error index is 1 when the
    // request has bindings, else 0.
    int32_t error_status = kErrorNone;
    // The answer carries a request id that differs from the request's.
    bool wrong_request_id = false;
};

// The object that the request in `data` names first, for a request this
// agent answers (version, community and PDU); false otherwise.
bool first_requested_object(const std::string& community, const uint8_t* data, int32_t size,
                            DeviceObject* object);

// Handles the request in `data` (`size` octets) against `model` and stores
// the answer datagram in `*answer`. Returns false, `*answer` emptied, when
// the request is to be dropped. `model` must already be advanced to the
// time of the request.
bool answer_datagram(DeviceModel& model, const std::string& community, const uint8_t* data,
                     int32_t size, const AnswerFaults& faults, std::vector<uint8_t>* answer);
