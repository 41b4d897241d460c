#include "base/objectarena.h"

#include <cstdint>
#include <mutex>
#include <new>

#include "base/bigbuffer.h"

#if defined(__SANITIZE_ADDRESS__)
#define TAVOLIN_ARENA_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVOLIN_ARENA_OFF 1
#endif
#endif

namespace objectarena {

#if defined(TAVOLIN_ARENA_OFF)

void* allocate(std::size_t bytes) { return ::operator new(bytes); }
void deallocate(void* p, std::size_t) { ::operator delete(p); }

#else

namespace {

constexpr std::size_t kGrain = 16;
constexpr std::size_t kClasses = kMaxSlot / kGrain + 1;
constexpr std::size_t kPage = bigbuffer::kHugePage;

// Sits at the start of its page, so an object's page is found by rounding its address down.
struct Page {
    Page* prev;  // in its class's list of pages with room
    Page* next;
    void* freed;  // a list through the freed slots
    char* unused;  // slots from here to the page's end were never handed out
    std::size_t slot;
    std::size_t live;
    bool listed;
};

static_assert(sizeof(Page) <= 64, "the first slot starts 64 bytes into its page");

struct Arena {
    std::mutex lock;
    Page* room[kClasses] = {};  // per class: the pages with a free slot

    void link(Page* p, std::size_t c) {
        p->prev = nullptr;
        p->next = room[c];
        if (room[c]) room[c]->prev = p;
        room[c] = p;
        p->listed = true;
    }

    void unlink(Page* p, std::size_t c) {
        (p->prev ? p->prev->next : room[c]) = p->next;
        if (p->next) p->next->prev = p->prev;
        p->listed = false;
    }

    static bool full(const Page* p) {
        return !p->freed && p->unused + p->slot > reinterpret_cast<const char*>(p) + kPage;
    }
};

// Slots are whole grains; even an empty object takes one, so that it has an address of its own.
std::size_t classOf(std::size_t bytes) { return bytes ? (bytes + kGrain - 1) / kGrain : 1; }

Arena& arena() {
    static Arena* a = new Arena;  // never destroyed: objects may outlive static destruction
    return *a;
}

}  // namespace

void* allocate(std::size_t bytes) {
    if (bytes > kMaxSlot) return ::operator new(bytes);
    const std::size_t c = classOf(bytes);
    Arena& a = arena();
    std::lock_guard<std::mutex> guard(a.lock);
    Page* p = a.room[c];
    if (!p) {
        p = static_cast<Page*>(bigbuffer::mapHugePages(kPage));
        p->freed = nullptr;
        p->unused = reinterpret_cast<char*>(p) + 64;
        p->slot = c * kGrain;
        p->live = 0;
        a.link(p, c);
    }
    void* slot;
    if (p->freed) {
        slot = p->freed;
        p->freed = *static_cast<void**>(slot);
    } else {
        slot = p->unused;
        p->unused += p->slot;
    }
    ++p->live;
    if (Arena::full(p)) a.unlink(p, c);
    return slot;
}

void deallocate(void* ptr, std::size_t bytes) {
    if (!ptr) return;
    if (bytes > kMaxSlot) {
        ::operator delete(ptr);
        return;
    }
    const std::size_t c = classOf(bytes);
    Page* p = reinterpret_cast<Page*>(reinterpret_cast<std::uintptr_t>(ptr) &
                                      ~std::uintptr_t(kPage - 1));
    Arena& a = arena();
    std::lock_guard<std::mutex> guard(a.lock);
    *static_cast<void**>(ptr) = p->freed;
    p->freed = ptr;
    --p->live;
    if (!p->listed) a.link(p, c);
    // An empty page goes back unless it is the class's only page with room.
    if (p->live == 0 && (p->prev || p->next)) {
        a.unlink(p, c);
        bigbuffer::unmapHugePages(p, kPage);
    }
}

#endif

}  // namespace objectarena
