// tavolin-render: renders a scene without a display, through the same document, engine and
// thread pool as the desktop program, and saves the picture (or times frames with --bench).
#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <new>
#include <unistd.h>

#include "cli/renderoptions.h"
#include "engine/autoexposure.h"
#include "engine/docrt.h"
#include "engine/filmrenderer.h"
#include "engine/flypathfile.h"
#include "engine/pixelbuffer.h"
#include "engine/safefile.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "accel/kdtree.h"
#include "base/traceoutput.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"

namespace {

// Frames the automatic exposure may take to settle before the picture is rendered.
constexpr int kExposureTrials = 8;

enum ExitCode { Ok = 0, BadUsage = 1, SceneUnreadable = 2, PictureUnwritable = 3, OutOfMemory = 4 };

// Renders the fly path as numbered pictures; returns the exit code.
int renderFilm(DocRT& doc, const RenderOptions& options) {
    QString problem;
    if (!FlyPathFile::load(options.flypath, doc.getRecorder(), problem)) {
        std::fprintf(stderr, "tavolin-render: cannot read the fly path %s\n", qPrintable(problem));
        return SceneUnreadable;
    }
    FilmSettings film;
    film.fileName = options.output;
    film.width = options.width;
    film.height = options.height;
    film.antialiasing = options.antialiasing;
    film.fps = options.fps;
    film.firstFrame = options.firstFrame;
    film.lastFrame = options.lastFrame;
    film.threads = options.threads;

    FilmRenderer renderer(doc);
    FilmRenderer::Progress progress;
    if (isatty(fileno(stderr)))
        progress = [&renderer](int frame, int percent) {
            std::fprintf(stderr, "\rframe %d (%d-%d) %3d %%", frame, renderer.firstFrame(),
                         renderer.lastFrame(), percent);
            return true;
        };
    const FilmRenderer::Result result = renderer.render(film, progress);
    if (progress) std::fputs("\n", stderr);
    switch (result) {
        case FilmRenderer::Finished:
            return Ok;
        case FilmRenderer::NoRecording:  // a fly-path file without points
            std::fprintf(stderr, "tavolin-render: %s: %s\n", qPrintable(options.flypath),
                         qPrintable(renderer.errorText()));
            return SceneUnreadable;
        case FilmRenderer::BadRange:
            std::fprintf(stderr, "tavolin-render: %s\n", qPrintable(renderer.errorText()));
            return BadUsage;
        case FilmRenderer::OutOfMemory:
            std::fprintf(stderr, "tavolin-render: %s\n", qPrintable(renderer.errorText()));
            return OutOfMemory;
        case FilmRenderer::SaveFailed:
        case FilmRenderer::Canceled:
            break;
    }
    std::fprintf(stderr, "tavolin-render: %s\n", qPrintable(renderer.errorText()));
    return PictureUnwritable;
}

// The output picture's name, format and folder, checked before the scene is even read: a
// typo must not cost a rendering, nor overwrite a scene file.
bool outputIsWritable(const RenderOptions& options) {
    if (options.output.isEmpty()) return true;
    const QString first = options.flypath.isEmpty()
                              ? options.output
                              : FilmRenderer::frameFileName(options.output, options.firstFrame);
    QString problem;
    if (SafeFile::checkPictureName(options.output, &problem) &&
        SafeFile::checkWritable(first, &problem))
        return true;
    std::fprintf(stderr, "tavolin-render: %s\n", qPrintable(problem));
    return false;
}

// Renders one frame into buffer with all workers and waits for its end.
void renderFrame(ThreadBase& pool, TimeRT& engine, DocRT& doc, PixelBuffer& buffer) {
    engine.lastPercent = 0;
    engine.raytracePic(doc.getSettings(), doc.getSceneData(), doc.getTree(), &buffer);
    pool.startRendering(true);
}

int run(QCoreApplication& app);

double processCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

}  // namespace

// Every allocation a user's choice of size drives (the picture, its reduction, the encoded
// file, the black hole's tables) may fail; that ends with exit code 4 and a message, never with
// an abort.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        return run(app);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tavolin-render: %s\n",
                     "ran out of memory. Please reduce the resolution or the antialiasing.");
        return OutOfMemory;
    }
}

