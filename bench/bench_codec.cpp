// The message codec on the poll's largest run (nine bindings): encoding the
// GetRequest, decoding the GetResponse, and building the request.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/poll_messages.h"
#include "snmp/agent_link.h"
#include "snmp/alloc.h"
#include "snmp/message.h"

namespace {

// A request id as a long-running console sends it: four content octets.
constexpr int32_t kRequestId = 0x40000123;

void BM_EncodeGetRequest(benchmark::State& state) {
    const AgentLink link;
    SnmpMessage* request = make_poll_request();
    if (request == nullptr) {
        state.SkipWithError("out of memory");
        return;
    }
    request->request_id = kRequestId;
    request->error_status = 0;
    request->error_index = 0;
    uint8_t out[kMaxDatagram];
    int32_t length = 0;
    for (auto _ : state) {
        length = kMaxDatagram;
        if (msg_encode(link, request, out, &length) != 0) {
            state.SkipWithError("the request does not encode");
            break;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
    state.counters["octets"] = length;
    msg_free(request);
}
BENCHMARK(BM_EncodeGetRequest);

void BM_DecodeGetResponse(benchmark::State& state) {
    SnmpMessage* template_answer = make_poll_answer(kRequestId);
    const std::vector<uint8_t> datagram =
        template_answer != nullptr ? encode_message(*template_answer) : std::vector<uint8_t>{};
    msg_free(template_answer);
    if (datagram.empty()) {
        state.SkipWithError("the answer does not encode");
        return;
    }
    const auto size = static_cast<int32_t>(datagram.size());
    for (auto _ : state) {
        // A zero-filled record from the client's heap, as the transport
        // gives the decoder.
        auto* answer = static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage)));
        const int result = msg_decode(answer, datagram.data(), size);
        benchmark::DoNotOptimize(answer);
        msg_free(answer);
        if (result != 0) {
            state.SkipWithError("the answer does not decode");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
    state.counters["octets"] = size;
}
BENCHMARK(BM_DecodeGetResponse);

void BM_BuildGetRequest(benchmark::State& state) {
    std::vector<std::vector<uint32_t>> names;
    for (uint32_t n = 1; n <= kPollBindings; ++n) {
        names.push_back(poll_oid(n));
    }
    for (auto _ : state) {
        SnmpMessage* request = msg_create(kPduGetRequest);
        for (const std::vector<uint32_t>& name : names) {
            msg_append_null_binding(request, name.data(), static_cast<int32_t>(name.size()));
        }
        benchmark::DoNotOptimize(request);
        msg_free(request);
    }
}
BENCHMARK(BM_BuildGetRequest);

}  // namespace

BENCHMARK_MAIN();
