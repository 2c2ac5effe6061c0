// SPDX-License-Identifier: MIT
// Sanitizer runtimes own malloc, so under them the count comes from their allocation hook;
// otherwise this executable interposes malloc, calloc and realloc for the whole process.
#include "alloc_counter.h"

#include <atomic>
#include <cstddef>

namespace {
std::atomic<bool> counting{false};
std::atomic<unsigned long> allocations{0};

void Note()
{
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}
} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Part of every sanitizer runtime's allocator interface; GCC ships no header for it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void *));

namespace {
void OnMalloc(const volatile void *, size_t)
{
    Note();
}
void OnFree(const volatile void *) {}
[[maybe_unused]] const int hooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
} // namespace

#else
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *ptr, size_t size);

void *malloc(size_t size)
{
    Note();
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    Note();
    return __libc_calloc(count, size);
}

void *realloc(void *ptr, size_t size)
{
    Note();
    return __libc_realloc(ptr, size);
}
}
#endif

namespace alloc_counter {

void Start()
{
    allocations.store(0);
    counting.store(true);
}

unsigned long Stop()
{
    counting.store(false);
    return allocations.load();
}

} // namespace alloc_counter
