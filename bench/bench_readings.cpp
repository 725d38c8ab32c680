// Decoding one answer of the poll's largest run into the readings.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "device/device_readings.h"
#include "device/parameter_catalog.h"
#include "snmp/alloc.h"
#include "snmp/message.h"

namespace {

// The nine traffic-and-status rows answered with INTEGER values, as decoded
// from the wire.
SnmpMessage* traffic_answer() {
    SnmpMessage* answer = msg_create(kPduGetResponse);
    answer->error_status = 0;
    answer->error_index = 0;
    for (int i = 0; i < kTrafficRun.count; ++i) {
        const CatalogRow& row = kParameterCatalog.rows[kTrafficRun.first_index + i];
        binding_set_int32(msg_append_null_binding(answer, row.ids, row.length), 1000 + i);
    }
    return answer;
}

void BM_ApplyAnswer9(benchmark::State& state) {
    SnmpMessage* answer = traffic_answer();
    DeviceReadings readings;
    for (auto _ : state) {
        benchmark::DoNotOptimize(apply_answer(readings, answer));
        benchmark::ClobberMemory();
    }
    msg_free(answer);
}
BENCHMARK(BM_ApplyAnswer9);

}  // namespace

BENCHMARK_MAIN();
