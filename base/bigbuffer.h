#pragma once

// Memory for the few buffers of tens or hundreds of megabytes that a big scene's load works
// through (the tree build's event lists). On Linux the kernel maps fresh memory page by page on
// first touch, and under virtualisation each of those faults is costly: a million-sphere build
// spent as long taking page faults as sorting. Buffers from here ask for transparent huge pages,
// one fault per 2 MB instead of per 4 kB. Small requests, and systems without the call, take the
// ordinary heap.

#include <cstddef>
#include <new>
#include <vector>

namespace bigbuffer {

// Requests at least this big are mapped on their own, aligned to a huge page.
constexpr std::size_t kThreshold = std::size_t(4) << 20;

void* allocate(std::size_t bytes);            // throws std::bad_alloc
void deallocate(void* p, std::size_t bytes);  // bytes as given to allocate

// Whole huge pages: a mapping of bytes rounded up to 2 MB, starting on a 2 MB boundary.
constexpr std::size_t kHugePage = std::size_t(2) << 20;
void* mapHugePages(std::size_t bytes);  // throws std::bad_alloc
void unmapHugePages(void* p, std::size_t bytes);

// Gives the memory of the whole huge pages within [p, p + bytes) back to the system, which maps
// fresh zeroed pages there when they are touched again: the spare end of a buffer that grew and
// shrank. Only advice; without the call it does nothing.
void releasePages(void* p, std::size_t bytes);

// Bytes mapped here and not yet given back, which the heap's own statistics do not count.
std::size_t bytesMapped();

}  // namespace bigbuffer

// A standard allocator on bigbuffer, for std::vector.
template <typename T>
struct BigBufferAllocator {
    using value_type = T;

    BigBufferAllocator() = default;
    template <typename U>
    BigBufferAllocator(const BigBufferAllocator<U>&) {}

    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(bigbuffer::allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) { bigbuffer::deallocate(p, n * sizeof(T)); }

    template <typename U>
    bool operator==(const BigBufferAllocator<U>&) const {
        return true;
    }
    template <typename U>
    bool operator!=(const BigBufferAllocator<U>&) const {
        return false;
    }
};

template <typename T>
using BigVector = std::vector<T, BigBufferAllocator<T>>;

// The pages of v's capacity beyond its size, given back (see bigbuffer::releasePages).
template <typename T>
void releaseSpare(BigVector<T>& v) {
    bigbuffer::releasePages(v.data() + v.size(), (v.capacity() - v.size()) * sizeof(T));
}