namespace {

int run(QCoreApplication& app) {
    QCoreApplication::setApplicationName(QStringLiteral("tavolin-render"));

    RenderOptions options;
    QString problem;
    if (!parseRenderOptions(app.arguments().mid(1), options, problem)) {
        std::fprintf(stderr, "tavolin-render: %s\n%s", qPrintable(problem),
                     qPrintable(renderUsage()));
        return BadUsage;
    }
    if (options.help) {
        std::fputs(qPrintable(renderUsage()), stdout);
        return Ok;
    }
    TraceOutput::setEnabled(options.trace);
    if (!outputIsWritable(options)) return PictureUnwritable;

    DocRT doc;
    bool loadFailed = false;
    DocRT::setErrorReporter([&loadFailed](const QString& title, const QString& text) {
        loadFailed = true;
        std::fprintf(stderr, "%s\n%s\n", qPrintable(title), qPrintable(text));
    });

    QString scene = options.scene;
    if (scene.isEmpty()) {
        const QString fallback = defaultScenePath();
        if (QFileInfo::exists(fallback)) scene = fallback;
    }
    if (scene.isEmpty()) {
        doc.requestBuiltInScene();
    } else if (!doc.loadFile(scene)) {
        return SceneUnreadable;
    }
    for (const QString& warning : doc.loadWarnings())
        std::fprintf(stderr, "tavolin-render: warning: %s: %s\n", qPrintable(scene),
                     qPrintable(warning));
    doc.applyPendingChanges();
    applyRenderOptions(options, *doc.getSettings());
    // A still picture: the observer's time stands at --time (the document's clock is frozen).
    doc.setObserverTimeFrozen(true);
    doc.setObserverTime(options.time);
    doc.applyPendingChanges();  // the observer frame now carries the scene's start
    if (!options.flypath.isEmpty()) return renderFilm(doc, options);

    PixelBuffer buffer;
    if (!buffer.setSize(options.width, options.height, options.antialiasing)) {
        std::fprintf(stderr, "tavolin-render: %s\n",
                     "Resolution to big, ran out of memory. Please reduce the resolution.");
        return OutOfMemory;
    }

    TimeRT engine;
    ThreadBase pool(options.threads);
    pool.addTasks(&engine);
    engine.workers = pool.threadCount();

    if (doc.getSettings()->autoExposure) {
        // A still picture: settle the exposure on a few trial frames first.
        RenderSettings& s = *doc.getSettings();
        for (int trial = 0; trial < kExposureTrials; ++trial) {
            renderFrame(pool, engine, doc, buffer);
            const int end = AutoExposure::brightEnd(
                buffer.data(), int64_t(buffer.width()) * buffer.height(), s.backgroundPixel());
            const float stops =
                AutoExposure::next(s.exposureStops, end, s.eye.kind == EyeKind::Cie1931);
            if (stops == s.exposureStops) break;
            s.exposureStops = stops;
        }
        std::fprintf(stderr, "exposure: %+.2f stops\n", double(s.exposureStops));
    }

    const bool showProgress = options.benchFrames == 0 && isatty(fileno(stderr));
    if (showProgress) {
        engine.reportProgress = true;
        QObject::connect(
            &engine, &TimeRT::percentageCompleted, &engine,
            [](int p) { std::fprintf(stderr, "\rrendering %3d %%", p); }, Qt::DirectConnection);
    }

    if (options.benchFrames > 0) {
        renderFrame(pool, engine, doc, buffer);  // warm-up: first-touch of the buffer and caches
        // Processor time (all threads) beside the wall time: on a machine shared with other
        // work the wall time says how much of the processors the frame got, the processor time
        // what it needed.
        std::vector<double> ms, cpuMs;
        ms.reserve(size_t(options.benchFrames));
        cpuMs.reserve(size_t(options.benchFrames));
        for (int i = 0; i < options.benchFrames; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            const double c0 = processCpuMilliseconds();
            renderFrame(pool, engine, doc, buffer);
            const auto t1 = std::chrono::steady_clock::now();
            cpuMs.push_back(processCpuMilliseconds() - c0);
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        std::sort(ms.begin(), ms.end());
        std::sort(cpuMs.begin(), cpuMs.end());
        const double median = ms[ms.size() / 2];
        const double rays = double(buffer.width()) * double(buffer.height());
        std::printf("frames: %d  ms/frame: median %.2f (min %.2f)  Mrays/s: %.1f\n",
                    options.benchFrames, median, ms.front(), rays / (median * 1000.0));
        std::printf("cpu ms/frame (all threads): median %.2f (min %.2f)\n",
                    cpuMs[cpuMs.size() / 2], cpuMs.front());
    } else {
        renderFrame(pool, engine, doc, buffer);
        if (showProgress) std::fputs("\n", stderr);
    }

    if (!options.output.isEmpty()) {
        if (!buffer.downsample(options.antialiasing, nullptr)) {
            std::fprintf(stderr, "tavolin-render: %s\n",
                         "not enough memory to reduce the picture to its final size. Please "
                         "reduce the resolution or the antialiasing.");
            return OutOfMemory;
        }
        QString problem;
        if (!buffer.save(options.output, &problem)) {
            std::fprintf(stderr, "tavolin-render: %s\n", qPrintable(problem));
            return PictureUnwritable;
        }
    }
    return Ok;
}

}  // namespace
