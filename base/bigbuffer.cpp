#include "base/bigbuffer.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace bigbuffer {

namespace {

std::atomic<std::size_t> mapped{0};

std::size_t roundUp(std::size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

void* heapAllocate(std::size_t bytes) {
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

#if defined(__linux__)

void* mapHugePages(std::size_t bytes) {
    // Map a huge page more than needed and trim both ends, so the buffer starts on a huge page.
    const std::size_t size = roundUp(bytes);
    if (size < bytes || size + kHugePage < size) throw std::bad_alloc();
    void* raw =
        mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const std::uintptr_t end = start + size + kHugePage;
    if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
    // Only advice: where huge pages are switched off, the buffer is an ordinary mapping.
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    mapped += size;
    return reinterpret_cast<void*>(aligned);
}

void unmapHugePages(void* p, std::size_t bytes) {
    if (!p) return;
    munmap(p, roundUp(bytes));
    mapped -= roundUp(bytes);
}

void releasePages(void* p, std::size_t bytes) {
    const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t start = (from + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    const std::uintptr_t end = (from + bytes) & ~std::uintptr_t(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

#else

void releasePages(void*, std::size_t) {}

// Elsewhere the heap serves, aligned as the callers expect.
void* mapHugePages(std::size_t bytes) {
    const std::size_t size = roundUp(bytes);
    if (size < bytes) throw std::bad_alloc();
    void* p = std::aligned_alloc(kHugePage, size);
    if (!p) throw std::bad_alloc();
    mapped += size;
    return p;
}

void unmapHugePages(void* p, std::size_t bytes) {
    if (!p) return;
    std::free(p);
    mapped -= roundUp(bytes);
}

#endif

void* allocate(std::size_t bytes) {
    return bytes < kThreshold ? heapAllocate(bytes) : mapHugePages(bytes);
}

void deallocate(void* p, std::size_t bytes) {
    if (bytes < kThreshold)
        std::free(p);
    else
        unmapHugePages(p, bytes);
}

std::size_t bytesMapped() { return mapped.load(std::memory_order_relaxed); }

}  // namespace bigbuffer
