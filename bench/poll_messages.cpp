#include "bench/poll_messages.h"

#include <cstring>

#include "snmp/agent_link.h"
#include "snmp/alloc.h"

namespace {

// Values of a device in service: rates, counters, the status word.
constexpr int32_t kAnswerValues[kPollBindings] = {41250, 39811, 17,   123456789, 0x1F3,
                                                  350,   350,   2048, 977};
constexpr bool kIsCounter[kPollBindings] = {false, false, false, true, false,
                                            false, false, true,  true};

bool set_counter32(VarBinding* binding, uint32_t value) {
    auto* block = static_cast<uint8_t*>(snmp_alloc_zeroed(sizeof value));
    if (block == nullptr) {
        return false;
    }
    std::memcpy(block, &value, sizeof value);
    binding->type = kTagCounter32;
    binding->value = block;
    binding->value_length = sizeof value;
    return true;
}

}  // namespace

std::vector<uint32_t> poll_oid(uint32_t n) {
    return {1, 3, 6, 1, 4, 1, 47, 2, 6, n, 0};
}

SnmpMessage* make_poll_request() {
    SnmpMessage* request = msg_create(kPduGetRequest);
    for (uint32_t n = 1; request != nullptr && n <= kPollBindings; ++n) {
        const std::vector<uint32_t> name = poll_oid(n);
        if (msg_append_null_binding(request, name.data(), static_cast<int32_t>(name.size())) ==
            nullptr) {
            msg_free(request);
            request = nullptr;
        }
    }
    return request;
}

SnmpMessage* make_poll_answer(int32_t request_id) {
    SnmpMessage* answer = msg_create(kPduGetResponse);
    if (answer == nullptr) {
        return nullptr;
    }
    answer->request_id = request_id;
    answer->error_status = 0;
    answer->error_index = 0;
    for (uint32_t n = 1; n <= kPollBindings; ++n) {
        const std::vector<uint32_t> name = poll_oid(n);
        VarBinding* binding =
            msg_append_null_binding(answer, name.data(), static_cast<int32_t>(name.size()));
        const int32_t value = kAnswerValues[n - 1];
        const bool ok = binding != nullptr &&
                        (kIsCounter[n - 1] ? set_counter32(binding, static_cast<uint32_t>(value))
                                           : binding_set_int32(binding, value) == 0);
        if (!ok) {
            msg_free(answer);
            return nullptr;
        }
    }
    return answer;
}

std::vector<uint8_t> encode_message(const SnmpMessage& message) {
    const AgentLink link;
    std::vector<uint8_t> out(kMaxDatagram);
    int32_t length = kMaxDatagram;
    if (msg_encode(link, &message, out.data(), &length) != 0) {
        return {};
    }
    out.resize(static_cast<size_t>(length));
    return out;
}
