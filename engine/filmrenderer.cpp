// Film export: one screenshot-style rendering per film frame, saved under a numbered name.
#include "engine/filmrenderer.h"

#include <QImage>
#include <QThread>
#include <algorithm>
#include <cmath>

#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/recorder.h"
#include "engine/safefile.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "accel/kdtree.h"
#include "accel/lightpathgenerator.h"
#include "scene/rendersettings.h"

namespace {
// How often a frame being rendered asks its progress callback (and so notices a cancel).
constexpr unsigned long kPollMs = 2;
// Digits of the frame number in file names: five cover more than an hour at 25 fps and keep the
// names in order for ffmpeg's "%05d" pattern.
constexpr int kFrameDigits = 5;
// Resolution stored in the picture files: 96 dpi. QImage otherwise takes the screen's, which
// differs between the desktop program and the headless renderer (and between machines), so the
// same frame would not give the same file everywhere.
constexpr int kDotsPerMeter = 3780;

bool saveFrame(const PixelBuffer& buffer, const QString& name, QString& error) {
    QImage image = buffer.toImage();
    if (!image.isNull()) {
        image.setDotsPerMeterX(kDotsPerMeter);
        image.setDotsPerMeterY(kDotsPerMeter);
    }
    return SafeFile::writeImage(name, image, &error);
}
}  // namespace

FilmRenderer::FilmRenderer(DocRT& document) : doc(document) {}

int FilmRenderer::frameCount(double duration, int fps) {
    if (fps <= 0 || !(duration >= 0.0)) return 0;
    const double last = std::floor(duration * double(fps) + 1e-9);
    // Compared as a double: the int conversion of a larger value is undefined.
    if (!(last < double(kMaxFrames))) return kMaxFrames + 1;
    return int(last) + 1;
}

