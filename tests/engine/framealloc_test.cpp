// Frames after the first call no operator new on any thread, in every mode. The counting
// operator new replaces the global one, so sanitizer builds (which bring their own) leave it out.
#include <gtest/gtest.h>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "scene/rendersettings.h"
#include "tests/engine/doctesthelpers.h"

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

namespace {

// Every packet size with and without motion and light bending, then the searchlight, 2 x 2
// samples, trace text (the first packets of a frame write it) and the starry sky.
struct Mode {
    float speed;
    bool bending;
    int8_t searchlight;
    int antialiasing;
    bool traceText, sky;
} const kModes[] = {{0.0f, false, 0, 1, false, false}, {0.9f, true, 0, 1, false, false},
                    {0.9f, false, 4, 1, false, false}, {0.5f, true, 3, 4, false, false},
                    {0.0f, true, 0, 1, true, false},   {0.0f, false, 0, 1, true, false},
                    {0.9f, false, 0, 1, false, true},  {0.0f, true, 4, 1, false, true}};

}  // namespace

TEST(FrameAllocation, FramesAfterTheFirstAllocateNothingInAnyMode) {
    int argc = 0;
    std::unique_ptr<QCoreApplication> own;
    if (!QCoreApplication::instance()) own = std::make_unique<QCoreApplication>(argc, nullptr);
    for (const char* file : {"temple.tavolin", "spheres8.tavolin"}) {
        DocRT doc;
        doctest::load(doc, doctest::dataFile(file));
        RenderSettings& settings = *doc.getSettings();
        TimeRT engine;
        ThreadBase pool(2);
        pool.addTasks(&engine);
        for (int bundle : {4, 2, 1})
            for (const Mode& m : kModes) {
                PixelBuffer buffer;
                ASSERT_TRUE(buffer.setSize(61, 37, m.antialiasing));
                settings.maxBundleSize = bundle;
                settings.speed = m.speed;
                settings.lightBending = m.bending;
                settings.searchlight = m.searchlight;
                settings.starrySky = m.sky;
                TraceOutput::setEnabled(m.traceText);
                const auto frame = [&] {
                    engine.raytracePic(&settings, doc.getSceneData(), doc.getTree(), &buffer);
                    pool.startRendering(true);
                };
                frame();
                allocations = 0;
                counting = true;
                for (int i = 0; i < 2; ++i) frame();
                counting = false;
                TraceOutput::setEnabled(false);
                EXPECT_EQ(allocations.load(), 0)
                    << file << " bundle " << bundle << " mode " << &m - kModes;
            }
        pool.removeTasks(&engine, false);
    }
}

#endif
