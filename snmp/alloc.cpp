#include "snmp/alloc.h"

#include <cstring>
#include <new>

namespace {
// Per thread, so an agent running beside a test is not affected.
thread_local int fail_countdown = 0;
}  // namespace

void* snmp_alloc_zeroed(size_t size) {
    if (fail_countdown > 0 && --fail_countdown == 0) {
        return nullptr;
    }
    // Not calloc: glibc's calloc skips the per-thread cache that serves the
    // small blocks of a message, and costs several times as much (and GCC
    // turns malloc and memset into calloc). One octet for a request of none
    // keeps "null means out of memory" true everywhere.
    const size_t bytes = size == 0 ? 1 : size;
    void* block = ::operator new(bytes, std::nothrow);
    if (block != nullptr) {
        std::memset(block, 0, bytes);
    }
    return block;
}

void snmp_release(void* block) {
    ::operator delete(block);
}

void snmp_fail_allocation_after(int n) {
    fail_countdown = n < 0 ? 0 : n;
}
