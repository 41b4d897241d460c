// The tests of a sphere at rest against single rays and ray bundles, inline, so that a
// traversal's leaf loop runs them without a call per sphere (and the 16-lane one with the bundle's
// directions kept in registers across a leaf's spheres instead of gathered for every sphere).
#pragma once

#include <cmath>

#include "geometry/raybundle.h"
#include "geometry/vec16f.h"
#include "geometry/widedirections.h"
#include "scene/rtobjbase.h"

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

// rtObjSphere<1>::intersect1 of the sphere with centre x, y, z and squared radius w: the near
// root inside the ray's open interval, else the far one, goes to t, and the hit's offset along
// the normal to the ray. The single-ray walk runs it from the leaf list's copy of the sphere.
inline void intersectStaticSphere1(const Vec4f& centreAndRadius2, SingleRay& ray, float& t) {
    const Vec4f c(centreAndRadius2.x, centreAndRadius2.y, centreAndRadius2.z, 0.0f);
    const Vec4f o(ray.origin.x, ray.origin.y, ray.origin.z, 0.0f);
    const Vec4f d(ray.dir.x, ray.dir.y, ray.dir.z, 0.0f);
    float r1, r2;
    if (!sphereRoots(o - c, d, centreAndRadius2.w, r1, r2)) return;
    float th;
    if (ray.tMin < r1 && r1 < ray.tMax)
        th = r1;
    else if (ray.tMin < r2 && r2 < ray.tMax)
        th = r2;
    else
        return;
    ray.hitOffset = ((o + d * th) - c) * hitOffsetScale;
    t = th;
}

// The sphere seen from a bundle's first origin, broadcast to four lanes once per bundle:
// oc = o - center per component and the constant term |o - center|^2 - r^2. The constant takes
// x, y and z only: a sphere at rest exists at all times, so an observer at another time than
// center.w sees it at its full radius, as single rays do.
struct SphereLanes {
    Vec4f ocx, ocy, ocz, constant;

    SphereLanes(const Vec4f& origin, const Vec4f& center, float radius2) {
        const Vec4f oc = origin - center;
        ocx = Vec4f(oc.x);
        ocy = Vec4f(oc.y);
        ocz = Vec4f(oc.z);
        constant = Vec4f(dot3(oc, oc) - radius2);
    }
    // Each lane from its own origin (x, y, z lanes), as the lanes of a bent path start.
    SphereLanes(const Vec4f origin[3], const Vec4f& center, float radius2)
        : ocx(origin[0] - Vec4f(center.x)),
          ocy(origin[1] - Vec4f(center.y)),
          ocz(origin[2] - Vec4f(center.z)),
          constant(ocx * ocx + ocy * ocy + ocz * ocz - Vec4f(radius2)) {}

    // Roots of t^2 + 2 b t + constant = 0 with b = dir.oc (unit directions): -b -+ sqrt(b^2 -
    // constant). A lane accepts the near root inside (tMin, tMax) and below tHit, else the far
    // root under the same conditions. Lanes without a real root are done after the discriminant.
    // (Written with h = 2b, as the single ray's equation reads, the factors 2, 1/4 and 1/2 are
    // powers of two and round to the same floats, but lie on the test's chain of dependent
    // operations.)
    inline LaneMask4 group(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz, const Vec4f& tMin,
                           const Vec4f& tMax, Vec4f& tHit, LaneMask4& live) const {
        const Vec4f b = dx * ocx + dy * ocy + dz * ocz;
        const Vec4f disc = b * b - constant;
        const LaneMask4 real = disc >= Vec4f(0.0f);
        if (none(real)) return real;
        const Vec4f s = sqrt(max(disc, Vec4f(0.0f)));
        const Vec4f t1 = -(s + b);
        const Vec4f t2 = s - b;
        const LaneMask4 ok1 = real & (t1 > tMin) & (t1 < tMax) & (t1 < tHit);
        const LaneMask4 ok2 = andNot(real & (t2 > tMin) & (t2 < tMax) & (t2 < tHit), ok1);
        const LaneMask4 accept = ok1 | ok2;
        tHit = select(ok1, t1, select(ok2, t2, tHit));
        live = andNot(live, accept);
        return accept;
    }
};

// rtObjSphere<1>::intersect4 (or intersect4Alt with perLaneOrigins) of the sphere with centre
// x, y, z and squared radius w: the same hits bit for bit.
inline LaneMask4 intersectStaticSphere4(const Vec4f& centreAndRadius2, RayBundle4& b,
                                        bool perLaneOrigins) {
    const float radius2 = centreAndRadius2.w;
    const SphereLanes lanes = perLaneOrigins ? SphereLanes(b.originSoA, centreAndRadius2, radius2)
                                             : SphereLanes(b.origin[0], centreAndRadius2, radius2);
    return lanes.group(b.dir[0], b.dir[1], b.dir[2], b.tMin, b.tMax, b.tHit, b.live);
}

#if TAVOLIN_WIDE_KERNELS

// The sphere with centre x, y, z and squared radius w seen from the bundle's first origin:
// t^2 + 2 b t + c = 0 with b = dir.oc and c = |oc|^2 - r^2 (x, y, z), the near root accepted
// inside (tMin, tMax) and below tHit, else the far root. Updates tHit and live and returns the
// rays it hit. The same operations, lane by lane, as the four-lane test (rtObjSphere<1>).
TAVOLIN_WIDE_INLINE Mask16 intersectStaticSphereWide(const Vec4f& centreAndRadius2,
                                                     const WideDirections& d, RayBundle16& b) {
    const Vec4f oc = b.origin[0] - centreAndRadius2;
    const float constant = dot3(oc, oc) - centreAndRadius2.w;
    const Vec16f bb = d.x * wide(oc.x) + d.y * wide(oc.y) + d.z * wide(oc.z);
    const Vec16f disc = bb * bb - wide(constant);
    const Mask16 real = disc >= wide(0.0f);
    if (real == 0) return 0;
    const Vec16f s = sqrt(max(disc, wide(0.0f)));
    const Vec16f t1 = -(s + bb);
    const Vec16f t2 = s - bb;
    const Vec16f tMin = load16(b.tMin), tMax = load16(b.tMax), tHit = load16(b.tHit);
    const Mask16 ok1 = real & (t1 > tMin) & (t1 < tMax) & (t1 < tHit);
    const Mask16 ok2 = real & (t2 > tMin) & (t2 < tMax) & (t2 < tHit) & Mask16(~ok1);
    const Mask16 accept = ok1 | ok2;
    store16(select(ok1, t1, select(ok2, t2, tHit)), b.tHit);
    storeMask16(loadMask16(b.live) & Mask16(~accept), b.live);
    return accept;
}

#endif
