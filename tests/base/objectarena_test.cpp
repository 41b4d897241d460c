// The object arena and the big buffers against a plain model of what they must do: every live
// object keeps its bytes whatever is made and freed around it, a vector keeps its elements as it
// grows from the heap into huge pages, and what empties goes back to the system, page by whole
// page.
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

// Released pages are given back whole: within a range that does not start or end on a huge page,
// the partly covered pages keep every byte, and so does everything outside the range. On Linux
// the pages wholly inside read zero afterwards (fresh pages); elsewhere nothing changes.
TEST(BigBuffer, ReleasesOnlyTheWholeHugePagesWithinARange) {
    constexpr std::size_t page = bigbuffer::kHugePage, size = 4 * page;
    const struct {
        std::size_t from, bytes;
        std::size_t firstZero, endZero;  // the pages expected back, as a byte range
    } cases[] = {
        {0, size, 0, size},
        {1, size - 1, page, size},
        {page - 1, page + 2, page, 2 * page},
        {100, page, 0, 0},
        {page, page - 1, 0, 0},
        {3 * page / 2, 0, 0, 0},
        {page / 2, 2 * page, page, 2 * page},
    };
    auto* p = static_cast<unsigned char*>(bigbuffer::mapHugePages(size));
    for (const auto& c : cases) {
        std::memset(p, 0xA5, size);
        bigbuffer::releasePages(p + c.from, c.bytes);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < size; ++i) {
#if defined(__linux__)
            const unsigned char expected = i >= c.firstZero && i < c.endZero ? 0 : 0xA5;
#else
            const unsigned char expected = 0xA5;
#endif
            wrong += p[i] != expected;
        }
        EXPECT_EQ(wrong, 0u) << "from " << c.from << ", " << c.bytes << " bytes";
    }
    bigbuffer::unmapHugePages(p, size);

    // A vector's spare end: its elements stay.
    BigVector<uint32_t> v(3 * page / sizeof(uint32_t), 7u);
    v.resize(v.size() / 3 + 5);
    releaseSpare(v);
    EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](uint32_t x) { return x == 7u; }));
}

}  // namespace
