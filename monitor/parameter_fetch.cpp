// Requesting a run of catalog rows, and checking that the answer carries them.
#include "monitor/parameter_fetch.h"

#include "monitor/parameter_catalog.h"

namespace {

// The identifier sent for a row: up to and including its first zero, the
// instance sub-identifier.
int32_t requested_length(const CatalogRow& row) {
    for (int32_t i = 0; i < row.length; ++i) {
        if (row.ids[i] == 0) {
            return i + 1;
        }
    }
    return row.length;
}

}  // namespace

bool answer_carries_rows(const SnmpMessage* answer, int first_index, int count) {
    if (answer == nullptr || count > kCatalogRows) {
        return false;
    }
    bool carried[kCatalogRows] = {};
    for (const VarBinding* b = answer->bindings; b != nullptr; b = b->next) {
        const int index = find_catalog_index(*b);
        if (index >= 0 && index < kCatalogRows) {
            carried[index] = true;
        }
    }
    for (int index = first_index; index < first_index + count; ++index) {
        if (index < 0 || index >= kCatalogRows || !carried[index]) {
            return false;
        }
    }
    return true;
}

bool fetch_parameters(AgentLink& link, DeviceReadings& readings, int first_index, int count) {
    if (first_index < 0 || count < 0 || first_index > kCatalogRows - count) {
        return false;
    }
    const MessagePtr request(msg_create(kPduGetRequest));
    if (request == nullptr) {
        return false;
    }
    for (int index = first_index; index < first_index + count; ++index) {
        const CatalogRow& row = kParameterCatalog.rows[index];
        if (msg_append_null_binding(request.get(), row.ids, requested_length(row)) == nullptr) {
            return false;
        }
    }
    const MessagePtr answer(exchange_request(link, request.get()));
    return answer != nullptr && answer->error_status == 0 &&
           answer_carries_rows(answer.get(), first_index, count) &&
           apply_answer(readings, answer.get());
}
