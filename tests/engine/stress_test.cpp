// Stress: pools started, aborted and destroyed thousands of times, a thousand document loads of
// good and bad files between frames without memory growth, pictures too large to allocate that
// leave the program usable, and (with TAVOLIN_STRESS=1) a 16x supersampled 4K picture.
// TAVOLIN_STRESS=1 also makes the bounded loops ten times longer.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "geometry/kdtree.h"
#include "geometry/traceoutput.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"
#include "tests/engine/doctesthelpers.h"
#include "tests/engine/pooltesttasks.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVOLIN_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVOLIN_UNDER_SANITIZER 1
#endif
#endif

namespace {

bool stress() { return std::getenv("TAVOLIN_STRESS") != nullptr; }

// Resident set size in bytes, from /proc/self/statm (second field, in pages).
long residentBytes() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    long size = 0, resident = 0;
    const int n = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    return n == 2 ? resident * sysconf(_SC_PAGESIZE) : -1;
}

// Renders the document's scene with the pool into buffer and waits for the end of the run.
void renderWithPool(ThreadBase& pool, TimeRT& engine, DocRT& doc, PixelBuffer& buffer) {
    engine.raytracePic(doc.getSettings(), doc.getSceneData(), doc.getTree(), &buffer);
    pool.startRendering(true);
}

uint32_t markerPixel() { return 0x12345678u; }  // alpha 0x12: the renderer never writes it

int unwritten(const PixelBuffer& b) {
    return int(std::count(b.data(), b.data() + b.pixelCount(), markerPixel()));
}

}  // namespace

// Pools of 1 to 4 workers with three collections (one of which the pool deletes), aborted at
// once, after a moment, or not at all, then destroyed: no unit runs twice or after the abort,
// no run hangs, nothing is deleted that was not marked.
TEST(PoolStress, StartedAbortedAndRestartedThousandsOfTimes) {
    doctest::TraceOutputOff quiet;
    const int cycles = stress() ? 20000 : 2000;
    std::mt19937 random(1234);
    std::atomic<int> destroyed{0};
    int markedForDeletion = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const int units = 1 + int(random() % 40);
        CountingTasks a(units), b(units);
        auto* c = new CountingTasks(units, {}, &destroyed);
        ThreadBase pool(1 + cycle % 4);
        SignalCounter ends(pool);
        pool.addTasks(&a);
        pool.addTasks(&b);
        pool.addTasks(c);
        // Back-to-back runs: the first drains the units, the later ones only finish. In the mode
        // without abort the last run is waited for.
        const int runs = 1 + cycle % 3;
        const int mode = cycle % 4;
        for (int run = 0; run < runs; ++run) pool.startRendering(mode == 3 && run == runs - 1);
        if (mode == 0) {
            pool.abort(true);
        } else if (mode == 1) {
            std::this_thread::yield();
            pool.abort(true);
        } else if (mode == 2) {
            pool.abort(false);
            pool.stopThreads();  // waits for the workers without the end-of-run flag
        } else {
            // A run started the moment the previous one went idle takes over that run's end
            // signal (the previous end was never reported, the caller saw isRunning() false):
            // the signal comes at least once after the last run and at most once per run.
            ASSERT_TRUE(ends.waitFor(1)) << "cycle " << cycle;
            ASSERT_LE(ends.count, runs);
            ASSERT_FALSE(pool.isRunning());
            ASSERT_EQ(a.processed + b.processed + c->processed, 3 * units);
            ASSERT_EQ(c->finishedCalls, runs);
        }
        // abort(true) returns once the units in progress are done; an aborted run is not
        // finished.
        ASSERT_EQ(a.inFlight + b.inFlight + c->inFlight, 0) << "cycle " << cycle;
        if (mode < 2) ASSERT_FALSE(pool.isRunning()) << "cycle " << cycle;
        ASSERT_LE(a.processed + b.processed + c->processed, 3 * units);
        if (mode != 2) {
            // An aborted pool still completes runs but takes no unit; a live one drains again.
            const int done = a.processed + b.processed + c->processed;
            a.rewind();
            b.rewind();
            c->rewind();
            pool.startRendering(true);
            ASSERT_EQ(a.processed + b.processed + c->processed,
                      done + (mode == 3 ? 3 * units : 0));
        }
        pool.removeTasks(c, true);
        ++markedForDeletion;
        // ~ThreadBase applies the removal and deletes c.
    }
    EXPECT_EQ(destroyed, markedForDeletion);
}

// One pool restarted thousands of times while collections come and go between runs: every
// registered collection is drained and finished exactly once per run.
TEST(PoolStress, OnePoolRestartedWithChangingCollections) {
    doctest::TraceOutputOff quiet;
    const int runs = stress() ? 30000 : 3000;
    std::vector<std::unique_ptr<CountingTasks>> tasks;
    for (int i = 0; i < 4; ++i) tasks.push_back(std::make_unique<CountingTasks>(5 + 3 * i));
    std::vector<int> expectedProcessed(4, 0), expectedFinished(4, 0);
    std::vector<bool> registered(4, false);
    ThreadBase pool(3);
    SignalCounter ends(pool);
    std::mt19937 random(99);
    for (int run = 1; run <= runs; ++run) {
        const int which = int(random() % 4);
        if (registered[which]) {
            pool.removeTasks(tasks[which].get(), false);
        } else {
            pool.addTasks(tasks[which].get());
        }
        registered[which] = !registered[which];
        for (int i = 0; i < 4; ++i) {
            tasks[i]->rewind();
            if (registered[i]) {
                expectedProcessed[i] += tasks[i]->units;
                ++expectedFinished[i];
            }
        }
        pool.startRendering(true);
        ASSERT_EQ(ends.count, run);
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(tasks[i]->processed, expectedProcessed[i]) << "run " << run;
            ASSERT_EQ(tasks[i]->finishedCalls, expectedFinished[i]) << "run " << run;
        }
    }
}

