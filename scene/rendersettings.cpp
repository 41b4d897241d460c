// Render settings: defaults, the file properties, the observer-frame conversions.
#include "scene/rendersettings.h"

#include <cmath>
#include <cstring>

#include "scene/dataelem.h"
#include "scene/elemeye.h"

RenderSettings::RenderSettings() : eye(defaultEye()) {}

RenderSettings::RenderSettings(const RenderSettings& other) : RenderSettings() { *this = other; }

RenderSettings& RenderSettings::operator=(const RenderSettings& other) {
    if (this == &other) return *this;
    eye = other.eye;
    start = other.start;
    lookat = other.lookat;
    dirx = other.dirx;
    diry = other.diry;
    speed = other.speed;
    aberration = other.aberration;
    srtDoppler = other.srtDoppler;
    lightBending = other.lightBending;
    grtDoppler = other.grtDoppler;
    lightTravelTime = other.lightTravelTime;
    starrySky = other.starrySky;
    bhpos = other.bhpos;
    bhradius = other.bhradius;
    maxBundleSize = other.maxBundleSize;
    searchlight = other.searchlight;
    exposureStops = other.exposureStops;
    autoExposure = other.autoExposure;
    syncLight();
    return *this;
}

void RenderSettings::syncLight() {
    eye.beamingExponent = searchlight;
    eye.exposure = exposureStops == 0.0f ? 1.0f : float(std::exp2(double(exposureStops)));
    eye.updateLightKey();
}

float RenderSettings::beamingFactor(float doppler) const {
    if (searchlight == 0) return 1.0f;
    return float(std::pow(1.0 / double(doppler), double(searchlight)));
}

void RenderSettings::getProperties(Reader::PropertyList& list) {
    list.addVec("start", start);
    list.addVec("lookat", lookat);
    list.addVec("dirx", dirx);
    list.addVec("diry", diry);
    list.addVec("bhpos", bhpos);
    list.addFloat("bhradius", bhradius);
    // The eye the scene was made for; written only when it is not the default eye.
    list.add(std::make_unique<Reader::ElemEye>(QStringLiteral("eye"), eye));
    // Written only when on: files without it keep their bytes and load with it off.
    list.add(std::make_unique<Reader::ElemSwitch>(QStringLiteral("lighttraveltime"),
                                                  lightTravelTime));
    list.add(std::make_unique<Reader::ElemSwitch>(QStringLiteral("starrysky"), starrySky));
}

uint32_t RenderSettings::backgroundPixel() const {
    uint32_t p;
    std::memcpy(&p, background, sizeof p);
    return p;
}

void RenderSettings::setBackground(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    background[0] = r;
    background[1] = g;
    background[2] = b;
    background[3] = a;
}

bool RenderSettings::normalizeObserver(QString* why) {
    // Two unit axes closer than this to parallel (|sin| of their angle, about 0.06 degrees)
    // leave no usable picture plane.
    constexpr double kMinSine = 1e-3;
    Vec4f* axes[3] = {&lookat, &dirx, &diry};
    const char* names[3] = {"lookat", "dirx", "diry"};
    double unit[3][3];
    for (int i = 0; i < 3; ++i) {
        const double v[3] = {axes[i]->x, axes[i]->y, axes[i]->z};
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (!(length > 0.0) || !std::isfinite(length)) {
            if (why)
                *why = QStringLiteral("the observer's direction %1 has %2 length")
                           .arg(QLatin1String(names[i]),
                                length > 0.0 ? QStringLiteral("no finite") : QStringLiteral("zero"));
            return false;
        }
        for (int k = 0; k < 3; ++k) unit[i][k] = v[k] / length;
    }
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j) {
            const double* a = unit[i];
            const double* b = unit[j];
            const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                 a[0] * b[1] - a[1] * b[0]};
            if (std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) < kMinSine) {
                if (why)
                    *why = QStringLiteral("the observer's directions %1 and %2 are parallel")
                               .arg(QLatin1String(names[i]), QLatin1String(names[j]));
                return false;
            }
        }
    for (int i = 0; i < 3; ++i) {
        axes[i]->x = float(unit[i][0]);
        axes[i]->y = float(unit[i][1]);
        axes[i]->z = float(unit[i][2]);
    }
    return true;
}

void RenderSettings::settingsToFrame(ObserverFrame& frame) const {
    const Vec4f* rows[4] = {&start, &dirx, &diry, &lookat};
    for (int r = 0; r < 4; ++r) {
        frame.m[r][1] = rows[r]->x;
        frame.m[r][2] = rows[r]->y;
        frame.m[r][3] = rows[r]->z;
    }
    frame.m[0][0] = 1.0f;
}

void RenderSettings::frameToSettings(const ObserverFrame& frame) {
    Vec4f* rows[4] = {&start, &dirx, &diry, &lookat};
    for (int r = 0; r < 4; ++r) {
        rows[r]->x = frame.m[r][1];
        rows[r]->y = frame.m[r][2];
        rows[r]->z = frame.m[r][3];
    }
}

void RenderSettings::aspectFactors(int width, int height, float& sx, float& sy) {
    const float w = float(width), h = float(height);
    if (h < w) {
        sx = 1.0f;
        sy = h / w;
    } else {
        sx = w / h;
        sy = 1.0f;
    }
}

float RenderSettings::dopplerAt(float u, float v) const {
    const double r = std::hypot(double(u), double(v));
    const float t = std::sqrt(float(double(u) * u + double(v) * v + 1.0));
    const double beta = speed;
    const float g = float(1.0 / std::sqrt(float(1.0 - beta * beta)));
    return float((beta * r / t + 1.0) * g);
}

float RenderSettings::beamingAt(float u, float v) const {
    if (searchlight == 0) return 1.0f;
    return float(std::pow(double(dopplerAt(u, v)), double(searchlight)));
}
