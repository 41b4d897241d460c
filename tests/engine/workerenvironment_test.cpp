// What a worker's surroundings look like: its rounding mode, and the end-of-run signal delivered
// queued to the controlling thread as the frame loop uses it.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <memory>

#include "engine/threadbase.h"
#include "geometry/traceoutput.h"
#include "tests/engine/pooltesttasks.h"

namespace {

constexpr unsigned int kStatusFlags = 0x3f;  // sticky exception flags of MXCSR
constexpr unsigned int kFlushToZero = 0x8000;

}  // namespace

TEST(WorkerEnvironment, WorkersRoundTowardMinusInfinityAndKeepOtherBits) {
    const unsigned int callerCsr = _mm_getcsr();
    // Workers inherit the creator's register; a flag the pool must not touch proves "keep".
    _mm_setcsr(callerCsr | kFlushToZero);
    const unsigned int inherited = _mm_getcsr() & ~kStatusFlags;
    TraceOutput::setEnabled(false);

    std::atomic<float> minusHalf{-0.5f}, oneAndHalf{1.5f};
    std::atomic<int> wrongCsr{0}, wrongConversions{0}, checked{0};
    CountingTasks probe(16, [&](int) {
        const unsigned int csr = _mm_getcsr() & ~kStatusFlags;
        if (csr != ((inherited & ~_MM_ROUND_MASK) | _MM_ROUND_DOWN) || (csr & 0x6000) != 0x2000)
            ++wrongCsr;
        if (_mm_cvtss_si32(_mm_set_ss(minusHalf.load())) != -1) ++wrongConversions;
        if (_mm_cvtss_si32(_mm_set_ss(oneAndHalf.load())) != 1) ++wrongConversions;
        ++checked;
    });
    {
        ThreadBase pool(3);
        pool.addTasks(&probe);
        pool.startRendering(true);
    }
    const unsigned int callerAfter = _mm_getcsr() & ~kStatusFlags;
    // Round to nearest even on the caller: -0.5 -> 0, 1.5 -> 2.
    const int callerMinusHalf = _mm_cvtss_si32(_mm_set_ss(minusHalf.load()));
    const int callerOneAndHalf = _mm_cvtss_si32(_mm_set_ss(oneAndHalf.load()));
    _mm_setcsr(callerCsr);
    TraceOutput::setEnabled(true);

    EXPECT_EQ(checked, 16);
    EXPECT_EQ(wrongCsr, 0);
    EXPECT_EQ(wrongConversions, 0);
    EXPECT_EQ(callerAfter, inherited);
    EXPECT_EQ(callerMinusHalf, 0);
    EXPECT_EQ(callerOneAndHalf, 2);
}

TEST(WorkerEnvironment, QueuedSignalDrivesAFrameLoopOncePerRun) {
    TraceOutput::setEnabled(false);
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "engine_tests";
    static char* argv[] = {name, nullptr};
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
    QObject::connect(
        &pool, &ThreadBase::signalAllWaiting, &receiver,
        [&] {
            ++received;
            onControllerThread =
                onControllerThread && QThread::currentThread() == receiver.thread();
            if (received == kRuns) {
                loop.quit();
                return;
            }
            EXPECT_FALSE(pool.isRunning());
            frame.rewind();
            pool.startRendering(false);
        },
        Qt::QueuedConnection);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    pool.startRendering(false);
    loop.exec();

    EXPECT_EQ(received, kRuns);
    EXPECT_TRUE(onControllerThread);
    // Nothing arrives late: every run produced exactly one emission.
    QThread::msleep(20);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, kRuns);
    EXPECT_EQ(emitted.count, kRuns);
    EXPECT_EQ(frame.finishedCalls, kRuns);
    EXPECT_EQ(frame.processed, 6 * kRuns);
    TraceOutput::setEnabled(true);
}
