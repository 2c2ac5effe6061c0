/* SPDX-License-Identifier: MIT */
// Counts heap allocations (malloc, calloc, realloc) made by any code between Start and Stop.
#ifndef QUIVANE_ALLOC_COUNTER_H
#define QUIVANE_ALLOC_COUNTER_H

namespace alloc_counter {
void Start();
unsigned long Stop();
} // namespace alloc_counter

#endif
