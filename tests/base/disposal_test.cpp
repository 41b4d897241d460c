// The disposal thread against what its owner relies on: everything handed over is freed, in the
// order it came, off the thread that handed it over, and none of it outlives waitIdle() or the
// disposal itself.
#include "base/disposal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Freed {
    std::mutex lock;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
};

// Tells the record when it is freed, after a pause long enough that a caller who does not wait
// for it sees it still alive.
struct Tracked {
    Freed* freed;
    int id;
    int pauseMs;
    ~Tracked() {
        if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        const std::lock_guard<std::mutex> guard(freed->lock);
        freed->order.push_back(id);
        freed->threads.push_back(std::this_thread::get_id());
    }
};

TEST(Disposal, FreesEverythingInOrderOffTheCallersThread) {
    Freed freed;
    Disposal disposal;
    disposal.waitIdle();  // nothing handed over yet: nothing to wait for
    disposal.dispose(static_cast<Tracked*>(nullptr));  // nothing to free
    disposal.dispose(std::unique_ptr<Tracked>());
    constexpr int kCount = 1000;
    for (int i = 0; i < kCount; ++i)
        disposal.dispose(std::unique_ptr<Tracked>(new Tracked{&freed, i, i == 0 ? 20 : 0}));
    disposal.waitIdle();
    std::vector<int> expected(kCount);
    for (int i = 0; i < kCount; ++i) expected[i] = i;
    const std::lock_guard<std::mutex> guard(freed.lock);
    EXPECT_EQ(freed.order, expected);
    for (const std::thread::id& t : freed.threads) EXPECT_NE(t, std::this_thread::get_id());
}

TEST(Disposal, WaitingAndLeavingWaitForTheThingBeingFreed) {
    // The last job is slow: waitIdle returns only after it, not when the queue empties.
    {
        Freed freed;
        Disposal disposal;
        disposal.dispose(new Tracked{&freed, 1, 100});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the worker has taken it
        disposal.waitIdle();
        const std::lock_guard<std::mutex> guard(freed.lock);
        EXPECT_EQ(freed.order, std::vector<int>{1});
    }
    // Leaving at once still frees everything handed over, the slow first one and those queued
    // behind it.
    Freed freed;
    {
        Disposal disposal;
        disposal.dispose(new Tracked{&freed, 0, 50});
        for (int i = 1; i < 10; ++i) disposal.dispose(new Tracked{&freed, i, 0});
    }
    const std::lock_guard<std::mutex> guard(freed.lock);
    EXPECT_EQ(freed.order.size(), 10u);
}

TEST(Disposal, HandsOverFromManyThreadsAndWaitsOnMany) {
    Freed freed;
    Disposal disposal;
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                disposal.dispose(new Tracked{&freed, next++, 0});
                if (i % 50 == 0) disposal.waitIdle();
            }
        });
    for (std::thread& t : threads) t.join();
    disposal.waitIdle();
    const std::lock_guard<std::mutex> guard(freed.lock);
    std::vector<int> seen = freed.order;
    std::sort(seen.begin(), seen.end());
    ASSERT_EQ(seen.size(), 800u);
    for (int i = 0; i < 800; ++i) EXPECT_EQ(seen[i], i);
}

}  // namespace
