// A 4 x 4 bundle's directions on 16-lane registers. A walk joins them once and hands them to the
// tests it runs inline in its leaves (spheres at rest, parallelograms), instead of each test
// gathering them from the bundle's groups of four again.
#pragma once

#include "geometry/raybundle.h"
#include "geometry/vec16f.h"

#if TAVOLIN_WIDE_KERNELS

// One component per register (ray 4g + l in lane 4g + l).
struct WideDirections {
    Vec16f x, y, z;
};

TAVOLIN_WIDE_INLINE WideDirections wideDirections(const RayBundle16& b) {
    return {join(b.dir[0].x, b.dir[1].x, b.dir[2].x, b.dir[3].x),
            join(b.dir[0].y, b.dir[1].y, b.dir[2].y, b.dir[3].y),
            join(b.dir[0].z, b.dir[1].z, b.dir[2].z, b.dir[3].z)};
}

#endif
