// The ray records that carry rays from the camera through the kd-tree into the objects' hit and
// shading code. Every stage writes its fields in a fixed order; four-lane groups are 16-byte
// aligned so that one SSE instruction handles four rays.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/boundingbox.h"
#include "geometry/kdnode.h"
#include "geometry/vec4f.h"

class rtObjBase;
struct RenderSettings;

// Where a ray's parameter interval starts and ends: origin + t dir for tMin <= t <= tMax.
// An object accepts a hit only for tMin < t < tMax and t < tHit (bundles).
constexpr float kNoHit = 1e25f;      // initial tHit of bundle rays
constexpr float kNoDistance = 1e31f; // distance sentinel of single-ray intersection

// 16 rays of a 4 x 4 pixel block. Group g is pixel row g, lane l is column l; ray 4g + l.
struct alignas(16) RayBundle16 {
    KdNode node;                   // node being visited; the root before each trace
    const KdNode* nodeBase;        // the tree's node array
    rtObjBase* const* leafBase;    // the tree's leaf list
    // Beside each leaf-list entry: a sphere at rest's centre and squared radius, or w < 0 for
    // any other object (KDTree::leafSphereBase). Null: every object is tested through its own
    // intersect16.
    const Vec4f* leafSpheres = nullptr;
    Vec4f origin[16];              // per-ray origin, ray 0 first
    Vec4f originSoA[4][4];         // group g: x, y, z, w of rays 4g..4g+3
    LaneMask4 live[4];             // rays still looking for a hit
    Vec4f tHit[4];                 // nearest hit so far
    Vec3x4 dir[4];                 // unit directions
    Vec3x4 invDir[4];              // 1 / dir, infinite where a component is 0
    Vec4f tMin[4];
    Vec4f tMax[4];
    Vec4f doppler[4];              // wavelength factor per ray (1 without Doppler effect)
    Vec4f u[4];                    // surface coordinates left by the object that hit
    Vec4f v[4];
    // The part of that object that was hit, for an object of several (a cube's face, 0 to 5);
    // written by its intersection and read by its shading, which follows it at once.
    Vec4f part[4];
    const RenderSettings* settings;
    uint8_t variant;               // light bending on: the Alt intersection entries
    uint8_t shadeFlag;             // the frame's spectral shift switch
    uint8_t trace;                 // write traversal decisions to standard output
    // With leafSpheres: the spheres at rest shade the rays they hit when the walk ends, not at
    // the hit (worth it where the objects do not stay in the cache; the pictures are the same).
    uint8_t deferShading;
    uint32_t* out[4];              // per pixel row: the block's first pixel (lane l is out[g][l])
};

// 4 rays of a 2 x 2 block: lane 0 row 0 col 0, lane 1 row 0 col 1, lane 2 row 1 col 0,
// lane 3 row 1 col 1.
struct alignas(16) RayBundle4 {
    KdNode node;
    const KdNode* nodeBase;
    rtObjBase* const* leafBase;
    const Vec4f* leafSpheres = nullptr;  // as RayBundle16::leafSpheres
    Vec4f origin[4];       // array-of-structures, lane 0 first
    Vec4f originSoA[4];    // x, y, z, w of the four rays
    LaneMask4 live;
    Vec4f tHit;
    Vec4f scratch[4];      // directions in array-of-structures order while generating
    Vec4f dir[4];          // x, y, z of four unit directions, then w = 1
    Vec4f invDir[4];       // 1/x, 1/y, 1/z, then 1
    Vec4f tMin;
    Vec4f tMax;
    Vec4f doppler;
    Vec4f u;
    Vec4f v;
    Vec4f part;  // as RayBundle16::part
    const RenderSettings* settings;
    uint8_t variant;
    uint8_t trace;
    uint32_t* out[2];      // per pixel row: the packet's first pixel (lane l at out[l/2][l%2])
};

struct alignas(16) SingleRay {
    KdNode node;
    const KdNode* nodeBase;
    rtObjBase* const* leafBase;
    const Vec4f* leafSpheres = nullptr;  // as RayBundle16::leafSpheres
    Vec4f origin;
    Vec4f dir;         // unit x, y, z; w = 1
    Vec4f invDir;      // 1/x, 1/y, 1/z; w = 1
    Vec4f hitOffset;   // written by the object that reports a hit
    float tMin;
    float tMax;
    // Moving bodies accept only hits nearer than this: the scene's hit, which the ray's leaf
    // widening (kRayLeafWiden) would otherwise let them cover from behind.
    float tLimit = kNoDistance;
    const RenderSettings* settings;
    float doppler;
    uint8_t variant;
    float u;
    float v;
    uint8_t trace;
    uint32_t* out;
};

static_assert(alignof(RayBundle16) == 16 && alignof(RayBundle4) == 16 && alignof(SingleRay) == 16,
              "ray records live on 16-byte boundaries");
static_assert(offsetof(RayBundle16, origin) % 16 == 0 && offsetof(RayBundle16, originSoA) % 16 == 0 &&
                  offsetof(RayBundle16, live) % 16 == 0 && offsetof(RayBundle16, dir) % 16 == 0 &&
                  offsetof(RayBundle16, invDir) % 16 == 0 && offsetof(RayBundle16, tMin) % 16 == 0 &&
                  offsetof(RayBundle16, doppler) % 16 == 0 && offsetof(RayBundle16, v) % 16 == 0,
              "RayBundle16 groups start on 16-byte boundaries");
static_assert(offsetof(RayBundle4, origin) % 16 == 0 && offsetof(RayBundle4, dir) % 16 == 0 &&
                  offsetof(RayBundle4, invDir) % 16 == 0 && offsetof(RayBundle4, v) % 16 == 0,
              "RayBundle4 groups start on 16-byte boundaries");
