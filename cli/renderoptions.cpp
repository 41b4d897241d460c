// Parsing the renderer's flags. Every refusal names the flag and what it accepts.
#include "cli/renderoptions.h"

#include <QCoreApplication>
#include <cmath>

#include "scene/eye.h"
#include "scene/rendersettings.h"

namespace {

bool parseInt(const QString& text, int lo, int hi, int& out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parseOnOff(const QString& value, int& out) {
    if (value != QLatin1String("on") && value != QLatin1String("off")) return false;
    out = value == QLatin1String("on") ? 1 : 0;
    return true;
}

bool parseFloat(const QString& text, float lo, float hi, bool openEnds, float& out) {
    bool ok = false;
    const float v = text.toFloat(&ok);
    if (!ok || !std::isfinite(v) || (openEnds ? (v <= lo || v >= hi) : (v < lo || v > hi)))
        return false;
    out = v;
    return true;
}

QString eyeNames() {
    QStringList names;
    for (const EyePreset& p : eyePresets()) names << p.name;
    return names.join(QStringLiteral(", "));
}

// One flag that takes a value: what it accepts, in the words of its refusal "FLAG takes ...,
// not "VALUE"", and how the value is stored; false when the value is refused.
struct ValueFlag {
    const char* name;
    QString (*accepts)();
    bool (*store)(const QString& value, RenderOptions& o);
    bool film;  // a film setting: needs --flypath
};

#define ACCEPTS(text) [] { return QStringLiteral(text); }

const ValueFlag kValueFlags[] = {
    {"-o", ACCEPTS("a file name"),
     [](const QString& v, RenderOptions& o) {
         o.output = v;
         return true;
     },
     false},
    {"--size", ACCEPTS("WIDTHxHEIGHT with each from 1 to 32768"),
     [](const QString& v, RenderOptions& o) {
         const QStringList wh = v.split(QLatin1Char('x'));
         return wh.size() == 2 && parseInt(wh[0], 1, 32768, o.width) &&
                parseInt(wh[1], 1, 32768, o.height);
     },
     false},
    {"--aa", ACCEPTS("1, 4, 8 or 16 samples per pixel"),
     [](const QString& v, RenderOptions& o) {
         int level = 0;
         if (!parseInt(v, 1, 16, level) || (level != 1 && level != 4 && level != 8 && level != 16))
             return false;
         o.antialiasing = level;
         return true;
     },
     false},
    {"--speed", ACCEPTS("a fraction of the speed of light between -1 and 1 (exclusive)"),
     [](const QString& v, RenderOptions& o) {
         return o.hasSpeed = parseFloat(v, -1.0f, 1.0f, true, o.speed);
     },
     false},
    {"--bundle", ACCEPTS("1, 2 or 4 (the side of the ray packet)"),
     [](const QString& v, RenderOptions& o) {
         return parseInt(v, 1, 4, o.bundle) && o.bundle != 3;
     },
     false},
    {"--aberration", ACCEPTS("on or off"),
     [](const QString& v, RenderOptions& o) { return parseOnOff(v, o.aberration); }, false},
    {"--doppler", ACCEPTS("on or off"),
     [](const QString& v, RenderOptions& o) { return parseOnOff(v, o.doppler); }, false},
    {"--light-bending", ACCEPTS("on or off"),
     [](const QString& v, RenderOptions& o) { return parseOnOff(v, o.lightBending); }, false},
    {"--light-travel-time", ACCEPTS("on or off"),
     [](const QString& v, RenderOptions& o) { return parseOnOff(v, o.lightTravelTime); }, false},
    {"--sky", ACCEPTS("on or off"),
     [](const QString& v, RenderOptions& o) { return parseOnOff(v, o.sky); }, false},
    {"--time", ACCEPTS("the observer's time in seconds, a number from -1e30 to 1e30"),
     [](const QString& v, RenderOptions& o) {
         bool ok = false;
         const double t = v.toDouble(&ok);
         // Within float range: the time travels to the renderer as start.w.
         if (!ok || !std::isfinite(t) || std::fabs(t) > 1e30) return false;
         o.time = t;
         o.hasTime = true;
         return true;
     },
     false},
    {"--eye", [] { return QStringLiteral("one of ") + eyeNames(); },
     [](const QString& v, RenderOptions& o) {
         for (const EyePreset& p : eyePresets())
             if (p.name == v) {
                 o.eye = v;
                 return true;
             }
         return false;
     },
     false},
    {"--background", ACCEPTS("R,G,B with each from 0 to 255"),
     [](const QString& v, RenderOptions& o) {
         const QStringList rgb = v.split(QLatin1Char(','));
         return o.hasBackground = rgb.size() == 3 && parseInt(rgb[0], 0, 255, o.background[0]) &&
                                  parseInt(rgb[1], 0, 255, o.background[1]) &&
                                  parseInt(rgb[2], 0, 255, o.background[2]);
     },
     false},
    {"--threads", ACCEPTS("a number of threads from 1 to 256"),
     [](const QString& v, RenderOptions& o) { return parseInt(v, 1, 256, o.threads); }, false},
    {"--bench", ACCEPTS("a number of frames of at least 1"),
     [](const QString& v, RenderOptions& o) { return parseInt(v, 1, 100000, o.benchFrames); },
     false},
    {"--flypath", ACCEPTS("a fly path file"),
     [](const QString& v, RenderOptions& o) {
         o.flypath = v;
         return true;
     },
     false},
    {"--fps", ACCEPTS("a number of frames per second from 1 to 1000"),
     [](const QString& v, RenderOptions& o) { return parseInt(v, 1, 1000, o.fps); }, true},
    {"--frames", ACCEPTS("A-B (or A), frame numbers from 0 with A <= B"),
     [](const QString& v, RenderOptions& o) {
         const QStringList ab = v.split(QLatin1Char('-'));
         return (ab.size() == 1 || ab.size() == 2) && parseInt(ab[0], 0, 99999, o.firstFrame) &&
                parseInt(ab.back(), 0, 99999, o.lastFrame) && o.firstFrame <= o.lastFrame;
     },
     true},
    {"--searchlight", ACCEPTS("off, 3 (photon counting) or 4 (energy)"),
     [](const QString& v, RenderOptions& o) {
         if (v == QLatin1String("off"))
             o.searchlight = 0;
         else if (v == QLatin1String("3") || v == QLatin1String("4"))
             o.searchlight = v.toInt();
         else
             return false;
         return true;
     },
     false},
    {"--exposure", ACCEPTS("a number of stops from -16 to 16 or auto"),
     [](const QString& v, RenderOptions& o) {
         o.autoExposure = v == QLatin1String("auto");
         return o.hasExposure =
                    o.autoExposure || parseFloat(v, -16.0f, 16.0f, false, o.exposureStops);
     },
     false},
};

#undef ACCEPTS

const ValueFlag* valueFlag(const QString& name) {
    for (const ValueFlag& f : kValueFlags)
        if (name == QLatin1String(f.name)) return &f;
    return nullptr;
}

}  // namespace

QString renderUsage() {
    return QStringLiteral(
        "usage: tavolin-render [SCENE] -o FILE [--size WxH] [--aa 1|4|8|16] [--speed BETA]\n"
        "                      [--bundle 1|2|4] [--aberration on|off] [--doppler on|off]\n"
        "                      [--light-bending on|off] [--light-travel-time on|off]\n"
        "                      [--time T] [--sky on|off]\n"
        "                      [--eye Default|Superwoman|Lindworms|Humans] [--background R,G,B]\n"
        "                      [--threads N] [--bench N] [--trace]\n"
        "                      [--searchlight off|3|4] [--exposure STOPS|auto]\n"
        "                      [--flypath PATHFILE [--fps N] [--frames A-B]]\n"
        "Renders SCENE (default: the default scene, or the built-in scene without it) to FILE\n"
        "(PNG, JPEG or BMP by its suffix). --bench N times N frames after one warm-up frame.\n"
        "--eye: Default, Superwoman, Lindworms, Humans or \"Human (CIE 1931)\".\n"
        "--searchlight: relativistic beaming, every line times (1/D)^k (4: energy, 3: photons).\n"
        "--exposure: brightness x 2^STOPS before the 8-bit clamp; auto adjusts it over frames.\n"
        "--light-travel-time: moving bodies as the light that reaches the eye now shows them\n"
        "(on), or as the scene frame's snapshot at the observer's time (off); the default is\n"
        "the scene file's setting. --time T: the observer's time in seconds (default 0).\n"
        "--sky: the stars at infinity behind the scene, aberrated, Doppler-shifted and lensed\n"
        "(default: the scene file's setting).\n"
        "Film: --flypath renders the recorded fly path at --fps frames per second (default 25):\n"
        "frame k shows film time k/N and is saved as FILE's name + _kkkkk (film_00000.png ...).\n"
        "--frames A-B (or A) renders only those frames (default all); the recording sets the\n"
        "observer, its speed and its time, the other flags apply as usual.\n"
        "Exit codes: 1 bad usage or frame range, 2 scene or fly path not readable, 3 picture not\n"
        "writable, 4 out of memory.\n");
}

QString defaultScenePath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/scenes/stonehenge.tavolin");
}

