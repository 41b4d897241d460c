// Ray-sphere intersection by the quadratic formula: in space for the static sphere, in space-time
// (the ray parameter taken as time) for the moving sphere's single rays, and four lanes per SSE
// instruction for bundles, which share the first ray's origin.
#include "scene/rtobjsphere.h"

#include <cmath>

#include "base/programmingerror.h"
#include "geometry/lorentzboost.h"
#include "geometry/vec16f.h"
#include "scene/dataelem.h"
#include "scene/rendersettings.h"
#include "scene/staticsphere.h"
#include "scene/texture.h"
#include "scene/texturecol.h"

namespace {

// A sphere exists at all times: its box spans this far in t either way around center.w.
constexpr float kTimeExtent = 10000.0f;

inline Vec4f spatial(const Vec4f& d) { return Vec4f(d.x, d.y, d.z, 0.0f); }

BoundingBox staticBox(const Vec4f& c, float r) {
    return BoundingBox(Vec4f(c.x - r, c.y - r, c.z - r, c.w - kTimeExtent),
                       Vec4f(c.x + r, c.y + r, c.z + r, c.w + kTimeExtent));
}

// Bundles meet the static sphere inside its box and the moving one inside the box it sweeps
// while it exists, from center to end. A bound, not a box to be drawn: rounded either way it
// keeps its room, so it need not be worked out in one rounding mode.
BoundingBox sweptHitBounds(const Vec4f& center, const Vec4f& end, float radius) {
    const float m =
        kHitBoundsMargin * (1.0f +
                            std::fmax(std::fmax(std::fabs(center.x), std::fabs(center.y)),
                                      std::fmax(std::fabs(center.z), std::fabs(end.x))) +
                            std::fmax(std::fabs(end.y), std::fabs(end.z)) + std::fabs(radius));
    if (!std::isfinite(m)) return BoundingBox::everywhere();
    BoundingBox bounds = staticBox(center, std::fabs(radius) + m);
    bounds.unite(staticBox(end, std::fabs(radius) + m));
    bounds.min.w = -__builtin_inff();
    bounds.max.w = __builtin_inff();
    return bounds;
}

}  // namespace

template <int N>
rtObjSphere<N>::rtObjSphere() {
    update();
}

template <int N>
BoundingBox rtObjSphere<N>::boundingBox() const {
    // Worked out when asked rather than kept, 32 bytes less a sphere; a tree build asks once.
    // It may ask on any thread, and the box must not depend on which.
    const NearestRounding rounding;
    BoundingBox box = staticBox(center, radius);
    if constexpr (!kStatic) {
        box.unite(staticBox(center + mov * (tmax - tmin), radius));
        box.min.w = tmin;
        box.max.w = tmax;
    }
    return box;
}

template <int N>
void rtObjSphere<N>::resolveTextures(TextureCol& textures) {
    texture = textures.get(texname);
}

// ---- single rays

template <int N>
bool rtObjSphere<N>::stepsAside(const RenderSettings* settings) const {
    if constexpr (kStatic) return false;
    return settings && settings->lightTravelTime && hasRestFrame;
}

template <int N>
bool rtObjSphere<N>::hitSingle(const SingleRay& ray, float& t, Vec4f& hitCenter) const {
    if (stepsAside(ray.settings)) return false;
    const Vec4f d = spatial(ray.dir);
    float r1, r2;
    if constexpr (kStatic) {
        if (!sphereRoots(spatial(ray.origin - center), d, radius2, r1, r2)) return false;
        hitCenter = spatial(center);
        if (ray.tMin < r1 && r1 < ray.tMax) {
            t = r1;
            return true;
        }
        if (ray.tMin < r2 && r2 < ray.tMax) {
            t = r2;
            return true;
        }
        return false;
    } else {
        // With T the absolute time of the event, the ray point is o + (T - o.w) dir and the
        // centre center + mov (T - tmin): their difference is o' + T d'.
        const Vec4f oRel = spatial((ray.origin - center) - d * ray.origin.w + mov * tmin);
        const Vec4f dRel = spatial(d - mov);
        if (!sphereRoots(oRel, dRel, radius2, r1, r2)) return false;
        const float roots[2] = {r1, r2};
        for (float T : roots) {
            const float tr = T - ray.origin.w;
            if (tmin < T && T < tmax && ray.tMin < tr && tr < ray.tMax) {
                t = tr;
                hitCenter = spatial(center + mov * (T - tmin));
                return true;
            }
        }
        return false;
    }
}