static_assert(offsetof(SingleRay, origin) % 16 == 0 && offsetof(SingleRay, hitOffset) % 16 == 0,
              "SingleRay vectors start on 16-byte boundaries");

// Mask of 16 rays: group g in bits 4g..4g+3, lane l of the group in bit 4g + l.
inline int combineMasks(const LaneMask4 m[4]) {
    return movemask(m[0]) | (movemask(m[1]) << 4) | (movemask(m[2]) << 8) | (movemask(m[3]) << 12);
}

// Slab test of one ray against a box: entry and exit distances along the ray.
inline void slabDistances(const BoundingBox& box, const Vec4f& origin, const Vec4f& invDir,
                          float& entry, float& exit) {
    const Vec4f t1 = (box.min - origin) * invDir;
    const Vec4f t2 = (box.max - origin) * invDir;
    const Vec4f lo = min(t1, t2), hi = max(t1, t2);
    entry = std::fmax(std::fmax(lo.x, lo.y), lo.z);
    exit = std::fmin(std::fmin(hi.x, hi.y), hi.z);
}

// Limits the ray to the part inside the box: tMin = max(0, entry), tMax = exit.
inline void clipToBox(const BoundingBox& box, SingleRay& ray) {
    float entry, exit;
    slabDistances(box, ray.origin, ray.invDir, entry, exit);
    ray.tMax = exit;
    ray.tMin = std::fmax(0.0f, entry);
}

// As above, with the interval also ending at limit (a segment of a bent light path).
inline void clipToBox(const BoundingBox& box, SingleRay& ray, float limit) {
    float entry, exit;
    slabDistances(box, ray.origin, ray.invDir, entry, exit);
    ray.tMax = std::fmin(exit, limit);
    ray.tMin = std::fmax(0.0f, entry);
}

// Four rays of one structure-of-arrays group against a box; returns entry <= exit per lane.
// Equality counts: a flat box (a lone wall, a floor, coplanar tiles) is entered and left at the
// same distance, and single rays trace that interval too, so the packets must see it as well.
inline LaneMask4 clipGroup(const BoundingBox& box, const Vec4f& ox, const Vec4f& oy,
                           const Vec4f& oz, const Vec4f& ix, const Vec4f& iy, const Vec4f& iz,
                           Vec4f& tMin, Vec4f& tMax) {
    const Vec4f x1 = (Vec4f(box.min.x) - ox) * ix, x2 = (Vec4f(box.max.x) - ox) * ix;
    const Vec4f y1 = (Vec4f(box.min.y) - oy) * iy, y2 = (Vec4f(box.max.y) - oy) * iy;
    const Vec4f z1 = (Vec4f(box.min.z) - oz) * iz, z2 = (Vec4f(box.max.z) - oz) * iz;
    const Vec4f entry = max(max(min(x1, x2), min(y1, y2)), min(z1, z2));
    const Vec4f exit = min(min(max(x1, x2), max(y1, y2)), max(z1, z2));
    tMin = max(Vec4f(0.0f), entry);
    tMax = exit;
    return entry <= exit;
}

// Whether each of four rays' intervals [tMin, tEnd] passes through the box. Conservative: a lane
// whose slab distances are undefined (an origin on a face, moving parallel to it) counts as
// passing.
inline LaneMask4 groupMeetsBox(const BoundingBox& box, const Vec4f& ox, const Vec4f& oy,
                               const Vec4f& oz, const Vec4f& ix, const Vec4f& iy,
                               const Vec4f& iz, const Vec4f& tMin, const Vec4f& tEnd) {
    const Vec4f x1 = (Vec4f(box.min.x) - ox) * ix, x2 = (Vec4f(box.max.x) - ox) * ix;
    const Vec4f y1 = (Vec4f(box.min.y) - oy) * iy, y2 = (Vec4f(box.max.y) - oy) * iy;
    const Vec4f z1 = (Vec4f(box.min.z) - oz) * iz, z2 = (Vec4f(box.max.z) - oz) * iz;
    const Vec4f entry = max(max(min(x1, x2), min(y1, y2)), min(z1, z2));
    const Vec4f exit = min(min(max(x1, x2), max(y1, y2)), max(z1, z2));
    const LaneMask4 undefined = isNan(x1 + x2 + y1 + y2 + z1 + z2);
    return undefined | ((entry <= exit) & (entry <= tEnd) & (exit >= tMin));
}

// Clips all 16 rays (one shared origin, the camera's) and sets the live lanes.
inline void clipToBox(const BoundingBox& box, RayBundle16& b) {
    const Vec4f ox(b.origin[0].x), oy(b.origin[0].y), oz(b.origin[0].z);
    for (int g = 0; g < 4; ++g)
        b.live[g] = clipGroup(box, ox, oy, oz, b.invDir[g].x, b.invDir[g].y, b.invDir[g].z,
                              b.tMin[g], b.tMax[g]);
}

// Clips the four rays, each from its own origin, and sets the live lanes. With a limit per lane
// the interval also ends there.
inline void clipToBox(const BoundingBox& box, RayBundle4& b) {
    b.live = clipGroup(box, b.originSoA[0], b.originSoA[1], b.originSoA[2], b.invDir[0],
                       b.invDir[1], b.invDir[2], b.tMin, b.tMax);
}
inline void clipToBox(const BoundingBox& box, RayBundle4& b, const Vec4f& limit) {
    b.live = clipGroup(box, b.originSoA[0], b.originSoA[1], b.originSoA[2], b.invDir[0],
                       b.invDir[1], b.invDir[2], b.tMin, b.tMax);
    b.tMax = min(b.tMax, limit);
    b.live &= b.tMin <= b.tMax;
}
