// Fuzz target: a fly-path file loaded from disk and played as a film. The first two bytes choose
// the frame rate, the next eight a film time (any double); the rest is the file. A refusal must
// name the file and keep the recording; an accepted path must give a frame count that covers
// exactly its duration (or the too-long mark), and every film frame, like the state at any
// time, must lie between recorded states: a finite observer below the speed of light.
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/docrt.h"
#include "engine/filmrenderer.h"
#include "engine/flypathfile.h"
#include "engine/recorder.h"
#include "fuzz/fuzzsupport.h"
#include "scene/rendersettings.h"

namespace {

QTemporaryDir* folder = nullptr;

// Smallest and largest value of each frame entry and of the speed over the recording.
struct Bounds {
    float lo[17], hi[17];
    explicit Bounds(const Recorder& r) {
        std::fill(lo, lo + 17, __builtin_inff());
        std::fill(hi, hi + 17, -__builtin_inff());
        for (int i = 0; i < r.pointCount(); ++i) {
            const FlyPathPoint& p = r.point(i);
            for (int k = 0; k < 17; ++k) {
                const float v = k < 16 ? p.frame.m[k / 4][k % 4] : p.speed;
                lo[k] = std::min(lo[k], v);
                hi[k] = std::max(hi[k], v);
            }
        }
    }
    // Whether a state lies within the recorded values (an interpolation never leaves them).
    bool hold(const FlyPathPoint& p) const {
        for (int k = 0; k < 17; ++k) {
            const float v = k < 16 ? p.frame.m[k / 4][k % 4] : p.speed;
            if (!(v >= lo[k] && v <= hi[k])) return false;
        }
        return std::fabs(p.speed) < 1.0f;
    }
};

void checkFrame(const RenderSettings& s, const FlyPathPoint& expected) {
    const Vec4f* rows[4] = {&s.start, &s.dirx, &s.diry, &s.lookat};
    for (int r = 0; r < 4; ++r)
        if (rows[r]->x != expected.frame.m[r][1] || rows[r]->y != expected.frame.m[r][2] ||
            rows[r]->z != expected.frame.m[r][3])
            __builtin_trap();
    if (s.speed != expected.speed) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    folder = new QTemporaryDir;
    if (!folder->isValid()) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes in(data, size);
    const int fps = 1 + (in.next() << 8 | in.next()) % 1000;  // the film dialog's range
    double t;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = bits << 8 | in.next();
    std::memcpy(&t, &bits, sizeof t);

    const QString path = folder->filePath(QStringLiteral("path.flypath"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
        const qint64 n = qint64(in.restSize());
        if (file.write(reinterpret_cast<const char*>(in.rest()), n) != n) __builtin_trap();
    }

    DocRT doc;
    Recorder& recorder = doc.getRecorder();
    FlyPathPoint sentinel;
    sentinel.time = 42.0;
    recorder.setPoints({sentinel});
    QString error;
    if (!FlyPathFile::load(path, recorder, error)) {
        if (!error.contains(path)) __builtin_trap();  // says which file
        if (recorder.pointCount() != 1 || recorder.point(0).time != 42.0) __builtin_trap();
        return 0;
    }

    FilmRenderer film(doc);
    const int count = film.frameCount(fps);
    if (recorder.pointCount() == 0) {
        if (count != 0) __builtin_trap();
        return 0;
    }
    const double duration = recorder.duration();
    if (!(duration >= 0.0) || count < 1 || count > FilmRenderer::kMaxFrames + 1) __builtin_trap();
    if (count <= FilmRenderer::kMaxFrames) {
        // The last frame lies within the recording and one more would not (up to the rounding
        // of the recorded times).
        const double slack = 1e-9 / fps + 1e-12 * duration;
        if (FilmRenderer::frameTime(count - 1, fps) > duration + slack) __builtin_trap();
        if (FilmRenderer::frameTime(count, fps) <= duration - slack) __builtin_trap();
    } else if (!(duration * fps >= double(FilmRenderer::kMaxFrames) - 1.0)) {
        __builtin_trap();
    }

    const Bounds bounds(recorder);
    if (!bounds.hold(recorder.stateAt(t, true)) || !bounds.hold(recorder.stateAt(t, false)))
        __builtin_trap();
    // Frames at both ends of the film and one in between.
    const int last = std::min(count, FilmRenderer::kMaxFrames) - 1;
    RenderSettings base;
    RenderSettings settings;
    for (int k : {0, last / 2, last}) {
        const FlyPathPoint state = recorder.stateAt(FilmRenderer::frameTime(k, fps), true);
        if (!bounds.hold(state)) __builtin_trap();
        FilmRenderer::frameSettings(settings, base, recorder, k, fps);
        checkFrame(settings, state);
    }
    return 0;
}
