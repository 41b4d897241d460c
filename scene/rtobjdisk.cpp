// The accretion disk: ray-annulus intersection for one ray and for four-lane groups, and the
// colour of a disk point from its temperature, the gas's orbital motion and the ray's factor.
//
// Light of a disk point. The gas at distance r emits a blackbody at T(r). Light that reaches the
// eye with the total wavelength factor f = lambda_seen / lambda_emitted (the frequency ratio
// g = 1 / f of Cunningham and Bardeen's transfer function) is, by Liouville's theorem
// (I_nu / nu^3 is conserved), again a blackbody, at T / f. The factor is the product of
//   - the gas's motion as a static observer at the point measures it (v on a circular orbit):
//     gamma (1 + v . d), d the light's direction reversed (from the eye towards the point), the
//     relativistic Doppler factor of a moving emitter;
//   - the gravitational shift from the point to the observer, sqrt((1 - r_s/r_o) / (1 - r_s/r)),
//     which the bent-path tracer already puts into the ray's factor when the gravitational
//     Doppler switch is on (BlackHoleFrame::wavelengthFactor): the disk does not apply it again;
//   - the observer's own motion: the ray's factor from the camera.
// For a face-on ring seen from far away on the axis (v . d = 0) this gives the well-known
// g = sqrt(1 - 3 r_s / (2 r)); in general g = sqrt(1 - 3 r_s / (2 r)) / (1 - Omega lambda) with
// the photon's angular momentum lambda (Cunningham & Bardeen 1973, ApJ 183, 237; Luminet 1979,
// A&A 75, 228), which the tests use as the independent form.
//
// Temperature: the thin-disk profile with zero torque at the inner edge, T(r) = T_in
// (r_in / r)^(3/4) (1 - sqrt(r_in / r))^(1/4) (Shakura & Sunyaev 1973, A&A 24, 337), the
// Newtonian limit of the relativistic disk of Novikov & Thorne (1973) and Page & Thorne (1974,
// ApJ 191, 499), scaled so that its peak (at r = 49/36 r_in) is the disk's tmax.
//
// One spectrum for every temperature. The spectrum is a blackbody at tmax, B(lambda, tmax), on
// lines evenly spaced in log wavelength. Seen at factor a under the eye's searchlight exponent k
// (each line's intensity times (1/a)^k, its wavelength times a), its lines have the spectral
// density of B(lambda, tmax / a) a^(4 - k) (Planck: B(a lambda, T / a) = B(lambda, T) / a^5, and
// the line spacing grows by a). The blackbody at T / f seen the way the program shows every other
// emitter, B(lambda, T / f) f^(4 - k), is therefore the spectrum at a = f tmax / T times the
// shading factor (T / tmax)^(4 - k): exact for every k, and a single table look-up per ray.
// With k = 4 (received energy) the picture is the physical one, with k = 3 photon counting, with
// k = 0 (searchlight off) only the colour follows the shift while brightness keeps T^4.
#include "scene/rtobjdisk.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

#include "base/programmingerror.h"
#include "scene/cie1931.h"
#include "scene/colblackbody.h"
#include "scene/dataelem.h"
#include "scene/eye.h"
#include "scene/rendersettings.h"
#include "scene/texturelanes.h"

namespace {

// The disk exists at all times: its box spans this far in t either way, as the plane's.
constexpr float kTimeExtent = 10000.0f;

// The spectrum's lines: from 1 nm to 16 um at 1 % steps. With factors from kMinFactor to
// kMaxFactor every eye's curves (the three-curve eyes reach from 100 to 1500 nm) see lines.
constexpr double kLineFirst = 1.0, kLineLast = 16000.0, kLineRatio = 1.01;

// The profile x^(3/4) (1 - sqrt x)^(1/4) with x = r_in / r peaks at x = 36/49 (r = 49/36 r_in).
double profile(double x) {
    if (!(x > 0.0 && x < 1.0)) return 0.0;
    return std::pow(x, 0.75) * std::pow(1.0 - std::sqrt(x), 0.25);
}
const double kProfilePeak = profile(36.0 / 49.0);

inline Vec4f spatial(const Vec4f& d) { return Vec4f(d.x, d.y, d.z, 0.0f); }

}  // namespace

rtObjDisk::rtObjDisk() { update(); }

BoundingBox rtObjDisk::boundingBox() const { return box; }

void rtObjDisk::resolveTextures(TextureCol&) {}  // the disk glows with its own light

// ---- physics of a disk point

