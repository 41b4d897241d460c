// The pool's run protocol: one end-of-run signal per run, collections drained in order and
// finished once, changes taking effect at the next run, cancelling, the workers' rounding mode.
#include "engine/threadbase.h"

#include <gtest/gtest.h>

#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include <xmmintrin.h>

#include "engine/taskcollection.h"
#include "tests/engine/doctesthelpers.h"

namespace {

// Hands out `units` numbered units through an atomic counter; onUnit (if any) runs for each.
class CountingTasks : public TaskCollection {
public:
    explicit CountingTasks(int units, std::function<void(int)> onUnit = {},
                           std::atomic<int>* destroyed = nullptr)
        : units(units), onUnit(std::move(onUnit)), destroyed(destroyed) {}
    ~CountingTasks() override {
        if (destroyed) ++*destroyed;
    }
    void rewind() { next = 0; }  // only while the pool is idle

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
        ++finishedCalls;
        if (next.load() < units) ++finishedEarly;
        if (onFinished) onFinished();
    }

    const int units;
    std::function<void(int)> onUnit;
    std::function<void()> onFinished;
    std::atomic<int>* destroyed;
    std::atomic<int> next{0}, inFlight{0}, processed{0}, finishedCalls{0};
    std::atomic<int> finishedEarly{0};  // tasksFinished() while units were still undispensed
};

// Counts signalAllWaiting() where it is emitted; waitFor() blocks until n arrived in all.
class SignalCounter {
public:
    explicit SignalCounter(ThreadBase& pool) {
        connection = QObject::connect(
            &pool, &ThreadBase::signalAllWaiting, &pool,
            [this] {
                std::lock_guard<std::mutex> lock(mutex);
                ++count;
                arrived.notify_all();
            },
            Qt::DirectConnection);
    }
    ~SignalCounter() { QObject::disconnect(connection); }
    bool waitFor(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(10), [&] { return count >= n; });
    }
    std::atomic<int> count{0};

private:
    QMetaObject::Connection connection;
    std::mutex mutex;
    std::condition_variable arrived;
};

}  // namespace

TEST(Pool, TwoCollectionsAreDrainedInOrderAndFinishedOncePerRun) {
    doctest::TraceOutputOff quiet;
    constexpr int kUnits = 300;
    QMutex logMutex;
    std::vector<std::pair<QThread*, char>> log;  // which worker ran a unit of which collection
    std::vector<char> finishOrder;
    std::unique_ptr<CountingTasks> tasks[2];
    for (const char which : {'A', 'B'}) {
        tasks[which - 'A'] = std::make_unique<CountingTasks>(kUnits, [&, which](int) {
            QMutexLocker lock(&logMutex);
            log.emplace_back(QThread::currentThread(), which);
        });
        tasks[which - 'A']->onFinished = [&, which] { finishOrder.push_back(which); };
    }
    ThreadBase pool(4);
    SignalCounter ends(pool);
    pool.addTasks(tasks[0].get());
    pool.addTasks(tasks[1].get());
    EXPECT_EQ(pool.taskCount(), 2);
    for (int run = 1; run <= 5; ++run) {
        log.clear();
        finishOrder.clear();
        for (auto& t : tasks) t->rewind();
        pool.startRendering(true);
        ASSERT_EQ(ends.count, run);
        for (auto& t : tasks) {
            EXPECT_EQ(t->processed, run * kUnits);
            EXPECT_EQ(t->finishedCalls, run);
            EXPECT_EQ(t->finishedEarly, 0);
        }
        EXPECT_EQ(finishOrder, (std::vector<char>{'A', 'B'}));
        // No worker goes back to the first collection once it has started on the second.
        std::vector<QThread*> onSecond;
        for (const auto& [thread, which] : log) {
            const bool seen = std::find(onSecond.begin(), onSecond.end(), thread) != onSecond.end();
            if (which == 'B' && !seen) onSecond.push_back(thread);
            ASSERT_FALSE(which == 'A' && seen) << "run " << run;
        }
    }
}

