#include "snmp/alloc.h"

#include <cstdlib>

namespace {
// Per thread, so an agent running beside a test is not affected.
thread_local int fail_countdown = 0;
}  // namespace

void* snmp_alloc_zeroed(size_t size) {
    if (fail_countdown > 0 && --fail_countdown == 0) {
        return nullptr;
    }
    // calloc(0) may return null on some platforms; one octet keeps "null
    // means out of memory" true everywhere.
    return std::calloc(1, size == 0 ? 1 : size);
}

void snmp_release(void* block) {
    std::free(block);
}

void snmp_fail_allocation_after(int n) {
    fail_countdown = n < 0 ? 0 : n;
}
