// Frames allocate nothing after the first: rendering a scene again through the pool (every
// packet size, with and without speed) makes no call of operator new on any thread. The
// counting operator new replaces the global one in this test program, so it is left out of
// sanitizer builds, which bring their own.
#include <gtest/gtest.h>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "geometry/traceoutput.h"
#include "scene/rendersettings.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* allocate(std::size_t n) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(FrameAllocation, FramesAfterTheFirstAllocateNothing) {
    int argc = 0;
    std::unique_ptr<QCoreApplication> own;
    if (!QCoreApplication::instance()) own = std::make_unique<QCoreApplication>(argc, nullptr);
    TraceOutput::setEnabled(false);
    for (const char* file : {"temple.tavolin", "spheres8.tavolin"}) {
        DocRT doc;
        ASSERT_TRUE(doc.loadFile(QStringLiteral(TAVOLIN_TEST_DATA "/") + file));
        doc.applyPendingChanges();
        RenderSettings& settings = *doc.getSettings();
        TimeRT engine;
        PixelBuffer buffer;
        buffer.setSize(203, 117, 1);
        ThreadBase pool(2);
        pool.addTasks(&engine);
        for (int bundle : {4, 2, 1}) {
            for (float speed : {0.0f, 0.9f}) {
                settings.maxBundleSize = bundle;
                settings.speed = speed;
                const auto frame = [&] {
                    engine.raytracePic(&settings, doc.getSceneData(), doc.getTree(), &buffer);
                    pool.startRendering(true);
                };
                frame();
                allocations = 0;
                counting = true;
                for (int i = 0; i < 3; ++i) frame();
                counting = false;
                EXPECT_EQ(allocations.load(), 0) << file << " bundle " << bundle << " speed "
                                                 << speed;
            }
        }
        pool.removeTasks(&engine, false);
    }
}

#endif