float rtObjDisk::temperatureRatio(float r) const {
    if (!(r > inner)) return 0.0f;
    // x^(3/4) (1 - sqrt x)^(1/4) = (x^3 (1 - sqrt x))^(1/4): square roots only.
    const float x = inner / r;
    const float q = x * x * x * (1.0f - std::sqrt(x));
    return std::sqrt(std::sqrt(q)) * peakScale;
}

float rtObjDisk::orbitSpeed(float r) const {
    const float d = 2.0f * (r - rs);
    if (!(d > 0.0f)) return kMaxOrbitSpeed;
    return std::fmin(std::sqrt(rs / d), kMaxOrbitSpeed);
}

float rtObjDisk::motionFactor(const Vec4f& p, const Vec4f& dir, bool bent) const {
    const Vec4f rel = spatial(p - centre);
    const float r = std::sqrt(dot3(rel, rel));
    if (!(r > 0.0f)) return 1.0f;
    const Vec4f rHat = rel * (1.0f / r);
    Vec4f d = spatial(dir);
    if (bent && r > rs) {
        // Schwarzschild coordinates to the static observer's frame: the radial part of a
        // direction is longer by 1 / sqrt(1 - r_s / r).
        const float radial = dot3(d, rHat);
        d = d + rHat * (radial * (1.0f / std::sqrt(1.0f - rs / r) - 1.0f));
        d = d * (1.0f / std::sqrt(dot3(d, d)));
    }
    // The gas turns right-handed about the normal: velocity along normal x r_hat.
    const Vec4f along(axis.y * rHat.z - axis.z * rHat.y, axis.z * rHat.x - axis.x * rHat.z,
                      axis.x * rHat.y - axis.y * rHat.x, 0.0f);
    const float v = orbitSpeed(r);
    const float gamma = 1.0f / std::sqrt(1.0f - v * v);
    return gamma * (1.0f + v * dot3(along, d));
}

void rtObjDisk::shadeOne(const Eye& eye, const RenderSettings* settings, const Vec4f& p,
                         const Vec4f& dir, float doppler, bool bent, float& factor,
                         float& shade) const {
    const Vec4f rel = spatial(p - centre);
    const float ratio = temperatureRatio(std::sqrt(dot3(rel, rel)));
    if (!(ratio > 0.0f)) {  // the inner edge itself is cold
        factor = 1.0f;
        shade = 0.0f;
        return;
    }
    const bool moving = !settings || settings->srtDoppler;
    const float f = doppler * (moving ? motionFactor(p, dir, bent) : 1.0f);
    factor = std::clamp(f / ratio, kMinFactor, kMaxFactor);
    float s = 1.0f;
    for (int k = eye.beamingExponent; k < 4; ++k) s *= ratio;
    for (int k = 4; k < eye.beamingExponent; ++k) s /= ratio;
    shade = s;
}

// ---- single rays

bool rtObjDisk::hitSingle(const SingleRay& ray, float& t) const {
    const Vec4f d = spatial(ray.dir);
    const Vec4f oc = spatial(centre - ray.origin);
    t = dot3(oc, axis) / dot3(d, axis);
    if (!(ray.tMin <= t && t <= ray.tMax)) return false;
    const Vec4f q = d * t - oc;  // hit point - centre
    const float r2 = dot3(q, q);
    return inner2 <= r2 && r2 <= outer2;
}

void rtObjDisk::intersect1(SingleRay& ray, float& t) const {
    float th;
    if (!hitSingle(ray, th)) return;
    ray.hitOffset = axis * hitOffsetScale;
    ray.u = 0.0f;
    ray.v = 0.0f;
    t = th;
}

void rtObjDisk::intersect1Alt(SingleRay& ray, float& t) const { intersect1(ray, t); }

bool rtObjDisk::occluded1(const SingleRay& ray) const {
    float t;
    return hitSingle(ray, t);
}

void rtObjDisk::shade1(SingleRay& ray, float t) const {
    const Vec4f p = spatial(ray.origin) + spatial(ray.dir) * t;
    const Eye& eye = ray.settings->eye;
    float factor, shade;
    shadeOne(eye, ray.settings, p, ray.dir, ray.doppler, ray.variant != 0, factor, shade);
    spectrum.toPixel(eye, ray.out, &factor, &shade);
}

// ---- four-lane groups

namespace {

// The disk broadcast to four lanes: t = n.(c - o) / n.d, accepted inside the ray's interval,
// below tHit, and between the inner and outer radius; each lane from its own origin.
struct DiskLanes {
    Vec4f nx, ny, nz, cx, cy, cz, in2, out2;

