// The test of a sphere at rest against a 4 x 4 bundle on 16-lane registers, inline, so that a
// traversal can keep the bundle's directions in registers across a leaf's spheres instead of
// gathering them for every sphere.
#pragma once

#include "geometry/raybundle.h"
#include "geometry/vec16f.h"

#if TAVOLIN_WIDE_KERNELS

// A 4 x 4 bundle's directions, one component per register (ray 4g + l in lane 4g + l).
struct WideDirections {
    Vec16f x, y, z;
};

TAVOLIN_WIDE_INLINE WideDirections wideDirections(const RayBundle16& b) {
    return {join(b.dir[0].x, b.dir[1].x, b.dir[2].x, b.dir[3].x),
            join(b.dir[0].y, b.dir[1].y, b.dir[2].y, b.dir[3].y),
            join(b.dir[0].z, b.dir[1].z, b.dir[2].z, b.dir[3].z)};
}

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
