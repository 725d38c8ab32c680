// Requesting a run of catalog rows, and checking that the answer is one.
#include "monitor/parameter_fetch.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "device/parameter_catalog.h"
#include "device/text_format.h"

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

bool same_name(const ObjectId& a, const ObjectId& b) {
    return a.count == b.count && compare_object_ids(a.ids, b.ids, a.count) == 0;
}

// "row 21 (1.3.6.1.4.1.47.2.4.2.0)", or the bare identifier outside the
// catalog.
std::string name_text(const VarBinding& binding) {
    std::string dotted;
    for (int32_t i = 0; i < binding.name.count; ++i) {
        dotted += format_text(i == 0 ? "%u" : ".%u", binding.name.ids[i]);
    }
    const int index = find_catalog_index(binding);
    return index < 0 ? dotted : format_text("row %d (%s)", index, dotted.c_str());
}

std::string pdu_name(int32_t type) {
    switch (type) {
        case kPduGetRequest:
            return "GetRequest";
        case kPduGetNextRequest:
            return "GetNextRequest";
        case kPduGetResponse:
            return "GetResponse";
        case kPduSetRequest:
            return "SetRequest";
        case kPduGetBulkRequest:
            return "GetBulkRequest";
        default:
            return format_text("PDU 0x%02X", static_cast<unsigned>(type));
    }
}

std::string type_name(uint8_t type) {
    switch (type) {
        case kTagInteger:
            return "INTEGER";
        case kTagOctetString:
            return "OCTET STRING";
        case kTagNull:
            return "NULL";
        case kTagObjectId:
            return "OBJECT IDENTIFIER";
        case kTagIpAddress:
            return "IpAddress";
        case kTagCounter32:
            return "Counter32";
        case kTagGauge32:
            return "Gauge32";
        case kTagTimeTicks:
            return "TimeTicks";
        case kTagOpaque:
            return "Opaque";
        case kTagCounter64:
            return "Counter64";
        case kTagUInteger32:
            return "UInteger32";
        case kTagNoSuchObject:
            return "noSuchObject";
        case kTagNoSuchInstance:
            return "noSuchInstance";
        case kTagEndOfMibView:
            return "endOfMibView";
        default:
            return format_text("type 0x%02X", static_cast<unsigned>(type));
    }
}

bool is_number_type(uint8_t type) {
    return type == kTagInteger || type == kTagCounter32 || type == kTagGauge32 ||
           type == kTagTimeTicks || type == kTagUInteger32;
}

// Empty when the row of `binding` can be read from its value.
std::string value_fault(const VarBinding& binding) {
    const int index = find_catalog_index(binding);
    const bool text_row = index >= kIdentificationRun.first_index &&
                          index < kIdentificationRun.first_index + kIdentificationRun.count;
    if (text_row) {
        if (binding.type == kTagOctetString && binding.value != nullptr) {
            return std::string();
        }
        return name_text(binding) + " came back as " + type_name(binding.type) +
               ", not an OCTET STRING";
    }
    if (!is_number_type(binding.type)) {
        return name_text(binding) + " came back as " + type_name(binding.type) + ", not a number";
    }
    if (binding.past_limits || binding.value == nullptr || binding.value_length != 4) {
        return name_text(binding) + " came back as " + type_name(binding.type) +
               " past 32 bits or empty, not a number";
    }
    uint32_t number = 0;
    std::memcpy(&number, binding.value, sizeof number);
    if (binding.type != kTagInteger && number > static_cast<uint32_t>(INT32_MAX) &&
        signed_measurement_row(static_cast<Param>(index))) {
        return name_text(binding) + " came back as " + type_name(binding.type) + " " +
               std::to_string(number) + ", past a signed 32-bit number";
    }
    return std::string();
}

}  // namespace

std::string answer_mismatch(const SnmpMessage& request, const SnmpMessage& answer) {
    if (answer.pdu_type != kPduGetResponse) {
        return "a " + pdu_name(answer.pdu_type) + " came back instead of a GetResponse";
    }
    const VarBinding* asked = request.bindings;
    const VarBinding* got = answer.bindings;
    for (; asked != nullptr && got != nullptr; asked = asked->next, got = got->next) {
        if (!same_name(asked->name, got->name)) {
            return name_text(*got) + " came back where " + name_text(*asked) + " was asked for";
        }
    }
    if (asked != nullptr) {
        return name_text(*asked) + " is missing from the answer";
    }
    if (got != nullptr) {
        return name_text(*got) + " came back unasked";
    }
    return std::string();
}

std::string reading_answer_fault(const SnmpMessage& request, const SnmpMessage& answer) {
    std::string fault = answer_mismatch(request, answer);
    for (const VarBinding* b = answer.bindings; fault.empty() && b != nullptr; b = b->next) {
        fault = value_fault(*b);
    }
    return fault;
}

MessagePtr fetch_request(int first_index, int count) {
    if (first_index < 0 || count < 0 || first_index > kCatalogRows - count) {
        return nullptr;
    }
    MessagePtr request(msg_create(kPduGetRequest));
    if (request == nullptr) {
        return nullptr;
    }
    for (int index = first_index; index < first_index + count; ++index) {
        const CatalogRow& row = kParameterCatalog.rows[index];
        if (msg_append_null_binding(request.get(), row.ids, requested_length(row)) == nullptr) {
            return nullptr;
        }
    }
    return request;
}

bool fetch_parameters(AgentLink& link, DeviceReadings& readings, int first_index, int count,
                      FetchFault* fault, MessagePtr* answer_out) {
    if (answer_out != nullptr) {
        answer_out->reset();
    }
    FetchFault unused;
    FetchFault& out = fault != nullptr ? *fault : unused;
    out = FetchFault{FetchFailure::kNoAnswer, std::string()};
    const MessagePtr request = fetch_request(first_index, count);
    if (request == nullptr) {
        return false;
    }
    MessagePtr answer(exchange_request(link, request.get()));
    return take_fetch_answer(link, *request, std::move(answer), readings, &out, answer_out);
}

bool take_fetch_answer(const AgentLink& link, const SnmpMessage& request, MessagePtr answer,
                       DeviceReadings& readings, FetchFault* fault, MessagePtr* answer_out) {
    if (answer_out != nullptr) {
        answer_out->reset();
    }
    FetchFault unused;
    FetchFault& out = fault != nullptr ? *fault : unused;
    out = FetchFault{FetchFailure::kNoAnswer, std::string()};
    if (answer == nullptr) {
        if (link.fault != ExchangeFault::kNoAnswer) {
            out.text = exchange_fault_text(link);
        }
        return false;
    }
    // An error status counts as the device's own only on a GetResponse.
    if (answer->pdu_type == kPduGetResponse && answer->error_status != 0) {
        out = FetchFault{FetchFailure::kDeviceError, error_status_name(answer->error_status)};
        return false;
    }
    const std::string unusable = reading_answer_fault(request, *answer);
    if (!unusable.empty()) {
        out = FetchFault{FetchFailure::kUnusableAnswer, unusable};
        return false;
    }
    if (!apply_answer(readings, answer.get())) {
        return false;
    }
    out = FetchFault{};
    if (answer_out != nullptr) {
        *answer_out = std::move(answer);
    }
    return true;
}