    inline LaneMask4 group(const Vec4f& ox, const Vec4f& oy, const Vec4f& oz, const Vec4f& dx,
                           const Vec4f& dy, const Vec4f& dz, const Vec4f& tMin, const Vec4f& tMax,
                           Vec4f& tHit, LaneMask4& live) const {
        const Vec4f px = cx - ox, py = cy - oy, pz = cz - oz;
        const Vec4f t = (nx * px + ny * py + nz * pz) / (nx * dx + ny * dy + nz * dz);
        LaneMask4 accept = (t > tMin) & (t < tMax) & (t < tHit);
        if (none(accept)) return accept;
        const Vec4f qx = dx * t - px, qy = dy * t - py, qz = dz * t - pz;
        const Vec4f r2 = qx * qx + qy * qy + qz * qz;
        accept &= (r2 >= in2) & (r2 <= out2);
        live = andNot(live, accept);
        tHit = select(accept, t, tHit);
        return accept;
    }
};

DiskLanes lanesOf(const Vec4f& axis, const Vec4f& centre, float inner2, float outer2) {
    return DiskLanes{Vec4f(axis.x),   Vec4f(axis.y),   Vec4f(axis.z), Vec4f(centre.x),
                     Vec4f(centre.y), Vec4f(centre.z), Vec4f(inner2), Vec4f(outer2)};
}

}  // namespace

LaneMask4 rtObjDisk::intersect4(RayBundle4& b) const {
    const DiskLanes lanes = lanesOf(axis, centre, inner2, outer2);
    return lanes.group(b.originSoA[0], b.originSoA[1], b.originSoA[2], b.dir[0], b.dir[1], b.dir[2],
                       b.tMin, b.tMax, b.tHit, b.live);
}

LaneMask4 rtObjDisk::intersect4Alt(RayBundle4& b) const { return intersect4(b); }

int rtObjDisk::reserved4(int) const { return 0; }

void rtObjDisk::shade4(RayBundle4& b, LaneMask4 mask) const {
    const int bits = movemask(mask);
    const Eye& eye = b.settings->eye;
    alignas(16) float factor[4] = {1, 1, 1, 1}, shade[4] = {0, 0, 0, 0};
    for (int l = 0; l < 4; ++l) {
        if (!(bits & (1 << l))) continue;
        const Vec4f dir(b.dir[0][l], b.dir[1][l], b.dir[2][l], 0.0f);
        const Vec4f p =
            Vec4f(b.originSoA[0][l], b.originSoA[1][l], b.originSoA[2][l], 0.0f) + dir * b.tHit[l];
        shadeOne(eye, b.settings, p, dir, b.doppler[l], b.variant != 0, factor[l], shade[l]);
    }
    uint32_t* pixels[4];
    quadPixels(b, pixels);
    spectrum.toPixel4(eye, Vec4f::load(factor), Vec4f::load(shade), mask, pixels);
}

bool rtObjDisk::intersect16(RayBundle16& b, LaneMask4 hits[4]) const {
    const DiskLanes lanes = lanesOf(axis, centre, inner2, outer2);
    const Vec4f& o = b.origin[0];
    const Vec4f ox(o.x), oy(o.y), oz(o.z);
    LaneMask4 any16;
    for (int g = 0; g < 4; ++g) {
        hits[g] = lanes.group(ox, oy, oz, b.dir[g].x, b.dir[g].y, b.dir[g].z, b.tMin[g], b.tMax[g],
                              b.tHit[g], b.live[g]);
        any16 |= hits[g];
    }
    return any(any16);
}

bool rtObjDisk::intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersect16(b, hits);
}

int rtObjDisk::reserved16(int) const { return 0; }

void rtObjDisk::shade16(RayBundle16& b, const LaneMask4 mask[4]) const {
    const Eye& eye = b.settings->eye;
    const Vec4f o = spatial(b.origin[0]);
    alignas(16) float factor[4][4], shade[4][4];
    Vec4f factors[4], shades[4];
    for (int g = 0; g < 4; ++g) {
        const int bits = movemask(mask[g]);
        for (int l = 0; l < 4; ++l) {
            factor[g][l] = 1.0f;
            shade[g][l] = 0.0f;
            if (!(bits & (1 << l))) continue;
            const Vec4f dir(b.dir[g].x[l], b.dir[g].y[l], b.dir[g].z[l], 0.0f);
            shadeOne(eye, b.settings, o + dir * b.tHit[g][l], dir, b.doppler[g][l], b.variant != 0,
                     factor[g][l], shade[g][l]);
        }
        factors[g] = Vec4f::load(factor[g]);
        shades[g] = Vec4f::load(shade[g]);
    }
    spectrum.toPixel16(eye, factors, shades, mask, b.out);
}

