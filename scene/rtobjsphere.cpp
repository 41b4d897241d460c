// Ray-sphere intersection by the quadratic formula: in space for the static sphere, in space-time
// (the ray parameter taken as time) for the moving sphere's single rays, and four lanes per SSE
// instruction for bundles, which share the first ray's origin.
#include "scene/rtobjsphere.h"

#include <cmath>

#include "geometry/programmingerror.h"
#include "scene/dataelem.h"
#include "scene/texture.h"
#include "scene/texturecol.h"

namespace {

// A sphere exists at all times: its box spans this far in t either way around center.w.
constexpr float kTimeExtent = 10000.0f;

inline Vec4f spatial(const Vec4f& d) { return Vec4f(d.x, d.y, d.z, 0.0f); }

// Roots of |oc + t d|^2 = r2 over x, y, z, written as t^2 + h t + c / a = 0 with h = 2 d.oc / a.
// False when the discriminant is negative.
inline bool sphereRoots(const Vec4f& oc, const Vec4f& d, float r2, float& nearRoot,
                        float& farRoot) {
    const float a = dot3(d, d);
    const float h = (2.0f * dot3(d, oc)) / a;
    const float disc = h * h / 4.0f - (dot3(oc, oc) - r2) / a;
    if (disc < 0.0f) return false;
    const float s = std::sqrt(disc);
    nearRoot = -(s + h / 2.0f);
    farRoot = s - h / 2.0f;
    return true;
}

BoundingBox staticBox(const Vec4f& c, float r) {
    return BoundingBox(Vec4f(c.x - r, c.y - r, c.z - r, c.w - kTimeExtent),
                       Vec4f(c.x + r, c.y + r, c.z + r, c.w + kTimeExtent));
}

}  // namespace

template <int N>
rtObjSphere<N>::rtObjSphere() {
    update();
}

template <int N>
BoundingBox rtObjSphere<N>::boundingBox() const {
    return box;
}

template <int N>
void rtObjSphere<N>::resolveTextures(TextureCol& textures) {
    texture = textures.get(texname);
}

// ---- single rays

