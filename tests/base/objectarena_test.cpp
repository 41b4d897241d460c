// The object arena and the big buffers against a plain model of what they must do: every live
// object keeps its bytes whatever is made and freed around it, a vector keeps its elements as it
// grows from the heap into huge pages, and what empties goes back to the system.
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
    const std::size_t sizes[] = {
        0, 1, 16, 17, 200, 248, 1000, objectarena::kMaxSlot, objectarena::kMaxSlot + 1};
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
    // No two live objects share a byte or, empty, an address.
    std::sort(live.begin(), live.end(), [](const Live& a, const Live& b) { return a.p < b.p; });
    for (std::size_t i = 1; i < live.size(); ++i)
        ASSERT_LE(live[i - 1].p + std::max<std::size_t>(live[i - 1].bytes, 1), live[i].p);
    for (const Live& o : live) objectarena::deallocate(o.p, o.bytes);
    // At most one page per size class stays mapped for the next object.
    EXPECT_LE(bigbuffer::bytesMapped(),
              mappedBefore + (sizeof sizes / sizeof *sizes) * bigbuffer::kHugePage);
}

TEST(BigVector, KeepsItsElementsWhileGrowingIntoHugePagesAndGivesThemBack) {
    const std::size_t mappedBefore = bigbuffer::bytesMapped();
    {
        BigVector<uint32_t> v;
        // Past the threshold at which a buffer is mapped on its own, through several regrowths.
        const uint32_t n = uint32_t(3 * bigbuffer::kThreshold / sizeof(uint32_t));
        v.reserve(n / 3 + 12345);  // not a whole number of huge pages
        for (uint32_t i = 0; i < n; ++i) v.push_back(i * 2654435761u);
        EXPECT_GT(bigbuffer::bytesMapped(), mappedBefore);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v.data()) % bigbuffer::kHugePage, 0u);
        for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(v[i], i * 2654435761u);
        v.resize(100);
        v.shrink_to_fit();  // back to the ordinary heap
        EXPECT_EQ(bigbuffer::bytesMapped(), mappedBefore);
        for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(v[i], i * 2654435761u);
    }
    EXPECT_EQ(bigbuffer::bytesMapped(), mappedBefore);
}

}  // namespace
