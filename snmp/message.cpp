// The message model: building requests and releasing messages.
#include "snmp/message.h"

#include <cstring>

#include "snmp/alloc.h"

std::string error_status_name(int32_t status) {
    switch (status) {
        case kErrorTooBig:
            return "tooBig";
        case kErrorNoSuchName:
            return "noSuchName";
        case kErrorBadValue:
            return "badValue";
        case kErrorReadOnly:
            return "readOnly";
        case kErrorGeneral:
            return "genErr";
        default:
            return "error " + std::to_string(status);
    }
}

SnmpMessage* msg_create(int32_t pdu_type) {
    auto* message = static_cast<SnmpMessage*>(snmp_alloc_zeroed(sizeof(SnmpMessage)));
    if (message == nullptr) {
        return nullptr;
    }
    message->pdu_type = pdu_type;
    message->error_status = -1;
    message->error_index = -1;
    return message;
}

VarBinding* msg_append_null_binding(SnmpMessage* message, const uint32_t* ids, int32_t count) {
    if (message == nullptr || count < 0 || (count > 0 && ids == nullptr)) {
        return nullptr;
    }
    auto* binding = static_cast<VarBinding*>(snmp_alloc_zeroed(sizeof(VarBinding)));
    if (binding == nullptr) {
        return nullptr;
    }
    const size_t bytes = sizeof(uint32_t) * static_cast<size_t>(count);
    binding->name.ids = static_cast<uint32_t*>(snmp_alloc_zeroed(bytes));
    if (binding->name.ids == nullptr) {
        snmp_release(binding);
        return nullptr;
    }
    if (bytes > 0) {
        std::memcpy(binding->name.ids, ids, bytes);
    }
    binding->name.count = count;
    binding->type = kTagNull;
    VarBinding** tail = &message->bindings;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    *tail = binding;
    return binding;
}

int binding_set_int32(VarBinding* binding, int32_t value) {
    if (binding == nullptr) {
        return -1;
    }
    auto* block = static_cast<uint8_t*>(snmp_alloc_zeroed(sizeof value));
    if (block == nullptr) {
        return -1;
    }
    std::memcpy(block, &value, sizeof value);
    binding->value = block;
    binding->value_in_record = false;
    binding->value_length = sizeof value;
    binding->type = kTagInteger;
    return 0;
}

int binding_set_octets(VarBinding* binding, const uint8_t* octets, int32_t length) {
    if (binding == nullptr || length < 0 || (length > 0 && octets == nullptr)) {
        return -1;
    }
    auto* block = static_cast<uint8_t*>(snmp_alloc_zeroed(static_cast<size_t>(length)));
    if (block == nullptr) {
        return -1;
    }
    if (length > 0) {
        std::memcpy(block, octets, static_cast<size_t>(length));
    }
    binding->value = block;
    binding->value_in_record = false;
    binding->value_length = length;
    binding->type = kTagOctetString;
    return 0;
}

void binding_clear_value(VarBinding* binding) {
    if (binding == nullptr) {
        return;
    }
    if (!binding->value_in_record) {
        snmp_release(binding->value);
    }
    binding->value = nullptr;
    binding->value_in_record = false;
    binding->value_length = 0;
    binding->type = kTagNull;
}

int binding_set_name(VarBinding* binding, const uint32_t* ids, int32_t count) {
    if (binding == nullptr || count < 0 || (count > 0 && ids == nullptr)) {
        return -1;
    }
    const size_t bytes = sizeof(uint32_t) * static_cast<size_t>(count);
    auto* copy = static_cast<uint32_t*>(snmp_alloc_zeroed(bytes));
    if (copy == nullptr) {
        return -1;
    }
    if (bytes > 0) {
        std::memcpy(copy, ids, bytes);
    }
    if (!binding->name_in_record) {
        snmp_release(binding->name.ids);
    }
    binding->name.ids = copy;
    binding->name.count = count;
    binding->name_in_record = false;
    return 0;
}

void msg_free(SnmpMessage* message) {
    if (message == nullptr) {
        return;
    }
    VarBinding* binding = message->bindings;
    while (binding != nullptr) {
        VarBinding* next = binding->next;
        if (!binding->name_in_record) {
            snmp_release(binding->name.ids);
        }
        if (!binding->value_in_record) {
            snmp_release(binding->value);
        }
        snmp_release(binding);
        binding = next;
    }
    snmp_release(message);
}