TEST(Pool, ChangesDuringARunTakeEffectAtTheNextRun) {
    doctest::TraceOutputOff quiet;
    QSemaphore entered, gate;
    std::atomic<int> destroyed{0};
    CountingTasks running(4, [&](int unit) {
        if (unit == 0) {
            entered.release(1);
            gate.acquire(1);
        }
    });
    auto* doomed = new CountingTasks(5, {}, &destroyed);
    CountingTasks added(6);
    ThreadBase pool(2);
    SignalCounter ends(pool);
    pool.addTasks(&running);
    pool.addTasks(doomed);
    pool.startRendering(false);
    ASSERT_TRUE(entered.tryAcquire(1, 10000));
    EXPECT_TRUE(pool.isRunning());
    pool.addTasks(&added);
    pool.removeTasks(&running, false);
    pool.removeTasks(doomed, true);
    EXPECT_EQ(pool.taskCount(), 1);
    gate.release(1);
    ASSERT_TRUE(ends.waitFor(1));
    // The run that was going on ends with the old set of collections.
    EXPECT_EQ(running.processed, 4);
    EXPECT_EQ(doomed->processed, 5);
    EXPECT_EQ(added.processed, 0);
    EXPECT_EQ(destroyed, 0);
    running.rewind();
    pool.startRendering(true);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(running.processed, 4);
    EXPECT_EQ(added.processed, 6);
    EXPECT_EQ(added.finishedCalls, 1);
}

// A cancelled run ends while its units are still in progress: the collection stops handing
// out units, a long unit that watches cancelled() returns early, and the next run is whole.
TEST(Pool, CancelEndsTheRunPromptlyAndTheNextRunIsWhole) {
    doctest::TraceOutputOff quiet;
    constexpr int kUnits = 40;
    CountingTasks* self = nullptr;
    std::atomic<bool> slow{true};
    CountingTasks tasks(kUnits, [&](int) {
        for (int piece = 0; slow && piece < 100000 && !self->cancelled(); ++piece)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    });
    self = &tasks;
    ThreadBase pool(2);
    SignalCounter ends(pool);
    pool.addTasks(&tasks);
    pool.startRendering(false);
    while (tasks.inFlight == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(pool.runPercentDone(), 0);  // the base collection reports no progress
    const auto asked = std::chrono::steady_clock::now();
    pool.cancelRun();
    ASSERT_TRUE(ends.waitFor(1));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
    EXPECT_TRUE(tasks.wasCancelled());
    EXPECT_LE(tasks.processed, pool.threadCount());  // only units started before the request
    EXPECT_EQ(tasks.inFlight, 0);
    EXPECT_EQ(tasks.finishedCalls, 1);
    for (int run = 0; run < 2; ++run) {  // the second after cancelling an idle pool
        tasks.rewind();
        slow = false;
        const int before = tasks.processed;
        pool.startRendering(true);
        EXPECT_FALSE(tasks.wasCancelled());
        EXPECT_EQ(tasks.processed, before + kUnits);
        pool.cancelRun();
    }
}

// Workers round toward minus infinity and keep every other bit of the creator's register,
// which itself is left as it was.
TEST(Pool, WorkersRoundTowardMinusInfinityAndKeepOtherBits) {
    const unsigned int callerCsr = _mm_getcsr(), kFlushToZero = 0x8000, kFlags = 0x3f;
    _mm_setcsr(callerCsr | kFlushToZero);  // a bit the pool must not touch
    const unsigned int inherited = _mm_getcsr() & ~kFlags;
    std::atomic<float> minusHalf{-0.5f}, oneAndHalf{1.5f};
    std::atomic<int> wrong{0};
    CountingTasks probe(16, [&](int) {
        wrong += (_mm_getcsr() & ~kFlags) != ((inherited & ~_MM_ROUND_MASK) | _MM_ROUND_DOWN);
        wrong += _mm_cvtss_si32(_mm_set_ss(minusHalf.load())) != -1;
        wrong += _mm_cvtss_si32(_mm_set_ss(oneAndHalf.load())) != 1;
    });
    {
        ThreadBase pool(3);
        pool.addTasks(&probe);
        pool.startRendering(true);
    }
    const unsigned int callerAfter = _mm_getcsr() & ~kFlags;
    _mm_setcsr(callerCsr);
    EXPECT_EQ(probe.processed, 16);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(callerAfter, inherited);
}