QString FilmRenderer::frameFileName(const QString& fileName, int frame) {
    const QString number = QStringLiteral("_%1").arg(frame, kFrameDigits, 10, QLatin1Char('0'));
    // The suffix is what follows the last dot of the file's own name (not of a folder).
    const int slash = int(
        std::max(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\'))));
    const int dot = int(fileName.lastIndexOf(QLatin1Char('.')));
    if (dot <= slash + 1) return fileName + number;  // no suffix (or a hidden file's name)
    return fileName.left(dot) + number + fileName.mid(dot);
}

void FilmRenderer::frameSettings(RenderSettings& s, const RenderSettings& base,
                                 const Recorder& recorder, int frame, int fps) {
    s = base;
    // Assignment keeps the target's background and Janus circle (a view's copy keeps its own);
    // a film frame renders exactly as the document would.
    for (int i = 0; i < 4; ++i) s.background[i] = base.background[i];
    s.januscircle = base.januscircle;
    const FlyPathPoint state = recorder.stateAt(frameTime(frame, fps), true);
    s.frameToSettings(state.frame);
    s.speed = state.speed;
    s.start.w = float(state.observerTime);
}

int FilmRenderer::frameCount(int fps) const {
    Recorder& recorder = doc.getRecorder();
    if (recorder.pointCount() == 0) return 0;
    return frameCount(recorder.duration(), fps);
}

void FilmRenderer::prepareBlackHole(const RenderSettings& s) {
    BlackHoleFrame& hole = doc.getTree()->blackHole();
    LightPathTree& paths = hole.paths;
    // The observer's distance exactly as BlackHoleFrame::prepare computes it.
    const float distance = BlackHoleFrame::distance(s.start, s.bhpos);
    const bool exact = paths.isGenerated() && paths.generatedRObs() == distance &&
                       paths.generatedRs() == s.bhradius &&
                       !paths.needsRegeneration(distance, s.bhradius);
    LightPathGenerator generator;
    if (!exact) generator.generate(paths, distance, s.bhradius);
    hole.prepare(s.start, s.bhpos, s.bhradius);
    if (paths.generatedRObs() != hole.rObs) generator.generate(paths, hole.rObs, hole.rs);
}

FilmRenderer::Result FilmRenderer::render(const FilmSettings& fs, const Progress& progress) {
    canceled = false;
    written = 0;
    error.clear();
    Recorder& recorder = doc.getRecorder();
    const int count = frameCount(fs.fps);
    first = fs.firstFrame;
    last = fs.lastFrame < 0 ? count - 1 : fs.lastFrame;
    if (count == 0) {
        error = fs.fps <= 0 ? QStringLiteral("The frame rate must be at least 1.")
                            : QStringLiteral("The fly path is empty: record or load one first.");
        return NoRecording;
    }
    if (count > kMaxFrames) {
        error = QStringLiteral(
                    "The film is too long: %1 s at %2 frames per second are more than the %3 "
                    "frames a film may have. Lower the frame rate or shorten the fly path.")
                    .arg(recorder.duration(), 0, 'g', 6)
                    .arg(fs.fps)
                    .arg(kMaxFrames);
        return BadRange;
    }
    if (first < 0 || first > last || last >= count) {
        error = QStringLiteral(
                    "Frames %1-%2 are not within the film's frames 0-%3 "
                    "(%4 s at %5 frames per second).")
                    .arg(first)
                    .arg(last)
                    .arg(count - 1)
                    .arg(recorder.duration(), 0, 'g', 6)
                    .arg(fs.fps);
        return BadRange;
    }
    const QString firstName = frameFileName(fs.fileName, first);
    if (!SafeFile::checkPictureName(fs.fileName, &error) ||
        !SafeFile::checkWritable(firstName, &error))
        return SaveFailed;

    PixelBuffer buffer;
    TimeRT engine;
    ThreadBase pool(fs.threads);
    pool.addTasks(&engine);
    engine.workers = pool.threadCount();
    RenderSettings settings;  // lives as long as the frame that reads it
    // The engine reports progress on the worker that finished a band, under its dispenser lock;
    // a direct connection only stores the value, so no event loop is needed to read it here.
    std::atomic<int> framePercent{0};
    engine.reportProgress = progress != nullptr;
    QObject::connect(
        &engine, &TimeRT::percentageCompleted, &engine,
        [&framePercent](int p) { framePercent.store(p, std::memory_order_relaxed); },
        Qt::DirectConnection);

    for (int k = first; k <= last; ++k) {
        if (canceled || (progress && !progress(k, 0))) return Canceled;
        if (!buffer.setSize(fs.width, fs.height, fs.antialiasing)) {
            error = QStringLiteral(
                "Resolution to big, ran out of memory. Please reduce the resolution.");
            return OutOfMemory;
        }
        frameSettings(settings, *doc.getSettings(), recorder, k, fs.fps);
        if (settings.lightBending) prepareBlackHole(settings);
        engine.lastPercent = 0;
        framePercent = 0;
        engine.raytracePic(&settings, doc.getSceneData(), doc.getTree(), &buffer);

        if (!progress) {
            pool.startRendering(true);
        } else {
            pool.startRendering(false);
            while (pool.isRunning()) {
                // All rows handed out is not a finished frame yet: 100 means saved.
                const int percent = std::min(99, framePercent.load(std::memory_order_relaxed));
                if (canceled || !progress(k, percent)) {
                    canceled = true;
                    pool.abort(true);
                    return Canceled;
                }
                QThread::msleep(kPollMs);
            }
        }
        if (canceled) return Canceled;

        if (!buffer.downsample(fs.antialiasing, nullptr)) {
            error = QStringLiteral("Not enough memory to reduce frame %1 to its final size. "
                                   "Please reduce the resolution or the antialiasing.")
                        .arg(k);
            return OutOfMemory;
        }
        if (!saveFrame(buffer, frameFileName(fs.fileName, k), error)) return SaveFailed;
        ++written;
        if (progress && !progress(k, 100)) return k == last ? Finished : Canceled;
    }
    return Finished;
}
