// The pool's run protocol: one end-of-run signal per run, collections drained in order and
// finished once, changes taking effect at the next run, cancelling, refused workers, the
// workers' rounding mode, and the end-of-run signal queued to a frame loop. Stress: pools
// started, aborted and destroyed thousands of times, a thousand document loads of good and bad
// files between frames without memory growth, and (with TAVOLIN_STRESS=1) a 16x supersampled 4K
// picture. TAVOLIN_STRESS=1 also makes the bounded loops ten times longer.
#include "engine/threadbase.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include <xmmintrin.h>

#include "base/programmingerror.h"
#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/taskcollection.h"
#include "engine/timert.h"
#include "tests/engine/doctesthelpers.h"
#include "tests/engine/shortwrite.h"

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

    // Makes every unit available again; only while the pool is idle.
    void rewind() { next = 0; }

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
    std::atomic<int> next{0};
    std::atomic<int> inFlight{0};
    std::atomic<int> processed{0};
    std::atomic<int> finishedCalls{0};
    std::atomic<int> finishedEarly{0};  // tasksFinished() while units were still undispensed
};

// Counts signalAllWaiting() on the emitting thread; waitFor() blocks until n arrived in all.
// Standard-library locks, so that ThreadSanitizer sees the hand-over.
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

    bool waitFor(int n, int timeoutMs = 10000) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return count >= n; });
    }

    std::atomic<int> count{0};

private:
    QMetaObject::Connection connection;
    std::mutex mutex;
    std::condition_variable arrived;
};

bool stress() { return std::getenv("TAVOLIN_STRESS") != nullptr; }

// Resident set size in bytes, from /proc/self/statm (second field, in pages).
long residentBytes() {
    long size = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    const int n = f ? std::fscanf(f, "%ld %ld", &size, &resident) : 0;
    if (f) std::fclose(f);
    return n == 2 ? resident * sysconf(_SC_PAGESIZE) : -1;
}

// Renders the document's scene with the pool into a marked buffer; returns the pixels unwritten.
int renderWithPool(ThreadBase& pool, TimeRT& engine, DocRT& doc, PixelBuffer& buffer) {
    std::fill_n(buffer.data(), buffer.pixelCount(), doctest::kStale);
    engine.raytracePic(doc.getSettings(), doc.getSceneData(), doc.getTree(), &buffer);
    pool.startRendering(true);
    return int(std::count(buffer.data(), buffer.data() + buffer.pixelCount(), doctest::kStale));
}

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
        // leave enough for some or all four workers (ctest runs each test in a process of its
        // own).
        if (!c.someStart && workers > 0) GTEST_SKIP() << "thread stacks reused from earlier tests";
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

// Pools of 1 to 4 workers with three collections (one of which the pool deletes), aborted at
// once, after a moment, or not at all, then destroyed: no unit runs twice or after the abort,
// no run hangs, nothing is deleted that was not marked.
TEST(PoolStress, StartedAbortedAndRestartedThousandsOfTimes) {
    doctest::TraceOutputOff quiet;
    const int cycles = stress() ? 20000 : 2000;
    std::mt19937 random(1234);
    std::atomic<int> destroyed{0};
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const int units = 1 + int(random() % 40);
        CountingTasks a(units), b(units);
        auto* c = new CountingTasks(units, {}, &destroyed);
        const auto processed = [&] { return a.processed + b.processed + c->processed; };
        ThreadBase pool(1 + cycle % 4);
        SignalCounter ends(pool);
        pool.addTasks(&a);
        pool.addTasks(&b);
        pool.addTasks(c);
        // Back-to-back runs: the first drains the units, the later ones only finish. In the mode
        // without abort the last run is waited for.
        const int runs = 1 + cycle % 3, mode = cycle % 4;
        for (int run = 0; run < runs; ++run) pool.startRendering(mode == 3 && run == runs - 1);
        if (mode == 1) std::this_thread::yield();
        if (mode < 2) pool.abort(true);
        if (mode == 2) {
            pool.abort(false);
            pool.stopThreads();  // waits for the workers without the end-of-run flag
        }
        if (mode == 3) {
            // A run started the moment the previous one went idle takes over that run's end
            // signal (the previous end was never reported, the caller saw isRunning() false):
            // the signal comes at least once after the last run and at most once per run.
            ASSERT_TRUE(ends.waitFor(1)) << "cycle " << cycle;
            ASSERT_LE(ends.count, runs);
            ASSERT_EQ(processed(), 3 * units);
            ASSERT_EQ(c->finishedCalls, runs);
        }
        // abort(true) returns once the units in progress are done; an aborted run is not
        // finished.
        ASSERT_EQ(a.inFlight + b.inFlight + c->inFlight, 0) << "cycle " << cycle;
        ASSERT_LE(processed(), 3 * units);
        if (mode != 2) {
            ASSERT_FALSE(pool.isRunning()) << "cycle " << cycle;
            // An aborted pool still completes runs but takes no unit; a live one drains again.
            const int done = processed();
            a.rewind();
            b.rewind();
            c->rewind();
            pool.startRendering(true);
            ASSERT_EQ(processed(), done + (mode == 3 ? 3 * units : 0));
        }
        pool.removeTasks(c, true);  // ~ThreadBase applies the removal and deletes c
    }
    EXPECT_EQ(destroyed, cycles);
}

