// Parsing the renderer's flags. Every refusal names the flag and what it accepts.
#include "cli/renderoptions.h"

#include <QCoreApplication>
#include <cmath>

#include "scene/eye.h"
#include "scene/rendersettings.h"

namespace {

bool parseOnOff(const QString& flag, const QString& value, int& out, QString& problem) {
    if (value == QLatin1String("on")) {
        out = 1;
        return true;
    }
    if (value == QLatin1String("off")) {
        out = 0;
        return true;
    }
    problem = QStringLiteral("%1 takes on or off, not \"%2\"").arg(flag, value);
    return false;
}

bool parseInt(const QString& text, int lo, int hi, int& out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace

QString renderUsage() {
    return QStringLiteral(
        "usage: tavolin-render [SCENE] -o FILE [--size WxH] [--aa 1|4|8|16] [--speed BETA]\n"
        "                      [--bundle 1|2|4] [--aberration on|off] [--doppler on|off]\n"
        "                      [--light-bending on|off] [--eye Default|Superwoman|Lindworms|Humans]\n"
        "                      [--background R,G,B] [--threads N] [--bench N] [--trace]\n"
        "                      [--searchlight off|3|4] [--exposure STOPS|auto]\n"
        "                      [--flypath PATHFILE [--fps N] [--frames A-B]]\n"
        "Renders SCENE (default: the default scene, or the built-in scene without it) to FILE\n"
        "(PNG, JPEG or BMP by its suffix). --bench N times N frames after one warm-up frame.\n"
        "--eye: Default, Superwoman, Lindworms, Humans or \"Human (CIE 1931)\".\n"
        "--searchlight: relativistic beaming, every line times (1/D)^k (4: energy, 3: photons).\n"
        "--exposure: brightness x 2^STOPS before the 8-bit clamp; auto adjusts it over frames.\n"
        "Film: --flypath renders the recorded fly path at --fps frames per second (default 25):\n"
        "frame k shows film time k/N and is saved as FILE's name + _kkkkk (film_00000.png ...).\n"
        "--frames A-B (or A) renders only those frames (default all); the recording sets the\n"
        "observer and its speed, the other flags apply as usual.\n"
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
        const bool takesValue =
            a == "-o" || a == "--size" || a == "--aa" || a == "--speed" || a == "--bundle" ||
            a == "--aberration" || a == "--doppler" || a == "--light-bending" || a == "--eye" ||
            a == "--background" || a == "--threads" || a == "--bench" || a == "--flypath" ||
            a == "--fps" || a == "--frames" || a == "--searchlight" || a == "--exposure";
        QString v;
        if (takesValue) {
            if (i + 1 >= args.size()) {
                problem = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            v = args[++i];
        }
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "-o") {
            o.output = v;
        } else if (a == "--size") {
            const QStringList wh = v.split(QLatin1Char('x'));
            if (wh.size() != 2 || !parseInt(wh[0], 1, 32768, o.width) ||
                !parseInt(wh[1], 1, 32768, o.height)) {
                problem = QStringLiteral("--size takes WIDTHxHEIGHT with each from 1 to 32768, not \"%1\"").arg(v);
                return false;
            }
        } else if (a == "--aa") {
            int level = 0;
            if (!parseInt(v, 1, 16, level) || (level != 1 && level != 4 && level != 8 && level != 16)) {
                problem = QStringLiteral("--aa takes 1, 4, 8 or 16 samples per pixel, not \"%1\"").arg(v);
                return false;
            }
            o.antialiasing = level;
        } else if (a == "--speed") {
            bool ok = false;
            const float s = v.toFloat(&ok);
            if (!ok || !std::isfinite(s) || s <= -1.0f || s >= 1.0f) {
                problem = QStringLiteral("--speed takes a fraction of the speed of light between -1 and 1 (exclusive), not \"%1\"").arg(v);
                return false;
            }
            o.hasSpeed = true;
            o.speed = s;
        } else if (a == "--bundle") {
            if (!parseInt(v, 1, 4, o.bundle) || o.bundle == 3) {
                problem = QStringLiteral("--bundle takes 1, 2 or 4 (the side of the ray packet), not \"%1\"").arg(v);
                return false;
            }
        } else if (a == "--aberration") {
            if (!parseOnOff(a, v, o.aberration, problem)) return false;
        } else if (a == "--doppler") {
            if (!parseOnOff(a, v, o.doppler, problem)) return false;
        } else if (a == "--light-bending") {
            if (!parseOnOff(a, v, o.lightBending, problem)) return false;
        } else if (a == "--eye") {
            QStringList names;
            for (const EyePreset& p : eyePresets()) names << p.name;
            if (!names.contains(v)) {
                problem = QStringLiteral("--eye takes one of %1, not \"%2\"").arg(names.join(QStringLiteral(", ")), v);
                return false;
            }
            o.eye = v;
        } else if (a == "--background") {
            const QStringList rgb = v.split(QLatin1Char(','));
            if (rgb.size() != 3 || !parseInt(rgb[0], 0, 255, o.background[0]) ||
                !parseInt(rgb[1], 0, 255, o.background[1]) ||
                !parseInt(rgb[2], 0, 255, o.background[2])) {
                problem = QStringLiteral("--background takes R,G,B with each from 0 to 255, not \"%1\"").arg(v);
                return false;
            }
            o.hasBackground = true;
        } else if (a == "--threads") {
            if (!parseInt(v, 1, 256, o.threads)) {
                problem = QStringLiteral("--threads takes a number of threads from 1 to 256, not \"%1\"").arg(v);
                return false;
            }
        } else if (a == "--bench") {
            if (!parseInt(v, 1, 100000, o.benchFrames)) {
                problem = QStringLiteral("--bench takes a number of frames of at least 1, not \"%1\"").arg(v);
                return false;
            }
        } else if (a == "--flypath") {
            o.flypath = v;
        } else if (a == "--fps") {
            filmFlag = true;
            if (!parseInt(v, 1, 1000, o.fps)) {
                problem = QStringLiteral("--fps takes a number of frames per second from 1 to 1000, not \"%1\"").arg(v);
                return false;
            }
        } else if (a == "--frames") {
            filmFlag = true;
            const QStringList ab = v.split(QLatin1Char('-'));
            const bool ok = (ab.size() == 1 || ab.size() == 2) &&
                            parseInt(ab[0], 0, 99999, o.firstFrame) &&
                            parseInt(ab.back(), 0, 99999, o.lastFrame);
            if (!ok || o.firstFrame > o.lastFrame) {
                problem = QStringLiteral("--frames takes A-B (or A), frame numbers from 0 with A <= B, not \"%1\"").arg(v);
                return false;
            }
        } else if (a == "--searchlight") {
            if (v == QLatin1String("off")) {
                o.searchlight = 0;
            } else if (v == QLatin1String("3") || v == QLatin1String("4")) {
                o.searchlight = v.toInt();
            } else {
                problem = QStringLiteral("--searchlight takes off, 3 (photon counting) or 4 (energy), not \"%1\"").arg(v);
                return false;
            }
        } else if (a == "--exposure") {
            if (v == QLatin1String("auto")) {
                o.autoExposure = true;
            } else {
                bool ok = false;
                const float stops = v.toFloat(&ok);
                if (!ok || !std::isfinite(stops) || stops < -16.0f || stops > 16.0f) {
                    problem = QStringLiteral("--exposure takes a number of stops from -16 to 16 or auto, not \"%1\"").arg(v);
                    return false;
                }
                o.exposureStops = stops;
            }
            o.hasExposure = true;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            problem = QStringLiteral("unknown option \"%1\"").arg(a);
            return false;
        } else if (o.scene.isEmpty()) {
            o.scene = a;
        } else {
            problem = QStringLiteral("only one scene file may be given (\"%1\" and \"%2\")").arg(o.scene, a);
            return false;
        }
    }
    if (!o.help && o.flypath.isEmpty() && filmFlag) {
        problem = QStringLiteral("--fps and --frames need --flypath PATHFILE (the film to render)");
        return false;
    }
    if (!o.help && !o.flypath.isEmpty() && (o.output.isEmpty() || o.benchFrames > 0)) {
        problem = QStringLiteral("--flypath needs -o FILE (the name the frames are numbered from) and no --bench");
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
