// Heap blocks of the SNMP client: zero-filled, never throwing, null when
// memory runs out. Tests can make a chosen allocation fail.
#pragma once

#include <cstddef>

void* snmp_alloc_zeroed(size_t size);
void snmp_release(void* block);

// Test seam: the n-th allocation made by this thread from now on fails
// (n >= 1); 0 turns failures off.
void snmp_fail_allocation_after(int n);