template <int N>
void rtObjSphere<N>::intersect1(SingleRay& ray, float& t) const {
    if constexpr (kStatic) {
        intersectStaticSphere1(staticLanes(), ray, t);
        return;
    }
    float th;
    Vec4f c;
    if (!hitSingle(ray, th, c)) return;
    const Vec4f p = spatial(ray.origin) + spatial(ray.dir) * th;
    ray.hitOffset = (p - c) * hitOffsetScale;
    t = th;
}

template <int N>
void rtObjSphere<N>::intersect1Alt(SingleRay& ray, float& t) const {
    intersect1(ray, t);
}

template <int N>
bool rtObjSphere<N>::occluded1(const SingleRay& ray) const {
    float t;
    Vec4f c;
    return hitSingle(ray, t, c);
}

template <int N>
void rtObjSphere<N>::shade1(SingleRay& ray, float t) const {
    const Vec4f d = spatial(ray.dir);
    Vec4f c = spatial(center);
    if constexpr (!kStatic) c = spatial(center + mov * (ray.origin.w + t - tmin));
    const Vec4f p = spatial(ray.origin) + d * t;
    ray.u = 0.0f;
    ray.v = 0.0f;
    if (texture) texture->shade1(ray, std::fabs(dot3(p - c, d)) / radius);
}

// ---- four-lane groups: unit directions (a = 1) from the bundle's first origin.
//
// Two departures from the original bundle rules make every packet size draw what single rays
// draw: the constant term takes the squared distance over x, y, z only (a static sphere exists
// at all times, so an observer at another time than center.w sees it at its full radius, not at
// sqrt(r^2 - dt^2); see SphereLanes), and the moving sphere is met in space-time as by single
// rays instead of as a static sphere at center.

namespace {

// The moving sphere for four lanes from their own origins: the single-ray equation in the
// absolute time T of the event, |o' + T d'|^2 = r^2 with o' = (o - center) - dir o.w + mov tmin
// and d' = dir - mov; a root counts when tmin < T < tmax and t = T - o.w lies in the lane's
// interval below tHit, the near root first.
struct MovingSphereLanes {
    Vec4f mx, my, mz, tLo, tHi, r2;

    MovingSphereLanes(const Vec4f& mov, float tmin, float tmax, float radius2)
        : mx(mov.x), my(mov.y), mz(mov.z), tLo(tmin), tHi(tmax), r2(radius2) {}

    inline LaneMask4 group(const Vec4f& cx, const Vec4f& cy, const Vec4f& cz, const Vec4f& ox,
                           const Vec4f& oy, const Vec4f& oz, const Vec4f& ow, const Vec4f& dx,
                           const Vec4f& dy, const Vec4f& dz, const Vec4f& tMin, const Vec4f& tMax,
                           Vec4f& tHit, LaneMask4& live) const {
        const Vec4f px = ox - cx - dx * ow + mx * tLo;
        const Vec4f py = oy - cy - dy * ow + my * tLo;
        const Vec4f pz = oz - cz - dz * ow + mz * tLo;
        const Vec4f qx = dx - mx, qy = dy - my, qz = dz - mz;
        const Vec4f a = qx * qx + qy * qy + qz * qz;
        const Vec4f h = (Vec4f(2.0f) * (qx * px + qy * py + qz * pz)) / a;
        const Vec4f disc = h * h * Vec4f(0.25f) - (px * px + py * py + pz * pz - r2) / a;
        const LaneMask4 real = disc >= Vec4f(0.0f);
        if (none(real)) return real;
        const Vec4f s = sqrt(max(disc, Vec4f(0.0f)));
        const Vec4f T1 = -(s + h * Vec4f(0.5f)), T2 = s - h * Vec4f(0.5f);
        const Vec4f t1 = T1 - ow, t2 = T2 - ow;
        const LaneMask4 ok1 = real & (T1 > tLo) & (T1 < tHi) & (t1 > tMin) & (t1 < tMax) &
                              (t1 < tHit);
        const LaneMask4 ok2 = andNot(real & (T2 > tLo) & (T2 < tHi) & (t2 > tMin) &
                                         (t2 < tMax) & (t2 < tHit),
                                     ok1);
        const LaneMask4 accept = ok1 | ok2;
        tHit = select(ok1, t1, select(ok2, t2, tHit));
        live = andNot(live, accept);
        return accept;
    }
};

}  // namespace

// The bundle tests of both sphere kinds, compiled for the baseline and for AVX2 (the static
// sphere's four-lane test is inline, in the traversals' own clones).
#if TAVOLIN_WIDE_KERNELS
TAVOLIN_WIDE_KERNEL static bool sphereIntersect16Wide(const Vec4f& centreAndRadius2, RayBundle16& b,
                                                      LaneMask4 hits[4]) {
    const Mask16 accept = intersectStaticSphereWide(centreAndRadius2, wideDirections(b), b);
    for (int g = 0; g < 4; ++g) hits[g] = group(accept, g);
    return accept != 0;
}
#endif

