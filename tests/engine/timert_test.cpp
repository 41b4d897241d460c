// Frame rendering: every pixel of every picture size is written (no stale values) for every
// packet size, with and without light bending; progress only grows; the pool renders what one
// thread does.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <immintrin.h>
#include <algorithm>
#include <vector>

#include "engine/docrt.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "geometry/kdtree.h"
#include "geometry/traceoutput.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"

namespace {

constexpr uint32_t kStale = 0x12345678u;  // alpha 0x12: shading and background never write it

struct Scene {
    DocRT doc;
    explicit Scene(const char* file) {
        TraceOutput::setEnabled(false);
        if (file) {
            EXPECT_TRUE(doc.loadFile(QStringLiteral(TAVOLIN_TEST_DATA "/") + file));
        } else {
            doc.requestBuiltInScene();
        }
        doc.applyPendingChanges();
    }
    RenderSettings& settings() { return *doc.getSettings(); }
};

// Renders on the calling thread, runTask after runTask, into a buffer filled with kStale.
void render(Scene& scene, TimeRT& engine, PixelBuffer& buffer, int w, int h) {
    buffer.setSize(w, h, 1);
    std::fill_n(buffer.data(), size_t(w) * size_t(h), kStale);
    engine.raytracePic(&scene.settings(), scene.doc.getSceneData(), scene.doc.getTree(), &buffer);
    while (!engine.runTask()) {
    }
}

int staleCount(const PixelBuffer& b) {
    return int(std::count(b.data(), b.data() + b.pixelCount(), kStale));
}

}  // namespace

TEST(TimeRT, EveryPixelIsWrittenForEverySizeAndPacket) {
    Scene scene("spheres8.tavolin");
    scene.settings().speed = 0.6f;
    const int sizes[][2] = {{7, 7}, {1, 1}, {5, 3}, {33, 17}, {64, 48}, {2, 9}, {13, 4}};
    for (bool bending : {false, true})
        for (int bundle : {1, 2, 4})
            for (const auto& wh : sizes) {
                scene.settings().maxBundleSize = bundle;
                scene.settings().lightBending = bending;
                TimeRT engine;
                PixelBuffer buffer;
                render(scene, engine, buffer, wh[0], wh[1]);
                EXPECT_EQ(staleCount(buffer), 0) << wh[0] << "x" << wh[1] << " bundle " << bundle
                                                 << " bending " << bending;
            }
}

TEST(TimeRT, EmptyPicturesHandOutNothing) {
    Scene scene(nullptr);
    TimeRT engine;
    PixelBuffer noRows;
    noRows.setSize(5, 0, 1);
    engine.raytracePic(&scene.settings(), scene.doc.getSceneData(), scene.doc.getTree(), &noRows);
    EXPECT_TRUE(engine.runTask());
    PixelBuffer noColumns;
    noColumns.setSize(0, 6, 1);
    engine.raytracePic(&scene.settings(), scene.doc.getSceneData(), scene.doc.getTree(), &noColumns);
    int bands = 0;
    while (!engine.runTask()) ++bands;
    EXPECT_EQ(bands, 3);  // rows handed out in bands of two, nothing traced
}

TEST(TimeRT, ProgressOnlyGrowsAndEndsAtOneHundred) {
    Scene scene("spheres8.tavolin");
    TimeRT engine;
    engine.reportProgress = true;
    std::vector<int> seen;
    QObject::connect(&engine, &TimeRT::percentageCompleted, &engine,
                     [&seen](int p) { seen.push_back(p); }, Qt::DirectConnection);
    PixelBuffer buffer;
    render(scene, engine, buffer, 50, 37);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(seen.back(), 100);
}

TEST(TimeRT, LookingAwayFromTheSceneGivesBackground) {
    Scene scene(nullptr);  // eight spheres ahead along -z
    scene.settings().lookat = Vec4f(0, 0, 1, 0);
    scene.settings().dirx = Vec4f(-1, 0, 0, 0);
    scene.doc.observerFrame().m[3][3] = 1.0f;
    scene.doc.observerFrame().m[1][1] = -1.0f;
    scene.doc.applyPendingChanges();
    for (int bundle : {1, 2, 4}) {
        scene.settings().maxBundleSize = bundle;
        TimeRT engine;
        PixelBuffer buffer;
        render(scene, engine, buffer, 32, 32);
        const uint32_t bg = scene.settings().backgroundPixel();
        EXPECT_EQ(std::count(buffer.data(), buffer.data() + buffer.pixelCount(), bg), 32 * 32);
    }
}

TEST(TimeRT, ThePoolRendersWhatOneThreadRenders) {
    int argc = 0;
    QCoreApplication* app = QCoreApplication::instance();
    std::unique_ptr<QCoreApplication> own;
    if (!app) own = std::make_unique<QCoreApplication>(argc, nullptr);
    Scene scene("temple.tavolin");
    scene.settings().speed = 0.5f;
    scene.settings().maxBundleSize = 4;
    // Workers round toward minus infinity; render the reference the same way.
    const unsigned csr = _mm_getcsr();
    _mm_setcsr((csr & ~0x6000u) | 0x2000u);
    TimeRT single;
    PixelBuffer expected;
    render(scene, single, expected, 97, 61);
    _mm_setcsr(csr);

    TimeRT engine;
    PixelBuffer buffer;
    buffer.setSize(97, 61, 1);
    std::fill_n(buffer.data(), buffer.pixelCount(), kStale);
    ThreadBase pool(3);
    pool.addTasks(&engine);
    for (int run = 0; run < 5; ++run) {
        engine.raytracePic(&scene.settings(), scene.doc.getSceneData(), scene.doc.getTree(), &buffer);
        pool.startRendering(true);
        EXPECT_TRUE(std::equal(buffer.data(), buffer.data() + buffer.pixelCount(), expected.data()));
    }
    pool.removeTasks(&engine, false);
}
