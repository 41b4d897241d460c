#pragma once

// Memory for the scene's objects: a big scene holds a million of them, each a few hundred bytes,
// made in one go by the reader and freed in one go with the scene. From the ordinary heap every
// fresh 4 kB page of them cost a page fault; here they are carved out of 2 MB huge pages, slots
// of one size per page, so a million spheres take a hundred-odd faults instead of sixty thousand.
//
// A page whose objects are all freed goes back to the system, except the last one with room in
// its size class, which is kept for the next object of that size. Thread-safe: a scene is read on
// one thread and may be freed on another. Builds with the address sanitizer use the ordinary heap,
// so that the sanitizer still sees every object.

#include <cstddef>

namespace objectarena {

// Objects bigger than this come from the ordinary heap.
constexpr std::size_t kMaxSlot = 1024;

// 16-byte aligned; throws std::bad_alloc.
void* allocate(std::size_t bytes);
// bytes as given to allocate (a class's sized operator delete passes them on).
void deallocate(void* p, std::size_t bytes);

}  // namespace objectarena