TAVOLIN_HOT_KERNEL
static bool sphereIntersect16(const Vec4f& center, float radius2, RayBundle16& b,
                              LaneMask4 hits[4]) {
    const SphereLanes lanes(b.origin[0], center, radius2);
    LaneMask4 any16;
    for (int g = 0; g < 4; ++g) {
        hits[g] = lanes.group(b.dir[g].x, b.dir[g].y, b.dir[g].z, b.tMin[g], b.tMax[g], b.tHit[g],
                              b.live[g]);
        any16 |= hits[g];
    }
    return any(any16);
}

TAVOLIN_HOT_KERNEL
static LaneMask4 movingIntersect4(const MovingSphereLanes& lanes, const Vec4f& c, RayBundle4& b) {
    return lanes.group(Vec4f(c.x), Vec4f(c.y), Vec4f(c.z), b.originSoA[0], b.originSoA[1],
                       b.originSoA[2], b.originSoA[3], b.dir[0], b.dir[1], b.dir[2], b.tMin,
                       b.tMax, b.tHit, b.live);
}

TAVOLIN_HOT_KERNEL
static bool movingIntersect16(const MovingSphereLanes& lanes, const Vec4f& c, RayBundle16& b,
                              LaneMask4 hits[4]) {
    const Vec4f& o = b.origin[0];
    LaneMask4 any16;
    for (int g = 0; g < 4; ++g) {
        hits[g] = lanes.group(Vec4f(c.x), Vec4f(c.y), Vec4f(c.z), Vec4f(o.x), Vec4f(o.y),
                              Vec4f(o.z), Vec4f(o.w), b.dir[g].x, b.dir[g].y, b.dir[g].z,
                              b.tMin[g], b.tMax[g], b.tHit[g], b.live[g]);
        any16 |= hits[g];
    }
    return any(any16);
}

bool intersectStaticSphere16(const Vec4f& centreAndRadius2, RayBundle16& b, LaneMask4 hits[4]) {
    const float radius2 = centreAndRadius2.w;
#if TAVOLIN_WIDE_KERNELS
    if (hasWideKernels()) return sphereIntersect16Wide(centreAndRadius2, b, hits);
#endif
    return sphereIntersect16(centreAndRadius2, radius2, b, hits);
}

template <int N>
LaneMask4 rtObjSphere<N>::intersect4(RayBundle4& b) const {
    if constexpr (kStatic) return intersectStaticSphere4(staticLanes(), b, false);
    if (stepsAside(b.settings)) return LaneMask4();
    return movingIntersect4(MovingSphereLanes(mov, tmin, tmax, radius2), center, b);
}

// The light-bending entry: the lanes of a bent path start from their own path points (the
// original rule used the first lane's origin, which holds only for a path's first piece).
template <int N>
LaneMask4 rtObjSphere<N>::intersect4Alt(RayBundle4& b) const {
    if constexpr (!kStatic) return intersect4(b);  // already lane by lane
    return intersectStaticSphere4(staticLanes(), b, true);
}

template <int N>
int rtObjSphere<N>::reserved4(int) const {
    return 0;
}

template <int N>
Vec4f rtObjSphere<N>::shadeFactors(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz,
                                   const Vec4f origin[4], const Vec4f& tHit) const {
    // |(p - c).dir| / r with p - c = (o - c) + t dir, as for single rays: the absolute value lights
    // the inside of a sphere like its outside (the signed factor of the original bundle rule drew
    // an observer inside a sphere black at some packet sizes). The moving sphere's centre is the
    // one at the time of the hit, T = o.w + t.
    Vec4f cx(center.x), cy(center.y), cz(center.z);
    if constexpr (!kStatic) {
        const Vec4f since = origin[3] + tHit - Vec4f(tmin);
        cx = cx + Vec4f(mov.x) * since;
        cy = cy + Vec4f(mov.y) * since;
        cz = cz + Vec4f(mov.z) * since;
    }
    return abs(dx * (origin[0] - cx) + dy * (origin[1] - cy) + dz * (origin[2] - cz) + tHit) *
           Vec4f(inverseToNearest(radius));
}

template <int N>
void rtObjSphere<N>::shade4(RayBundle4& b, LaneMask4 mask) const {
    const Vec4f zero;
    b.u = select(mask, zero, b.u);
    b.v = select(mask, zero, b.v);
    const Vec4f f = shadeFactors(b.dir[0], b.dir[1], b.dir[2], b.originSoA, b.tHit);
    if (texture) texture->shade4(b, mask, f);
}