bool parseRenderOptions(const QStringList& args, RenderOptions& o, QString& problem) {
    bool filmFlag = false;  // --fps or --frames seen
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (const ValueFlag* flag = valueFlag(a)) {
            if (i + 1 >= args.size()) {
                problem = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            const QString& v = args[++i];
            if (!flag->store(v, o)) {
                problem = QStringLiteral("%1 takes %2, not \"%3\"").arg(a, flag->accepts(), v);
                return false;
            }
            filmFlag = filmFlag || flag->film;
        } else if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            problem = QStringLiteral("unknown option \"%1\"").arg(a);
            return false;
        } else if (o.scene.isEmpty()) {
            o.scene = a;
        } else {
            problem = QStringLiteral("only one scene file may be given (\"%1\" and \"%2\")")
                          .arg(o.scene, a);
            return false;
        }
    }
    if (!o.help && o.flypath.isEmpty() && filmFlag) {
        problem = QStringLiteral("--fps and --frames need --flypath PATHFILE (the film to render)");
        return false;
    }
    if (!o.help && !o.flypath.isEmpty() && o.hasTime) {
        problem = QStringLiteral(
            "--time does not go with --flypath (the fly path records the observer's time)");
        return false;
    }
    if (!o.help && !o.flypath.isEmpty() && (o.output.isEmpty() || o.benchFrames > 0)) {
        problem = QStringLiteral(
            "--flypath needs -o FILE (the name the frames are numbered from) and no --bench");
        return false;
    }
    if (!o.help && o.output.isEmpty() && o.benchFrames == 0) {
        problem = QStringLiteral("-o FILE is needed (where to save the picture)");
        return false;
    }
    return true;
}

void applyRenderOptions(const RenderOptions& o, RenderSettings& s) {
    if (o.hasSpeed) s.speed = o.speed;
    if (o.bundle) s.maxBundleSize = o.bundle;
    if (o.aberration >= 0) s.aberration = o.aberration == 1;
    if (o.doppler >= 0) s.srtDoppler = o.doppler == 1;
    if (o.lightBending >= 0) s.lightBending = o.lightBending == 1;
    if (o.lightTravelTime >= 0) s.lightTravelTime = o.lightTravelTime == 1;
    if (o.sky >= 0) s.starrySky = o.sky == 1;
    s.start.w = float(o.time);
    if (!o.eye.isEmpty())
        for (const EyePreset& p : eyePresets())
            if (p.name == o.eye) s.eye = p.eye;
    if (o.searchlight >= 0) s.searchlight = int8_t(o.searchlight);
    if (o.hasExposure) {
        s.autoExposure = o.autoExposure;
        s.exposureStops = o.autoExposure ? 0.0f : o.exposureStops;
    }
    s.syncLight();
    if (o.hasBackground)
        s.setBackground(uint8_t(o.background[0]), uint8_t(o.background[1]),
                        uint8_t(o.background[2]), 255);
}
