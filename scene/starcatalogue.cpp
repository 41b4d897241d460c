// Star catalogues: the Bright Star Catalogue's text format, and a generated sky.
#include "scene/starcatalogue.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

namespace {

// One whitespace-separated number starting at text[pos]; false when there is none or it does
// not end at a blank or the end of the line.
bool readNumber(const char*& p, const char* end, double& value) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p == end) return false;
    char buf[32];
    int n = 0;
    while (p < end && *p != ' ' && *p != '\t' && n < int(sizeof buf) - 1) buf[n++] = *p++;
    if (p < end && *p != ' ' && *p != '\t') return false;  // a field longer than any number
    buf[n] = '\0';
    char* stop = nullptr;
    value = std::strtod(buf, &stop);
    return stop == buf + n && std::isfinite(value);
}

// Uniform in (0, 1) from one 32-bit output: the same on every standard library.
double unit(std::mt19937& rng) { return (double(rng()) + 0.5) / 4294967296.0; }

}  // namespace

void StarCatalogue::equatorialToScene(double decDegrees, double raHours, float& x, float& y,
                                      float& z) {
    const double dec = decDegrees * M_PI / 180.0;
    const double ra = raHours * M_PI / 12.0;
    x = float(std::cos(dec) * std::sin(ra));
    y = float(std::sin(dec));
    z = float(std::cos(dec) * std::cos(ra));
}

StarCatalogue StarCatalogue::parse(const QByteArray& text) {
    StarCatalogue out;
    const char* p = text.constData();
    const char* const end = p + text.size();
    while (p < end) {
        const char* lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n') ++lineEnd;
        const char* q = p;
        const char* stop = lineEnd > p && lineEnd[-1] == '\r' ? lineEnd - 1 : lineEnd;
        p = lineEnd + 1;
        while (q < stop && (*q == ' ' || *q == '\t')) ++q;
        if (q == stop || *q == '#') continue;
        double dec = 0, ra = 0, mag = 0;
        if (!readNumber(q, stop, dec) || !readNumber(q, stop, ra) || !readNumber(q, stop, mag) ||
            dec < -90.0 || dec > 90.0 || ra < 0.0 || ra > 24.0 || mag < kMinMagnitude ||
            mag > kMaxMagnitude) {
            ++out.skippedLines;
            continue;
        }
        Star star;
        equatorialToScene(dec, ra, star.x, star.y, star.z);
        star.magnitude = float(mag);
        star.kelvin = kBscKelvin;
        out.stars.push_back(star);
    }
    return out;
}

bool StarCatalogue::load(const QString& path, StarCatalogue& out, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    out = parse(file.readAll());
    out.source = path;
    return true;
}

double StarCatalogue::ballesterosKelvin(double bv) {
    return 4600.0 * (1.0 / (0.92 * bv + 1.7) + 1.0 / (0.92 * bv + 0.62));
}

StarCatalogue StarCatalogue::generate(int count, uint32_t seed) {
    StarCatalogue out;
    out.source = QStringLiteral("generated");
    std::mt19937 rng(seed);
    out.stars.reserve(size_t(std::max(count, 0)));
    // Inverse of the cumulative count 10^(slope (m - faintest)), cut at the brightest end.
    const double floorU = std::pow(10.0, double(kCountSlope) * double(kBrightest - kFaintest));
    for (int i = 0; i < count; ++i) {
        Star star;
        const double cz = 2.0 * unit(rng) - 1.0;
        const double phi = 2.0 * M_PI * unit(rng);
        const double sz = std::sqrt(std::max(0.0, 1.0 - cz * cz));
        star.x = float(sz * std::cos(phi));
        star.y = float(cz);
        star.z = float(sz * std::sin(phi));
        const double u = floorU + (1.0 - floorU) * unit(rng);
        star.magnitude = float(double(kFaintest) + std::log10(u) / double(kCountSlope));
        // B-V: 60 % near 0.0 (B, A, F dwarfs), 40 % near 1.1 (K giants), spread 0.25 each
        // (Box-Muller); clamped to the range stars have.
        const bool giant = unit(rng) < 0.4;
        const double gauss =
            std::sqrt(-2.0 * std::log(unit(rng))) * std::cos(2.0 * M_PI * unit(rng));
        const double bv = std::clamp((giant ? 1.1 : 0.0) + 0.25 * gauss, -0.33, 2.0);
        star.kelvin = float(ballesterosKelvin(bv));
        out.stars.push_back(star);
    }
    return out;
}

const StarCatalogue& StarCatalogue::standard() {
    static const StarCatalogue catalogue = [] {
        StarCatalogue sky;
        if (!load(QString::fromLatin1(kBscPath), sky) || sky.stars.empty()) sky = generate();
        sky.milkyWay = true;
        return sky;
    }();
    return catalogue;
}
