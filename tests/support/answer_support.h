// Test support for the monitor: answers built as the transport delivers
// them (a GetResponse encoded by our encoder and decoded by our decoder), and
// a full text description of a readings record so that "nothing else
// changed" can be checked and shown field by field.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/device_readings.h"
#include "snmp/message.h"
#include "test_names.h"

// One binding of an answer: a name, a value tag, and the value (`number` for
// the 4-octet tags, `octets` for the octet-string tags, nothing for NULL and
// the exception tags).
struct AnswerBinding {
    std::vector<uint32_t> name;
    uint8_t tag;
    int32_t number;
    std::string octets;
};

// The name of a catalog row, whole (as the agent answers it).
std::vector<uint32_t> catalog_name(int index);

AnswerBinding number_at(int index, int32_t n, uint8_t tag = kTagInteger);
AnswerBinding text_at(int index, const std::string& octets);
AnswerBinding empty_at(int index, uint8_t tag = kTagNull);
AnswerBinding number_named(std::vector<uint32_t> name, int32_t n);

// The datagram of a GetResponse carrying `bindings`.
std::vector<uint8_t> encode_answer(const std::vector<AnswerBinding>& bindings, int32_t request_id,
                                   int32_t error_status);
// That datagram decoded again.
MessagePtr decoded_answer(const std::vector<AnswerBinding>& bindings, int32_t error_status = 0);

// Applies a decoded answer and expects `apply_answer` to accept it.
void apply_or_fail(DeviceReadings& readings, const std::vector<AnswerBinding>& bindings);

// Every field, one "name=value" line each.
std::string describe(const DeviceReadings& readings);

// Sets every field to a distinct non-zero value (family 1000).
void fill_every_field(DeviceReadings& readings);
