// Fuzz target: the headless renderer's command line. The input is split at NUL bytes into
// arguments. A refusal must say why; an accepted command line must hold only values the
// renderer can use (the ranges its usage text promises), must read the same a second time, and
// must turn into render settings without a non-finite number.
#include <cmath>

#include "cli/renderoptions.h"
#include "engine/filmrenderer.h"
#include "fuzz/fuzzsupport.h"
#include "scene/rendersettings.h"

namespace {

bool within(int v, int lo, int hi) { return v >= lo && v <= hi; }

// Whether every field holds a value the renderer accepts.
bool usable(const RenderOptions& o) {
    if (!within(o.width, 1, 32768) || !within(o.height, 1, 32768)) return false;
    if (o.antialiasing != 1 && o.antialiasing != 4 && o.antialiasing != 8 && o.antialiasing != 16)
        return false;
    if (!std::isfinite(o.speed) || !(std::fabs(o.speed) < 1.0f)) return false;
    if (o.bundle != 0 && o.bundle != 1 && o.bundle != 2 && o.bundle != 4) return false;
    for (int flag : {o.aberration, o.doppler, o.lightBending})
        if (!within(flag, -1, 1)) return false;
    if (o.searchlight != -1 && o.searchlight != 0 && o.searchlight != 3 && o.searchlight != 4)
        return false;
    if (!std::isfinite(o.exposureStops) || std::fabs(o.exposureStops) > 16.0f) return false;
    for (int c : o.background)
        if (!within(c, 0, 255)) return false;
    if (!within(o.threads, 0, 256) || !within(o.benchFrames, 0, 100000)) return false;
    if (!within(o.fps, 1, 1000) || !within(o.firstFrame, 0, 99999)) return false;
    if (o.lastFrame != -1 && (o.lastFrame < o.firstFrame || o.lastFrame > 99999)) return false;
    if (o.help) return true;
    // Something to do: a picture to write or frames to time; a film needs a name to number.
    if (o.output.isEmpty() && o.benchFrames == 0) return false;
    if (!o.flypath.isEmpty() && (o.output.isEmpty() || o.benchFrames > 0)) return false;
    return true;
}

bool same(const RenderOptions& a, const RenderOptions& b) {
    return a.scene == b.scene && a.output == b.output && a.width == b.width &&
           a.height == b.height && a.antialiasing == b.antialiasing && a.hasSpeed == b.hasSpeed &&
           a.speed == b.speed && a.bundle == b.bundle && a.aberration == b.aberration &&
           a.doppler == b.doppler && a.lightBending == b.lightBending && a.eye == b.eye &&
           a.searchlight == b.searchlight && a.hasExposure == b.hasExposure &&
           a.exposureStops == b.exposureStops && a.autoExposure == b.autoExposure &&
           a.hasBackground == b.hasBackground && a.background[0] == b.background[0] &&
           a.background[1] == b.background[1] && a.background[2] == b.background[2] &&
           a.threads == b.threads && a.benchFrames == b.benchFrames && a.trace == b.trace &&
           a.flypath == b.flypath && a.fps == b.fps && a.firstFrame == b.firstFrame &&
           a.lastFrame == b.lastFrame && a.help == b.help;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList args;
    size_t begin = 0;
    for (size_t i = 0; i <= size; ++i)
        if (i == size || data[i] == 0) {
            args << fuzz::text(data + begin, i - begin);
            begin = i + 1;
        }

    RenderOptions options;
    QString problem;
    if (!parseRenderOptions(args, options, problem)) {
        if (problem.isEmpty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    if (!problem.isEmpty() || !usable(options)) __builtin_trap();
    RenderOptions again;
    QString againProblem;
    if (!parseRenderOptions(args, again, againProblem) || !same(options, again)) __builtin_trap();

    RenderSettings settings;
    applyRenderOptions(options, settings);
    if (!std::isfinite(settings.speed) || !(std::fabs(settings.speed) < 1.0f)) __builtin_trap();
    if (!std::isfinite(settings.exposureStops)) __builtin_trap();
    if (options.hasSpeed && settings.speed != options.speed) __builtin_trap();
    // Film frame names keep the output's folder and number the frame before the suffix.
    const QString number = QStringLiteral("_%1").arg(options.firstFrame, 5, 10, QLatin1Char('0'));
    if (!FilmRenderer::frameFileName(options.output, options.firstFrame).contains(number))
        __builtin_trap();
    return 0;
}
