// SNMPv1 request handling of the simulated agent. The answer is the request
// message itself, turned into a GetResponse: that echoes the request id and
// the bindings for free, and only the values (and for GETNEXT the names)
// are replaced.
#include "sim/agent_responder.h"

#include <cstring>
#include <memory>
#include <utility>

#include "snmp/alloc.h"
#include "snmp/message.h"

namespace {

// The version field of an SNMPv1 message: the only version answered, and
// the one every answer carries.
constexpr int32_t kVersion1 = 0;

bool is_answered_pdu(int32_t pdu_type) {
    return pdu_type == kPduGetRequest || pdu_type == kPduGetNextRequest ||
           pdu_type == kPduSetRequest;
}

// The request in `data`, or null when it is not one this agent answers.
MessagePtr decode_request(const std::string& community, const uint8_t* data, int32_t size) {
    if (data == nullptr || size <= 0) {
        return nullptr;
    }
    uint8_t received[kMaxReceivedCommunity];
    int32_t received_length = kMaxReceivedCommunity;
    int32_t version = -1;
    int32_t space = size;
    if (msg_decode_header(data, &space, received, &received_length, &version) == nullptr ||
        version != kVersion1) {
        return nullptr;
    }
    if (static_cast<size_t>(received_length) != community.size() ||
        std::memcmp(received, community.data(), community.size()) != 0) {
        return nullptr;
    }
    MessagePtr request(static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage))));
    if (request == nullptr || msg_decode(request.get(), data, size) != 0 ||
        !is_answered_pdu(request->pdu_type)) {
        return nullptr;
    }
    return request;
}

bool encode_answer(const std::string& community, const SnmpMessage& message,
                   std::vector<uint8_t>* out) {
    // Encoded on the stack and copied once: growing `out` to the largest
    // datagram first would zero 4500 octets for every answer.
    uint8_t encoded[kMaxDatagram];
    int32_t length = kMaxDatagram;
    if (msg_encode(kVersion1, reinterpret_cast<const uint8_t*>(community.data()),
                   static_cast<int32_t>(community.size()), &message, encoded, &length) != 0) {
        out->clear();
        return false;
    }
    out->assign(encoded, encoded + length);
    return true;
}

DeviceValue value_of(const VarBinding& binding) {
    DeviceValue value;
    value.type = binding.type;
    if (binding.type == kTagInteger && binding.value != nullptr && binding.value_length == 4) {
        std::memcpy(&value.number, binding.value, sizeof value.number);
    } else if (binding.type == kTagOctetString && binding.value != nullptr) {
        value.text.assign(reinterpret_cast<const char*>(binding.value),
                          static_cast<size_t>(binding.value_length));
    }
    return value;
}

bool replace_value(VarBinding* binding, const DeviceValue& value) {
    binding_clear_value(binding);
    if (value.type == kTagInteger) {
        return binding_set_int32(binding, value.number) == 0;
    }
    return binding_set_octets(binding, reinterpret_cast<const uint8_t*>(value.text.data()),
                              static_cast<int32_t>(value.text.size())) == 0;
}

bool replace_name(VarBinding* binding, const std::vector<uint32_t>& name) {
    return binding_set_name(binding, name.data(), static_cast<int32_t>(name.size())) == 0;
}

size_t binding_count(const SnmpMessage& message) {
    size_t n = 0;
    for (const VarBinding* b = message.bindings; b != nullptr; b = b->next) {
        ++n;
    }
    return n;
}

// Outcome of handling one request: the error status and index of the
// answer, and whether the answer could be built at all.
struct Handled {
    bool built = true;
    int32_t status = kErrorNone;
    int32_t index = 0;
};

Handled fail_at(int32_t status, int32_t position) {
    Handled h;
    h.status = status;
    h.index = position;
    return h;
}

Handled handle_get(const DeviceModel& model, SnmpMessage* request) {
    std::vector<DeviceObject> objects;
    objects.reserve(binding_count(*request));
    int32_t position = 1;
    for (VarBinding* b = request->bindings; b != nullptr; b = b->next, ++position) {
        DeviceObject object;
        if (!find_device_object(b->name.ids, b->name.count, &object)) {
            return fail_at(kErrorNoSuchName, position);
        }
        objects.push_back(object);
    }
    size_t i = 0;
    for (VarBinding* b = request->bindings; b != nullptr; b = b->next, ++i) {
        if (!replace_value(b, model.value(objects[i]))) {
            Handled h;
            h.built = false;
            return h;
        }
    }
    return Handled{};
}

