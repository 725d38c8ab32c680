// Fuzzes the simulated transceiver's request handling, which reads whatever
// arrives on its port: any datagram either gives no answer or an answer
// that the console's own decoder reads back, with the request's id.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "sim/agent_responder.h"
#include "sim/device_model.h"
#include "snmp/alloc.h"
#include "snmp/message.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_sim_request: %s\n", what);
        std::abort();
    }
}

}  // namespace

// The first input octet picks the family and the faults; the rest is the
// datagram.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > kMaxDatagram + 1) {
        return 0;
    }
    const uint8_t control = data[0];
    const auto length = static_cast<int32_t>(size - 1);
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[size]);
    std::memcpy(datagram.get(), data + 1, size - 1);

    DeviceModel model((control & 1) != 0 ? DeviceFamily::k1000 : DeviceFamily::k350);
    model.advance_to(static_cast<double>(control >> 4));
    AnswerFaults faults;
    faults.error_status = (control & 2) != 0 ? kErrorGeneral : kErrorNone;
    faults.wrong_request_id = (control & 4) != 0;
    std::vector<uint8_t> answer;
    if (!answer_datagram(model, "quolen", datagram.get(), length, faults, &answer)) {
        require(answer.empty(), "a dropped request left an answer");
        return 0;
    }
    require(!answer.empty() && answer.size() <= static_cast<size_t>(kMaxDatagram),
            "an answer that does not fit a datagram");
    int32_t request_id = 0;
    require(msg_peek_request_id(datagram.get(), length, &request_id) == 0,
            "an answered request without a readable id");
    auto* decoded = static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage)));
    const int result = msg_decode(decoded, answer.data(), static_cast<int32_t>(answer.size()));
    require(result == 0, "the answer does not decode");
    require(decoded->pdu_type == kPduGetResponse, "the answer is not a GetResponse");
    require((decoded->request_id == request_id) != faults.wrong_request_id,
            "the answer's request id");
    msg_free(decoded);
    return 0;
}