// A thousand loads of good and bad scene files with a frame between them, as the desktop
// program does when the user opens files: refused files change nothing, loaded ones replace
// the scene, and the resident memory does not grow.
TEST(DocumentStress, ThousandLoadApplyCyclesDoNotGrowMemory) {
    doctest::TraceOutputOff quiet;
    QTemporaryDir dir;
    auto write = [&dir](const char* name, const QByteArray& text) {
        return doctest::writeFile(dir, name, text);
    };
    const QString good[] = {
        QStringLiteral(TAVOLIN_TEST_DATA "/spheres8.tavolin"),
        QStringLiteral(TAVOLIN_TEST_DATA "/temple.tavolin"),
    };
    const QString bad[] = {
        write("broken.tavolin", "<tavolinfile><plane><foo>1</foo></plane></tavolinfile>"),
        write("truncated.tavolin", "<tavolinfile><sphere><radius>2</radius>"),
        write("notex.tavolin", "<tavolinfile><sphere><texname>x</texname></sphere></tavolinfile>"),
        write("vector.tavolin", "<tavolinfile><sphere><center>1;2</center></sphere></tavolinfile>"),
        dir.filePath("missing.tavolin"),
    };
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
    int loads = 0;
    for (int cycle = 0; cycle < cycles + warmUp; ++cycle) {
        if (cycle == warmUp) before = residentBytes();
        const bool ok = cycle % 3 == 0 ? !doc.loadFile(bad[cycle % 5])
                                       : doc.loadFile(good[cycle % 2]);
        ASSERT_TRUE(ok) << "cycle " << cycle;
        if (cycle % 3 != 0) ++loads;
        doc.applyPendingChanges();
        std::fill_n(buffer.data(), buffer.pixelCount(), markerPixel());
        renderWithPool(pool, engine, doc, buffer);
        ASSERT_EQ(unwritten(buffer), 0) << "cycle " << cycle;
    }
    const long after = residentBytes();
    DocRT::setErrorReporter(nullptr);
    EXPECT_EQ(refusals, (cycles + warmUp + 2) / 3);
    EXPECT_GT(loads, 0);
    std::printf("[   info   ] %d load/apply/render cycles: resident %.1f MB -> %.1f MB\n", cycles,
                before / 1048576.0, after / 1048576.0);
#ifndef TAVOLIN_UNDER_SANITIZER
    // The sanitizers keep freed memory in quarantine; their leak checker covers those builds.
    EXPECT_LT(after - before, 4L * 1024 * 1024);
#endif
}

// The same with a real allocation failure: a child process whose address space is limited asks
// for a picture that fits the size limit but not the address space.
TEST(MemoryLimits, AllocationFailureUnderAnAddressSpaceLimit) {
#ifdef TAVOLIN_UNDER_SANITIZER
    GTEST_SKIP() << "the sanitizers reserve far more address space than the limit allows";
#else
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TraceOutput::setEnabled(false);
        rlimit limit;
        getrlimit(RLIMIT_AS, &limit);
        // What the process maps now, plus 512 MB.
        long pages = 0;
        FILE* f = std::fopen("/proc/self/statm", "r");
        if (!f || std::fscanf(f, "%ld", &pages) != 1) _exit(10);
        std::fclose(f);
        limit.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(512) << 20);
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(11);
        PixelBuffer buffer;
        if (!buffer.setSize(64, 64, 1)) _exit(12);
        if (buffer.setSize(8192, 8192, 4)) _exit(13);  // 2^28 samples: 1 GiB, over the limit
        if (buffer.width() != 64) _exit(14);
        DocRT doc;
        doc.requestBuiltInScene();
        doc.applyPendingChanges();
        TimeRT engine;
        ThreadBase pool(2);
        pool.addTasks(&engine);
        if (!buffer.setSize(48, 32, 1)) _exit(15);
        std::fill_n(buffer.data(), buffer.pixelCount(), markerPixel());
        renderWithPool(pool, engine, doc, buffer);
        _exit(unwritten(buffer) == 0 ? 0 : 16);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// 3840 x 2160 at 16 samples per pixel: 132.7 million samples, 531 MB of pixels. Slow, so only
// with TAVOLIN_STRESS=1.
TEST(MemoryLimits, FourKAtSixteenSamplesCompletes) {
    if (!stress()) GTEST_SKIP() << "set TAVOLIN_STRESS=1";
    doctest::TraceOutputOff quiet;
    DocRT doc;
    ASSERT_TRUE(doc.loadFile(QStringLiteral(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin")));
    doc.applyPendingChanges();
    TimeRT engine;
    ThreadBase pool;
    pool.addTasks(&engine);
    PixelBuffer buffer;
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(buffer.setSize(3840, 2160, 16));
    ASSERT_EQ(buffer.pixelCount(), size_t(3840) * 2160 * 16);
    std::fill_n(buffer.data(), buffer.pixelCount(), markerPixel());
    renderWithPool(pool, engine, doc, buffer);
    EXPECT_EQ(unwritten(buffer), 0);
    ASSERT_TRUE(buffer.downsample(16));
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_EQ(buffer.width(), 3840);
    EXPECT_EQ(buffer.height(), 2160);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("[   info   ] 4K x16: %.1f s, peak resident %.0f MB\n",
                std::chrono::duration<double>(t1 - t0).count(), usage.ru_maxrss / 1024.0);
}
