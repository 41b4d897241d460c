// Film export: each frame equal to a single rendering of the recorded state at its film time
// (bent frames with their own observer's table), cancelling, refusals. (Frame counts and names:
// the command line's film tests.)
#include "engine/filmrenderer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/docrt.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "tests/engine/doctesthelpers.h"

namespace {

FlyPathPoint pointAt(double time, float x, float z, float speed, float turn) {
    FlyPathPoint p;
    p.time = time;
    p.speed = speed;
    const float c = std::cos(turn), s = std::sin(turn);
    const float rows[4][3] = {{x, -0.2f, z}, {c, 0, s}, {0, 1, 0}, {s, 0, -c}};
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 3; ++k) p.frame.m[r][k + 1] = rows[r][k];
    p.frame.m[0][0] = 1.0f;
    return p;
}

// The spheres8 scene with a one-second flight (sideways, forwards, turning, speeding up); a
// small film of it into a folder of its own.
struct FilmScene {
    doctest::TraceOutputOff quiet;
    DocRT doc;
    QTemporaryDir dir;
    FilmScene() {
        doctest::load(doc, doctest::dataFile("spheres8.tavolin"));
        EXPECT_TRUE(doc.getRecorder().setPoints(
            {pointAt(0.0, -0.3f, -3.2f, 0.0f, 0.0f), pointAt(0.4, 0.0f, -3.0f, 0.3f, 0.1f),
             pointAt(0.4, 0.05f, -3.0f, 0.35f, 0.1f), pointAt(1.0, 0.3f, -2.6f, 0.6f, -0.2f)}));
    }
    FilmSettings film(const QString& folder) {
        QDir(dir.path()).mkpath(folder);
        FilmSettings f;
        f.fileName = dir.filePath(folder + "/film.png");
        f.width = 40;
        f.height = 30;
        f.fps = 10;
        f.threads = 2;
        return f;
    }
};

QImage singleRender(DocRT& doc, double t) {
    const FlyPathPoint state = doc.getRecorder().stateAt(t, true);
    RenderSettings s = *doc.getSettings();
    s.frameToSettings(state.frame);
    s.speed = state.speed;
    PixelBuffer buffer;
    EXPECT_TRUE(buffer.setSize(40, 30, 1));
    TimeRT engine;
    ThreadBase pool(1);
    pool.addTasks(&engine);
    engine.raytracePic(&s, doc.getSceneData(), doc.getTree(), &buffer);
    pool.startRendering(true);
    return buffer.toImage();
}

}  // namespace

TEST(FilmRenderer, EveryFrameIsTheRecordedStateAtItsFilmTime) {
    FilmScene scene;
    FilmRenderer renderer(scene.doc);
    EXPECT_EQ(renderer.frameCount(10), 11);
    const FilmSettings f = scene.film("all");
    std::vector<std::pair<int, int>> calls;
    const auto progress = [&calls](int frame, int percent) {
        calls.emplace_back(frame, percent);
        return true;
    };
    ASSERT_EQ(renderer.render(f, progress), FilmRenderer::Finished);
    EXPECT_EQ(renderer.framesWritten(), 11);
    EXPECT_FALSE(QFile::exists(FilmRenderer::frameFileName(f.fileName, 11)));
    // Each frame's progress runs from 0 to 100, frames in order.
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), std::make_pair(0, 0));
    EXPECT_EQ(calls.back(), std::make_pair(10, 100));
    EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end()));
    QImage previous;
    for (int k = 0; k <= 10; ++k) {
        const QImage film(FilmRenderer::frameFileName(f.fileName, k));
        EXPECT_EQ(film.convertToFormat(QImage::Format_RGB32), singleRender(scene.doc, k / 10.0))
            << "frame " << k;
        EXPECT_NE(film, previous) << "the observer moves before frame " << k;
        previous = film;
    }
}

TEST(FilmRenderer, CancelStopsBeforeTheNextFrameOrWithinOne) {
    FilmScene scene;
    FilmRenderer renderer(scene.doc);
    FilmSettings f = scene.film("cancel");
    EXPECT_EQ(renderer.render(f, [](int frame, int) { return frame < 2; }), FilmRenderer::Canceled);
    EXPECT_EQ(renderer.framesWritten(), 2);
    EXPECT_TRUE(QFile::exists(FilmRenderer::frameFileName(f.fileName, 1)));
    EXPECT_FALSE(QFile::exists(FilmRenderer::frameFileName(f.fileName, 2)));
    // From inside a frame: that frame is not saved.
    f = scene.film("inside");
    f.width = 400;
    f.height = 300;
    f.antialiasing = 16;
    const auto midFrame = [&](int, int percent) { return percent == 0 || percent >= 100; };
    EXPECT_EQ(renderer.render(f, midFrame), FilmRenderer::Canceled);
    EXPECT_EQ(renderer.framesWritten(), 0);
    EXPECT_FALSE(QFile::exists(FilmRenderer::frameFileName(f.fileName, 0)));
    // cancel() from the progress callback, standing in for another thread.
    const auto cancelAfterOne = [&](int frame, int percent) {
        if (frame == 1 && percent == 100) renderer.cancel();
        return true;
    };
    EXPECT_EQ(renderer.render(scene.film("other"), cancelAfterOne), FilmRenderer::Canceled);
    EXPECT_EQ(renderer.framesWritten(), 2);
}

// Too much memory, and no recording (refused before any frame). Bad ranges, unwritable names and
// too long films are the command line's tests.
TEST(FilmRenderer, RefusalsSayWhyBeforeRendering) {
    FilmScene scene;
    FilmRenderer renderer(scene.doc);
    int progressCalls = 0;
    const auto count = [&progressCalls](int, int) { return ++progressCalls > 0; };
    FilmSettings f = scene.film("bad");
    f.firstFrame = f.lastFrame = 10;  // a film of its last frame only is no refusal
    EXPECT_EQ(renderer.render(f), FilmRenderer::Finished);
    EXPECT_EQ(renderer.framesWritten(), 1);
    f = scene.film("none");
    f.antialiasing = 2;
    EXPECT_EQ(renderer.render(f), FilmRenderer::OutOfMemory);
    scene.doc.getRecorder().clear();
    EXPECT_EQ(renderer.frameCount(25), 0);
    EXPECT_EQ(renderer.render(scene.film("none"), count), FilmRenderer::NoRecording);
    EXPECT_FALSE(renderer.errorText().isEmpty());
    EXPECT_EQ(progressCalls, 0);
    EXPECT_EQ(renderer.framesWritten(), 0);
    EXPECT_TRUE(QDir(scene.dir.filePath("none")).isEmpty());
}
