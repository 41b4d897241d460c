// The pool's run protocol: one end-of-run signal per run, collections drained in order and
// finished once, cancelling.
#include "engine/threadbase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "engine/taskcollection.h"
#include "tests/engine/doctesthelpers.h"

namespace {

// Hands out `units` numbered units through an atomic counter; onUnit (if any) runs for each.
class CountingTasks : public TaskCollection {
public:
    explicit CountingTasks(int units, std::function<void(int)> onUnit = {})
        : units(units), onUnit(std::move(onUnit)) {}
    bool runTask() override {
        const int unit = next.fetch_add(1);
        if (unit >= units) return true;
        ++inFlight;
        if (onUnit) onUnit(unit);
        --inFlight;
        ++processed;
        return false;
    }
    void tasksFinished() override {
        finishedEarly += next.load() < units;  // while units were still undispensed
        ++finishedCalls;
        if (onFinished) onFinished();
    }
    const int units;
    std::function<void(int)> onUnit;
    std::function<void()> onFinished;
    std::atomic<int> next{0}, inFlight{0}, processed{0}, finishedCalls{0}, finishedEarly{0};
};

struct Pool {
    doctest::TraceOutputOff quiet;
    ThreadBase pool;
    std::atomic<int> ends{0};
    explicit Pool(int threads) : pool(threads) {
        QObject::connect(
            &pool, &ThreadBase::signalAllWaiting, &pool, [this] { ++ends; }, Qt::DirectConnection);
    }
};

}  // namespace

TEST(Pool, TwoCollectionsAreDrainedInOrderAndFinishedOncePerRun) {
    std::vector<char> finishOrder;
    CountingTasks a(300), b(300);
    a.onFinished = [&] { finishOrder.push_back('A'); };
    b.onFinished = [&] { finishOrder.push_back('B'); };
    Pool p(4);
    p.pool.addTasks(&a);
    p.pool.addTasks(&b);
    EXPECT_EQ(p.pool.taskCount(), 2);
    for (int run = 1; run <= 5; ++run) {
        a.next = b.next = 0;
        p.pool.startRendering(true);
        ASSERT_EQ(p.ends, run);
        for (CountingTasks* t : {&a, &b}) {
            EXPECT_EQ(t->processed, run * 300);
            EXPECT_EQ(t->finishedCalls, run);
            EXPECT_EQ(t->finishedEarly, 0);
        }
        EXPECT_EQ(finishOrder.size(), size_t(2 * run));
        EXPECT_EQ(finishOrder.back(), 'B');
    }
}

// A cancelled run ends while its units are in progress: the collection stops handing out units,
// a long unit that watches cancelled() returns early, and the next run is whole.
TEST(Pool, CancelEndsTheRunPromptlyAndTheNextRunIsWhole) {
    constexpr int kUnits = 40;
    CountingTasks* self = nullptr;
    std::atomic<bool> slow{true};
    CountingTasks tasks(kUnits, [&](int) {
        for (int piece = 0; slow && piece < 100000 && !self->cancelled(); ++piece)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    });
    self = &tasks;
    Pool p(2);
    p.pool.addTasks(&tasks);
    p.pool.startRendering(false);
    while (tasks.inFlight == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(p.pool.runPercentDone(), 0);  // the base collection reports no progress
    const auto asked = std::chrono::steady_clock::now();
    p.pool.cancelRun();
    for (int ms = 0; p.ends == 0 && ms < 10000; ++ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(p.ends, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
    EXPECT_TRUE(tasks.wasCancelled());
    EXPECT_LE(tasks.processed, p.pool.threadCount());  // only units started before the request
    EXPECT_EQ(tasks.inFlight, 0);
    EXPECT_EQ(tasks.finishedCalls, 1);
    for (int run = 0; run < 2; ++run) {  // the second after cancelling an idle pool
        tasks.next = 0;
        slow = false;
        const int before = tasks.processed;
        p.pool.startRendering(true);
        EXPECT_FALSE(tasks.wasCancelled());
        EXPECT_EQ(tasks.processed, before + kUnits);
        p.pool.cancelRun();
    }
}