Handled handle_get_next(const DeviceModel& model, SnmpMessage* request) {
    std::vector<DeviceObject> objects;
    objects.reserve(binding_count(*request));
    int32_t position = 1;
    for (VarBinding* b = request->bindings; b != nullptr; b = b->next, ++position) {
        DeviceObject object;
        if (!next_device_object(b->name.ids, b->name.count, &object)) {
            return fail_at(kErrorNoSuchName, position);
        }
        objects.push_back(object);
    }
    size_t i = 0;
    for (VarBinding* b = request->bindings; b != nullptr; b = b->next, ++i) {
        if (!replace_name(b, device_object_name(objects[i])) ||
            !replace_value(b, model.value(objects[i]))) {
            Handled h;
            h.built = false;
            return h;
        }
    }
    return Handled{};
}

// Checks every binding of a SET; the writes to make are left in `writes`,
// to be applied once the answer is known to go out.
Handled check_set(const DeviceModel& model, const SnmpMessage& request,
                  std::vector<std::pair<DeviceObject, DeviceValue>>* writes) {
    int32_t position = 1;
    for (const VarBinding* b = request.bindings; b != nullptr; b = b->next, ++position) {
        DeviceObject object;
        if (!find_device_object(b->name.ids, b->name.count, &object)) {
            return fail_at(kErrorNoSuchName, position);
        }
        DeviceValue value = value_of(*b);
        switch (model.check_set(object, value)) {
            case SetOutcome::kAccepted:
                writes->emplace_back(object, std::move(value));
                break;
            case SetOutcome::kNotWritable:
                return fail_at(kErrorNoSuchName, position);
            case SetOutcome::kBadValue:
                return fail_at(kErrorBadValue, position);
        }
    }
    return Handled{};
}

void finish_answer(SnmpMessage* message, int32_t status, int32_t index,
                   const AnswerFaults& faults) {
    message->pdu_type = kPduGetResponse;
    message->error_status = status;
    message->error_index = index;
    if (faults.wrong_request_id) {
        // Flipping one bit can never give the request's own id back.
        message->request_id =
            static_cast<int32_t>(static_cast<uint32_t>(message->request_id) ^ 0x40000000u);
    }
}

}  // namespace

bool first_requested_object(const std::string& community, const uint8_t* data, int32_t size,
                            DeviceObject* object) {
    const MessagePtr request = decode_request(community, data, size);
    return request != nullptr && request->bindings != nullptr &&
           find_device_object(request->bindings->name.ids, request->bindings->name.count, object);
}

bool answer_datagram(DeviceModel& model, const std::string& community, const uint8_t* data,
                     int32_t size, const AnswerFaults& faults, std::vector<uint8_t>* answer) {
    answer->clear();
    MessagePtr request = decode_request(community, data, size);
    if (request == nullptr) {
        return false;
    }
    Handled handled;
    std::vector<std::pair<DeviceObject, DeviceValue>> writes;
    if (faults.error_status != kErrorNone) {
        handled = fail_at(faults.error_status, request->bindings != nullptr ? 1 : 0);
    } else if (request->pdu_type == kPduGetRequest) {
        handled = handle_get(model, request.get());
    } else if (request->pdu_type == kPduGetNextRequest) {
        handled = handle_get_next(model, request.get());
    } else {
        handled = check_set(model, *request, &writes);
    }
    if (!handled.built) {
        return false;
    }
    finish_answer(request.get(), handled.status, handled.index, faults);
    if (encode_answer(community, *request, answer)) {
        if (handled.status == kErrorNone) {
            for (const auto& [object, value] : writes) {
                model.apply_set(object, value);
            }
        }
        return true;
    }
    // Too large for one datagram: the request as it came, marked tooBig.
    MessagePtr echo = decode_request(community, data, size);
    if (echo == nullptr) {
        return false;
    }
    finish_answer(echo.get(), kErrorTooBig, 0, faults);
    return encode_answer(community, *echo, answer);
}