// A thousand loads of good and bad scene files with a frame between them, as the desktop
// program does when the user opens files: refused files change nothing, loaded ones replace
// the scene, and the resident memory does not grow.
TEST(DocumentStress, ThousandLoadApplyCyclesDoNotGrowMemory) {
    doctest::TraceOutputOff quiet;
    QTemporaryDir dir;
    const QString good[] = {doctest::dataFile("spheres8.tavolin"),
                            doctest::dataFile("temple.tavolin")};
    const QByteArray badTexts[] = {
        "<tavolinfile><plane><foo>1</foo></plane></tavolinfile>",
        "<tavolinfile><sphere><radius>2</radius>",
        "<tavolinfile><sphere><texname>x</texname></sphere></tavolinfile>",
        "<tavolinfile><sphere><center>1;2</center></sphere></tavolinfile>",
    };
    QStringList bad = {dir.filePath("missing.tavolin")};
    for (const QByteArray& text : badTexts)
        bad << doctest::writeFile(dir, QString("bad%1.tavolin").arg(bad.size()), text);
    int refusals = 0;
    DocRT::setErrorReporter([&refusals](const QString&, const QString&) { ++refusals; });

    DocRT doc;
    doc.requestBuiltInScene();  // as the desktop program starts when no scene can be read
    doc.applyPendingChanges();
    TimeRT engine;
    ThreadBase pool(2);
    pool.addTasks(&engine);
    PixelBuffer buffer;
    ASSERT_TRUE(buffer.setSize(24, 16, 1));
    const int cycles = stress() ? 10000 : 1000;
    const int warmUp = 50;  // allocator pools and Qt's caches settle first
    long before = 0;
    for (int cycle = 0; cycle < cycles + warmUp; ++cycle) {
        if (cycle == warmUp) before = residentBytes();
        const bool refused = cycle % 3 == 0;
        ASSERT_NE(doc.loadFile(refused ? bad[cycle % 5] : good[cycle % 2]), refused) << cycle;
        doc.applyPendingChanges();
        ASSERT_EQ(renderWithPool(pool, engine, doc, buffer), 0) << "cycle " << cycle;
    }
    const long after = residentBytes();
    DocRT::setErrorReporter(nullptr);
    EXPECT_EQ(refusals, (cycles + warmUp + 2) / 3);
    std::printf("[   info   ] %d load/apply/render cycles: resident %.1f MB -> %.1f MB\n", cycles,
                before / 1048576.0, after / 1048576.0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The sanitizers keep freed memory in quarantine; their leak checker covers those builds.
    EXPECT_LT(after - before, 4L * 1024 * 1024);
#endif
}

// 3840 x 2160 at 16 samples per pixel: 132.7 million samples, 531 MB of pixels.
TEST(MemoryLimits, FourKAtSixteenSamplesCompletes) {
    if (!stress()) GTEST_SKIP() << "set TAVOLIN_STRESS=1";
    doctest::TraceOutputOff quiet;
    DocRT doc;
    doctest::load(doc, QStringLiteral(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin"));
    TimeRT engine;
    ThreadBase pool;
    pool.addTasks(&engine);
    PixelBuffer buffer;
    ASSERT_TRUE(buffer.setSize(3840, 2160, 16));
    EXPECT_EQ(renderWithPool(pool, engine, doc, buffer), 0);
    ASSERT_TRUE(buffer.downsample(16));
    EXPECT_EQ(buffer.width(), 3840);
}
