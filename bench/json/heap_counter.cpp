#include "bench/json/heap_counter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> inUse{0};
std::atomic<size_t> peak{0};
std::atomic<size_t> allocations{0};

void* Allocate(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) {
        throw std::bad_alloc();
    }
    // Usable sizes on both sides, so what is freed matches what was counted.
    const size_t now = inUse += malloc_usable_size(p);
    size_t high = peak.load();
    while (now > high && !peak.compare_exchange_weak(high, now)) {
    }
    ++allocations;
    return p;
}

void Free(void* p) {
    if (p) {
        inUse -= malloc_usable_size(p);
        std::free(p);
    }
}

}  // namespace

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Free(p);
}
void operator delete[](void* p) noexcept {
    Free(p);
}
void operator delete(void* p, size_t) noexcept {
    Free(p);
}
void operator delete[](void* p, size_t) noexcept {
    Free(p);
}

namespace bench {

size_t HeapInUse() {
    return inUse;
}

size_t HeapPeak() {
    return peak;
}

void ResetHeapPeak() {
    peak = inUse.load();
}

size_t HeapAllocations() {
    return allocations;
}

}  // namespace bench