template <int N>
bool rtObjSphere<N>::hitSingle(const SingleRay& ray, float& t, Vec4f& hitCenter) const {
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

// ---- four-lane groups: unit directions (a = 1) from the bundle's first origin; the constant
// term takes the squared distance over all four components, time included, so a sphere seen at
// another time than its center.w appears with radius sqrt(r^2 - dt^2).

namespace {

// The sphere seen from a bundle's first origin, broadcast to four lanes once per bundle:
// oc = o - center per component and the constant term |o - center|^2 - r^2 (four components).
struct SphereLanes {
    Vec4f ocx, ocy, ocz, constant;

    SphereLanes(const Vec4f& origin, const Vec4f& center, float radius2) {
        const Vec4f oc = origin - center;
        ocx = Vec4f(oc.x);
        ocy = Vec4f(oc.y);
        ocz = Vec4f(oc.z);
        constant = Vec4f(dot4(oc, oc) - radius2);
    }

    // Roots of t^2 + h t + constant = 0 with h = 2 dir.oc (unit directions); a lane accepts the
    // near root inside (tMin, tMax) and below tHit, else the far root under the same conditions.
    // Lanes without a real root are done after the discriminant.
    inline LaneMask4 group(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz, const Vec4f& tMin,
                           const Vec4f& tMax, Vec4f& tHit, LaneMask4& live) const {
        const Vec4f h = Vec4f(2.0f) * (dx * ocx + dy * ocy + dz * ocz);
        const Vec4f disc = h * h * Vec4f(0.25f) - constant;  // x * 0.25 rounds as x / 4
        const LaneMask4 real = disc >= Vec4f(0.0f);
        if (none(real)) return real;
        const Vec4f half(0.5f);
        const Vec4f s = sqrt(max(disc, Vec4f(0.0f)));
        const Vec4f t1 = -(s + h * half);
        const Vec4f t2 = s - h * half;
        const LaneMask4 ok1 = real & (t1 > tMin) & (t1 < tMax) & (t1 < tHit);
        const LaneMask4 ok2 = andNot(real & (t2 > tMin) & (t2 < tMax) & (t2 < tHit), ok1);
        const LaneMask4 accept = ok1 | ok2;
        tHit = select(ok1, t1, select(ok2, t2, tHit));
        live = andNot(live, accept);
        return accept;
    }
};

}  // namespace

// The bundle tests of both sphere kinds, compiled for the baseline and for AVX2.
TAVOLIN_HOT_KERNEL
static LaneMask4 sphereIntersect4(const Vec4f& center, float radius2, RayBundle4& b) {
    const SphereLanes lanes(b.origin[0], center, radius2);
    return lanes.group(b.dir[0], b.dir[1], b.dir[2], b.tMin, b.tMax, b.tHit, b.live);
}

TAVOLIN_HOT_KERNEL
static bool sphereIntersect16(const Vec4f& center, float radius2, RayBundle16& b, LaneMask4 hits[4]) {
    const SphereLanes lanes(b.origin[0], center, radius2);
    LaneMask4 any16;
    for (int g = 0; g < 4; ++g) {
        hits[g] = lanes.group(b.dir[g].x, b.dir[g].y, b.dir[g].z, b.tMin[g], b.tMax[g], b.tHit[g],
                              b.live[g]);
        any16 |= hits[g];
    }
    return any(any16);
}

template <int N>
LaneMask4 rtObjSphere<N>::intersect4(RayBundle4& b) const {
    return sphereIntersect4(center, radius2, b);
}

template <int N>
LaneMask4 rtObjSphere<N>::intersect4Alt(RayBundle4& b) const {
    return intersect4(b);
}

template <int N>
int rtObjSphere<N>::reserved4(int) const {
    return 0;
}

template <int N>
Vec4f rtObjSphere<N>::shadeFactors(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz,
                                   const Vec4f& co, const Vec4f& tHit) const {
    // (c - o).dir - t = -(p - c).dir: positive where the ray meets the outside of the sphere.
    return (dx * Vec4f(co.x) + dy * Vec4f(co.y) + dz * Vec4f(co.z) - tHit) * Vec4f(invRadius);
}

template <int N>
void rtObjSphere<N>::shade4(RayBundle4& b, LaneMask4 mask) const {
    const Vec4f zero;
    b.u = select(mask, zero, b.u);
    b.v = select(mask, zero, b.v);
    const Vec4f f = shadeFactors(b.dir[0], b.dir[1], b.dir[2], center - b.origin[0], b.tHit);
    if (texture) texture->shade4(b, mask, f);
}

template <int N>
bool rtObjSphere<N>::intersect16(RayBundle16& b, LaneMask4 hits[4]) const {
    return sphereIntersect16(center, radius2, b, hits);
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
    const Vec4f co = center - b.origin[0];
    alignas(16) Vec4f f[4];
    for (int g = 0; g < 4; ++g) {
        b.u[g] = select(mask[g], zero, b.u[g]);
        b.v[g] = select(mask[g], zero, b.v[g]);
        f[g] = shadeFactors(b.dir[g].x, b.dir[g].y, b.dir[g].z, co, b.tHit[g]);
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
}

template <int N>
void rtObjSphere<N>::update() {
    box = staticBox(center, radius);
    if constexpr (!kStatic) {
        box.unite(staticBox(center + mov * (tmax - tmin), radius));
        box.min.w = tmin;
        box.max.w = tmax;
    }
    area = box.surfaceArea();
    radius2 = radius * radius;
    invRadius = 1.0f / radius;
    // Bundles draw both kinds as a static sphere at center, no larger than radius.
    const float m = kHitBoundsMargin *
                    (1.0f + std::fmax(std::fmax(std::fabs(center.x), std::fabs(center.y)),
                                      std::fabs(center.z)) +
                     std::fabs(radius));
    hitBounds = staticBox(center, std::fabs(radius) + m);
    if (!std::isfinite(m)) hitBounds = BoundingBox::everywhere();
    hitBounds.min.w = -__builtin_inff();
    hitBounds.max.w = __builtin_inff();
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