template <int N>
bool rtObjSphere<N>::intersect16(RayBundle16& b, LaneMask4 hits[4]) const {
    if constexpr (kStatic) return intersectStaticSphere16(staticLanes(), b, hits);
    if (stepsAside(b.settings)) {
        for (int g = 0; g < 4; ++g) hits[g] = LaneMask4();
        return false;
    }
    return movingIntersect16(MovingSphereLanes(mov, tmin, tmax, radius2), center, b, hits);
}

template <int N>
bool rtObjSphere<N>::staticSphere(Vec4f& centreAndRadius2) const {
    if constexpr (!kStatic) return false;
    centreAndRadius2 = staticLanes();
    return true;
}

template <int N>
bool rtObjSphere<N>::intersect16Alt(RayBundle16& b, LaneMask4 hits[4]) const {
    return intersect16(b, hits);
}

template <int N>
int rtObjSphere<N>::reserved16(int) const {
    return 0;
}

template <int N>
void rtObjSphere<N>::shade16(RayBundle16& b, const LaneMask4 mask[4]) const {
    const Vec4f zero;
    const Vec4f& o = b.origin[0];
    const Vec4f origin[4] = {Vec4f(o.x), Vec4f(o.y), Vec4f(o.z), Vec4f(o.w)};
    alignas(16) Vec4f f[4];
    for (int g = 0; g < 4; ++g) {
        b.u[g] = select(mask[g], zero, b.u[g]);
        b.v[g] = select(mask[g], zero, b.v[g]);
        f[g] = shadeFactors(b.dir[g].x, b.dir[g].y, b.dir[g].z, origin, b.tHit[g]);
    }
    if (texture) texture->shade16(b, mask, f);
}

// ---- set-up between frames

template <int N>
void rtObjSphere<N>::prepareForOrigin(const Vec4f&) {}  // bundles use their own first origin

template <int N>
void rtObjSphere<N>::getProperties(Reader::PropertyList& list) {
    rtObjBase::getProperties(list);
    list.addVec("center", center);
    if constexpr (!kStatic) {
        list.addFloat("tmin", tmin);
        list.addFloat("tmax", tmax);
        list.addVec("mov", mov);
    }
    list.addFloat("radius", radius);
    list.addString("texname", texname);
    if constexpr (kStatic) this->addVelocity(list);
}

template <int N>
BodyMotion rtObjSphere<N>::motion() const {
    if constexpr (kStatic) {
        return rtObjBase::motion();
    } else {
        BodyMotion m;
        m.velocity = Vec4f(mov.x, mov.y, mov.z, 0.0f);
        // Where the centre is at scene time 0 when it is at center at time tmin; a sphere that
        // has always existed is at center at time 0.
        m.reference = std::isfinite(tmin) ? center - mov * tmin : center;
        m.tmin = tmin;
        m.tmax = tmax;
        m.spaceTime = true;
        return m;
    }
}

template <int N>
void rtObjSphere<N>::update() {
    if constexpr (!kStatic) hasRestFrame = LorentzBoost::slowerThanLight(mov);
    radius2 = radius * radius;
    if constexpr (!kStatic)
        this->setHitBounds(sweptHitBounds(center, center + mov * (tmax - tmin), radius));
}

template <int N>
BoundingBox rtObjSphere<N>::hitBounds() const {
    if constexpr (kStatic)
        return sweptHitBounds(center, center, radius);
    else
        return rtObjBounded::hitBounds();
}

template <int N>
void rtObjSphere<N>::copyFrom(const rtObjBase& other) {
    const auto* o = dynamic_cast<const rtObjSphere<N>*>(&other);
    if (!o) programmingError("rtObjSphere::copyFrom: the other object is not the same sphere kind");
    *this = *o;
    update();
}

template <int N>
rtObjBase* rtObjSphere<N>::clone() const {
    auto* copy = new rtObjSphere<N>();
    copy->copyFrom(*this);
    return copy;
}

template class rtObjSphere<0>;
template class rtObjSphere<1>;

static_assert(sizeof(rtObjSphere<1>) + sizeof(SphereMotion<0>) <= sizeof(rtObjSphere<0>),
              "the sphere at rest keeps no motion fields");
// Big scenes are mostly spheres at rest, a million of them in a file the reader accepts: every
// field on top of these 64 bytes costs a megabyte per field byte.
static_assert(sizeof(rtObjSphere<1>) <= 64, "the sphere at rest stays within 64 bytes");
