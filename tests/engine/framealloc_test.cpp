// Frames allocate nothing after the first: rendering a scene again through the pool makes no
// call of operator new on any thread, in every mode (packet sizes, speed, light bending,
// searchlight, antialiasing, trace text on). The counting operator new replaces the global one
// in this test program, so it is left out of sanitizer builds, which bring their own.
#include <gtest/gtest.h>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

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

// One rendering mode of the sweep below: every packet size with and without motion and light
// bending, then the searchlight, all at once with 2 x 2 samples, bent and straight rays
// writing trace text (the first packets of a frame write their trace lines), and the starry
// sky, whose stars the workers place.
struct Mode {
    int bundle;
    float speed;
    bool bending;
    int8_t searchlight;
    int antialiasing;
    bool traceText;
    bool sky = false;
};

std::vector<Mode> everyMode() {
    std::vector<Mode> modes;
    for (int bundle : {4, 2, 1}) {
        for (bool bending : {false, true})
            for (float speed : {0.0f, 0.9f}) modes.push_back({bundle, speed, bending, 0, 1, false});
        modes.push_back({bundle, 0.9f, false, 4, 1, false});
        modes.push_back({bundle, 0.5f, true, 3, 4, false});
        modes.push_back({bundle, 0.0f, true, 0, 1, true});
        modes.push_back({bundle, 0.0f, false, 0, 1, true});
        modes.push_back({bundle, 0.9f, false, 0, 1, false, true});
        modes.push_back({bundle, 0.0f, true, 4, 1, false, true});
    }
    return modes;
}

}  // namespace

TEST(FrameAllocation, FramesAfterTheFirstAllocateNothingInAnyMode) {
    int argc = 0;
    std::unique_ptr<QCoreApplication> own;
    if (!QCoreApplication::instance()) own = std::make_unique<QCoreApplication>(argc, nullptr);
    const std::vector<Mode> modes = everyMode();
    for (const char* file : {"temple.tavolin", "spheres8.tavolin"}) {
        DocRT doc;
        doctest::load(doc, doctest::dataFile(file));
        RenderSettings& settings = *doc.getSettings();
        TimeRT engine;
        engine.workers = 1;  // so that the two workers take bands in groups even here
        engine.groupTreeBytes = 0;
        ThreadBase pool(2);
        pool.addTasks(&engine);
        for (const Mode& m : modes) {
            PixelBuffer buffer;
            ASSERT_TRUE(buffer.setSize(61, 37, m.antialiasing));
            settings.maxBundleSize = m.bundle;
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
                << file << " bundle " << m.bundle << " speed " << m.speed << " bending "
                << m.bending << " searchlight " << int(m.searchlight) << " antialiasing "
                << m.antialiasing << " trace text " << m.traceText << " sky " << m.sky;
        }
        pool.removeTasks(&engine, false);
    }
}

#endif