// ---- set-up between frames

void rtObjDisk::prepareForOrigin(const Vec4f&) {}  // bundles use their own origins

void rtObjDisk::getProperties(Reader::PropertyList& list) {
    rtObjBase::getProperties(list);
    list.addVec(QStringLiteral("normal"), normal);
    list.addFloat(QStringLiteral("rout"), rout);
    list.add(std::make_unique<Reader::ElemOptionalFloat>(QStringLiteral("rin"), rin));
    list.addFloat(QStringLiteral("tmax"), tmax)
        ->setEditorRange(kMinTemperature, kMaxTemperature,
                         QCoreApplication::translate(
                             "rtObjDisk", "Expected a temperature from 300 to 1000000 K"));
}

void rtObjDisk::placeAtHole(const Vec4f& hole, float schwarzschildRadius) {
    centre = spatial(hole);
    centre.w = hole.w;
    rs = schwarzschildRadius;
    update();
}

void rtObjDisk::rebuildSpectrum() {
    spectrum.clearLines();
    spectrum.name = QStringLiteral("disk");
    spectrum.shadesByTable = true;
    spectrumFor = tmax;
    const double t = std::clamp(double(tmax), double(kMinTemperature), double(kMaxTemperature));
    // Lines at lambda_i = first ratio^i stand for the stretch lambda_i ln(ratio) each: their
    // intensities are B(lambda_i) lambda_i, scaled so that the eye at rest sees luminance 1.
    const int n = int(std::log(kLineLast / kLineFirst) / std::log(kLineRatio)) + 1;
    double y = 0.0;
    for (int i = 0; i < n; ++i) {
        const double nm = kLineFirst * std::pow(kLineRatio, i);
        y += Cie1931::yBar(nm) * ColBlackbody::planck(nm, t) * nm;
    }
    const double scale = y > 0.0 ? Cie1931::kUnit / y : 0.0;
    for (int i = 0; i < n; ++i) {
        const double nm = kLineFirst * std::pow(kLineRatio, i);
        spectrum.addLine(float(nm), float(scale * ColBlackbody::planck(nm, t) * nm));
    }
}

void rtObjDisk::update() {
    // In double, as the file's rule judges the normal: a tiny one is still a direction.
    const double nx = normal.x, ny = normal.y, nz = normal.z;
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    axis = len > 0.0 && std::isfinite(len)
               ? Vec4f(float(nx / len), float(ny / len), float(nz / len), 0.0f)
               : Vec4f(0, 1, 0, 0);
    inner = rin > 0.0f ? rin : kIscoRadii * rs;
    inner2 = inner * inner;
    outer2 = rout * rout;
    peakScale = float(1.0 / kProfilePeak);

    // The annulus's box: along axis k the disk reaches rout sqrt(1 - n_k^2) from the centre.
    Vec4f lo, hi;
    double magnitude = std::fabs(double(rout));
    for (int k = 0; k < 3; ++k) {
        const float reach = rout * std::sqrt(std::fmax(0.0f, 1.0f - axis[k] * axis[k]));
        lo[k] = centre[k] - reach;
        hi[k] = centre[k] + reach;
        magnitude = std::fmax(magnitude, std::fabs(double(centre[k])));
    }
    lo.w = centre.w - kTimeExtent;
    hi.w = centre.w + kTimeExtent;
    box = BoundingBox(lo, hi);
    const float m = float(kHitBoundsMargin * (1.0 + magnitude));
    const BoundingBox hit = std::isfinite(m)
                                ? BoundingBox(lo - Vec4f(m, m, m, 0.0f), hi + Vec4f(m, m, m, 0.0f))
                                : BoundingBox::everywhere();
    setHitBounds(hit);
    if (spectrumFor != tmax) rebuildSpectrum();
}

void rtObjDisk::copyFrom(const rtObjBase& other) {
    const auto* o = dynamic_cast<const rtObjDisk*>(&other);
    if (!o) programmingError("rtObjDisk::copyFrom: the other object is not a disk");
    *this = *o;
    update();
}

rtObjBase* rtObjDisk::clone() const {
    auto* copy = new rtObjDisk();
    copy->copyFrom(*this);
    return copy;
}
