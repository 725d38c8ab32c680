// Fuzzes the monitor's judgement of an answer: a datagram decoded as the
// transport decodes it, checked against the GET of one of the runs the
// console requests, and applied to the readings when it is taken.
//
// Input: one control octet, then the datagram.
//   octet 0 (mod 7)  the run asked for: identification, temperatures,
//                    receiver group, supply rails, switches, traffic, key
//
// Besides crashes and sanitizer reports, the target checks the contract: an
// answer taken is a GetResponse with one binding per row asked for, in
// order, each with a value its row is read from, and the readings take it
// whenever its error status is 0; a refusal is one line of printable text,
// since it goes to the terminal as it is.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "device/device_readings.h"
#include "device/parameter_catalog.h"
#include "monitor/parameter_fetch.h"
#include "snmp/alloc.h"
#include "snmp/message.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_answer_check: %s\n", what);
        std::abort();
    }
}

constexpr CatalogRun kRuns[] = {kIdentificationRun, kTemperatureRun, kReceiverRun,  kSupplyRun,
                                kControlRun,        kTrafficRun,     {kKeyIndex, 1}};

bool is_text_row(int index) {
    return index >= kIdentificationRun.first_index &&
           index < kIdentificationRun.first_index + kIdentificationRun.count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > static_cast<size_t>(2 * kMaxDatagram)) {
        return -1;
    }
    const CatalogRun run = kRuns[data[0] % (sizeof kRuns / sizeof kRuns[0])];
    const auto length = static_cast<int32_t>(size - 1);
    std::unique_ptr<uint8_t[]> datagram(new uint8_t[size - 1 + 1]);
    std::memcpy(datagram.get(), data + 1, size - 1);

    MessagePtr answer(static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage))));
    require(answer != nullptr, "no memory for the answer");
    if (msg_decode(answer.get(), datagram.get(), length) != 0) {
        return 0;
    }
    MessagePtr request(msg_create(kPduGetRequest));
    require(request != nullptr, "no memory for the request");
    for (int index = run.first_index; index < run.first_index + run.count; ++index) {
        const CatalogRow& row = kParameterCatalog.rows[index];
        require(msg_append_null_binding(request.get(), row.ids, row.length) != nullptr,
                "no memory for a binding");
    }

    const std::string fault = reading_answer_fault(*request, *answer);
    if (!fault.empty()) {
        for (char c : fault) {
            require(c >= 0x20 && c < 0x7F, "a refusal with a character not printable");
        }
        return 0;
    }
    require(answer_mismatch(*request, *answer).empty(), "taken, but its names do not match");
    require(answer->pdu_type == kPduGetResponse, "taken, but no GetResponse");
    int index = run.first_index;
    for (const VarBinding* b = answer->bindings; b != nullptr; b = b->next, ++index) {
        require(find_catalog_index(*b) == index, "taken, but a row out of place");
        if (is_text_row(index)) {
            require(b->type == kTagOctetString && b->value != nullptr, "taken, but not a text");
        } else {
            require(b->value != nullptr && b->value_length == 4 && !b->past_limits,
                    "taken, but not a 32-bit number");
            uint32_t number = 0;
            std::memcpy(&number, b->value, sizeof number);
            require(b->type == kTagInteger || number <= 0x7FFFFFFFu ||
                        !signed_measurement_row(static_cast<Param>(index)),
                    "taken, but an unsigned number a signed row would read negative");
        }
    }
    require(index == run.first_index + run.count, "taken, but rows missing");
    DeviceReadings readings;
    require(apply_answer(readings, answer.get()) == (answer->error_status == 0),
            "the readings refuse an answer taken");
    return 0;
}
