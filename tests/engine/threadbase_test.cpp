// The pool's run protocol: one end-of-run signal per run, collections drained in order and
// finished once, changes taking effect at the next run, cancelling, refused workers, the
// workers' rounding mode, and the end-of-run signal queued to a frame loop; abort under load is
// in the pool stress test.
#include "engine/threadbase.h"

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/programmingerror.h"
#include "base/traceoutput.h"
#include "tests/engine/pooltesttasks.h"
#include "tests/engine/shortwrite.h"

namespace {

class QuietPool : public ::testing::Test {
protected:
    void SetUp() override { TraceOutput::setEnabled(false); }
    void TearDown() override { TraceOutput::setEnabled(true); }
};

// Spins a little so that units overlap between workers.
void busyWork(int unit) {
    std::atomic<unsigned> sink{0};
    for (int i = 0; i < 200 + unit % 7; ++i) sink.fetch_add(static_cast<unsigned>(i));
}

}  // namespace

TEST_F(QuietPool, TwoCollectionsAreDrainedInOrderAndFinishedOncePerRun) {
    constexpr int kUnits = 300;
    QMutex logMutex;
    std::vector<std::pair<QThread*, char>> log;  // which worker ran a unit of which collection
    std::vector<char> finishOrder;
    std::unique_ptr<CountingTasks> tasks[2];
    for (const char which : {'A', 'B'}) {
        tasks[which - 'A'] = std::make_unique<CountingTasks>(kUnits, [&, which](int unit) {
            busyWork(unit);
            QMutexLocker lock(&logMutex);
            log.emplace_back(QThread::currentThread(), which);
        });
        tasks[which - 'A']->onFinished = [&, which] {
            QMutexLocker lock(&logMutex);
            finishOrder.push_back(which);
        };
    }
    ThreadBase pool(4);
    SignalCounter ends(pool);
    pool.addTasks(tasks[0].get());
    pool.addTasks(tasks[1].get());
    EXPECT_EQ(pool.taskCount(), 2);
    for (int run = 1; run <= 40; ++run) {
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

TEST_F(QuietPool, ChangesDuringARunTakeEffectAtTheNextRun) {
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
    EXPECT_EQ(pool.taskCount(), 1);
}

// A cancelled run ends while its units are still in progress: the collection stops handing
// out units, a long unit that watches cancelled() returns early, and the next run is whole.
TEST_F(QuietPool, CancelEndsTheRunPromptlyAndTheNextRunIsWhole) {
    constexpr int kUnits = 40;
    // Each unit would spin for a long time, in small pieces that check for cancellation.
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
    for (int run = 1; run <= 3; ++run) {
        tasks.rewind();
        slow = true;
        const int atStart = tasks.processed;
        pool.startRendering(false);
        while (tasks.inFlight == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(pool.runPercentDone(), 0);  // the base collection reports no progress
        const auto asked = std::chrono::steady_clock::now();
        pool.cancelRun();
        ASSERT_TRUE(ends.waitFor(2 * run - 1));
        const auto took = std::chrono::steady_clock::now() - asked;
        // Unfinished, the whole run would take minutes; a piece is 0.1 ms.
        EXPECT_LT(took, std::chrono::seconds(2));
        EXPECT_TRUE(tasks.wasCancelled());
        // A unit never ends on its own here: only those started before the request end.
        EXPECT_LE(tasks.processed - atStart, pool.threadCount());
        EXPECT_EQ(tasks.inFlight, 0);
        EXPECT_EQ(tasks.finishedCalls, 2 * run - 1);

        // The next run starts uncancelled and does every unit.
        tasks.rewind();
        slow = false;
        const int before = tasks.processed;
        pool.startRendering(true);
        EXPECT_FALSE(tasks.wasCancelled());
        EXPECT_EQ(tasks.processed, before + kUnits);
        EXPECT_EQ(ends.count, 2 * run);
    }
    // Cancelling an idle pool changes nothing for the run after it.
    pool.cancelRun();
    tasks.rewind();
    const int before = tasks.processed;
    pool.startRendering(true);
    EXPECT_EQ(tasks.processed, before + kUnits);
}

// Workers round toward minus infinity, whichever thread created the pool, and
// keep every other bit of the creator's register, which itself is left as it was.
TEST_F(QuietPool, WorkersRoundTowardMinusInfinityAndKeepOtherBits) {
    const unsigned int callerCsr = _mm_getcsr(), kFlushToZero = 0x8000, kFlags = 0x3f;
    _mm_setcsr(callerCsr | kFlushToZero);  // a bit the pool must not touch
    const unsigned int inherited = _mm_getcsr() & ~kFlags;
    std::atomic<float> minusHalf{-0.5f}, oneAndHalf{1.5f};
    std::atomic<int> wrong{0};
    CountingTasks probe(16, [&](int) {
        const unsigned int csr = _mm_getcsr() & ~kFlags;
        wrong += csr != ((inherited & ~_MM_ROUND_MASK) | _MM_ROUND_DOWN);
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

// The frame loop's way: each end-of-run signal, queued to the controlling thread, starts the
// next run. Every run ends with exactly one signal; none arrives late.
TEST_F(QuietPool, QueuedSignalDrivesAFrameLoopOncePerRun) {
    static int argc = 1;
    static char name[] = "engine_tests";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    constexpr int kRuns = 500;
    CountingTasks frame(6);
    ThreadBase pool(4);
    SignalCounter emitted(pool);
    pool.addTasks(&frame);
    QObject receiver;
    QEventLoop loop;
    int received = 0;
    bool onControllerThread = true;
    const auto nextFrame = [&] {
        onControllerThread = onControllerThread && QThread::currentThread() == receiver.thread();
        if (++received == kRuns) {
            loop.quit();
            return;
        }
        EXPECT_FALSE(pool.isRunning());
        frame.rewind();
        pool.startRendering(false);
    };
    QObject::connect(&pool, &ThreadBase::signalAllWaiting, &receiver, nextFrame,
                     Qt::QueuedConnection);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    pool.startRendering(false);
    loop.exec();
    QThread::msleep(20);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, kRuns);
    EXPECT_TRUE(onControllerThread);
    EXPECT_EQ(emitted.count, kRuns);
    EXPECT_EQ(frame.finishedCalls, kRuns);
    EXPECT_EQ(frame.processed, 6 * kRuns);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // both reserve more
// address space than any limit allows
// The system refuses threads when no address space is left for their stacks (8 MiB each here):
// the pool runs with the workers that started, or throws when none did. It once waited for the
// missing workers for ever (tavolin-render hung under a memory limit instead of exiting 4).
TEST_F(QuietPool, WorkersTheSystemRefusesAreLeftOutAndNoneIsAnError) {
    struct rlimit stack;
    ASSERT_EQ(getrlimit(RLIMIT_STACK, &stack), 0);
    if (stack.rlim_cur == RLIM_INFINITY || stack.rlim_cur < (rlim_t(1) << 20))
        GTEST_SKIP() << "thread stacks are not of a fixed size of at least 1 MiB here";
    const struct {
        rlim_t headroom;  // address space left beyond what is mapped now
        bool someStart;
    } cases[] = {
        {stack.rlim_cur / 4, false},     // not a single stack fits
        {stack.rlim_cur * 3 / 2, true},  // one stack fits, four do not
    };
    for (const auto& c : cases) {
        int workers = -1;
        bool threw = false, ranAndEnded = false;
        const auto o = shortwrite::runLimited(
            shortwrite::mappedBytes() + c.headroom,
            [&](QString&) {
                try {
                    ThreadBase pool(4);
                    workers = pool.threadCount();
                    pool.startRendering(true);
                    ranAndEnded = !pool.isRunning();
                } catch (const std::bad_alloc&) {
                    threw = true;
                }
                return true;
            },
            RLIMIT_AS);
        ASSERT_TRUE(o.ran);
        // glibc keeps the stacks of ended threads for new ones: earlier tests in this process
        // leave enough for four workers (ctest runs each test in a process of its own).
        if (!c.someStart && workers == 4) GTEST_SKIP() << "thread stacks reused from earlier tests";
        if (c.someStart) {
            EXPECT_FALSE(threw) << c.headroom;
            EXPECT_GE(workers, 1);
            EXPECT_LT(workers, 4);
            EXPECT_TRUE(ranAndEnded);
        } else {
            EXPECT_TRUE(threw) << c.headroom;
        }
    }
}
#endif
