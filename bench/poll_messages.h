// The messages of the poll's largest run, shared by the benchmarks: the
// GetRequest for the nine traffic-and-status rows 1.3.6.1.4.1.47.2.6.N.0
// (NULL values), as a poll builds it, and the agent's GetResponse to it
// (a mix of INTEGER and Counter32 values).
#pragma once

#include <cstdint>
#include <vector>

#include "snmp/message.h"

constexpr int32_t kPollBindings = 9;

// The identifier of traffic-and-status row `n` (1 to 9), 11 sub-identifiers.
std::vector<uint32_t> poll_oid(uint32_t n);

// A new GetRequest, fresh as from `msg_create`: request id 0, error status
// and index -1. Null when memory runs out.
SnmpMessage* make_poll_request();

// A new GetResponse with the given request id, error status and index 0.
// Null when memory runs out.
SnmpMessage* make_poll_answer(int32_t request_id);

// The message encoded with a default link (version 0, the default
// community); empty when it does not encode.
std::vector<uint8_t> encode_message(const SnmpMessage& message);
