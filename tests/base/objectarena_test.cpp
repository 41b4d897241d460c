// The object arena against a plain model of what it must do: every live object keeps its bytes
// whatever is made and freed around it, and pages that empty go back to the system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "base/bigbuffer.h"
#include "base/objectarena.h"

namespace {

struct Live {
    unsigned char* p;
    std::size_t bytes;
    unsigned char fill;
};

bool intact(const Live& o) {
    return std::all_of(o.p, o.p + o.bytes, [&](unsigned char c) { return c == o.fill; });
}

TEST(ObjectArena, LiveObjectsKeepTheirBytesAndEmptiedPagesAreReturned) {
    const std::size_t mappedBefore = bigbuffer::bytesMapped();
    std::mt19937 rng(7);
    // Sizes of scene objects and beyond the largest slot; enough of each to fill several pages.
    const std::size_t sizes[] = {1, 16, 17, 200, 248, 1000, objectarena::kMaxSlot,
                                 objectarena::kMaxSlot + 1};
    std::vector<Live> live;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 40000; ++i) {
            const std::size_t bytes = sizes[rng() % (sizeof sizes / sizeof *sizes)];
            auto* p = static_cast<unsigned char*>(objectarena::allocate(bytes));
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
            const unsigned char fill = static_cast<unsigned char>(rng());
            std::memset(p, fill, bytes);
            live.push_back({p, bytes, fill});
        }
        // Free two thirds in random order, so slots are reused between live neighbours.
        std::shuffle(live.begin(), live.end(), rng);
        for (std::size_t i = live.size() / 3; i < live.size(); ++i)
            objectarena::deallocate(live[i].p, live[i].bytes);
        live.resize(live.size() / 3);
        for (const Live& o : live) ASSERT_TRUE(intact(o));
    }
    // No two live objects share a byte.
    std::sort(live.begin(), live.end(), [](const Live& a, const Live& b) { return a.p < b.p; });
    for (std::size_t i = 1; i < live.size(); ++i)
        ASSERT_LE(live[i - 1].p + live[i - 1].bytes, live[i].p);
    for (const Live& o : live) objectarena::deallocate(o.p, o.bytes);
    // At most one page per size class stays mapped for the next object.
    EXPECT_LE(bigbuffer::bytesMapped(),
              mappedBefore + (sizeof sizes / sizeof *sizes) * bigbuffer::kHugePage);
}

}  // namespace
