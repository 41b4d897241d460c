// The second pass of ray packets: after the scene's tree, the moving bodies of the frame's own
// tree, or looked up by direction from the eye, nearer than each ray's hit so far.
#include <algorithm>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "accel/movingbodies.h"
#include "base/programmingerror.h"

namespace {

// A ray record pointed at the tree of moving bodies for as long as it lives, and back at the
// scene's tree afterwards (the camera reuses its records for the next pixels).
template <class Record>
class OnMovingTree {
public:
    OnMovingTree(Record& r, const KDTree& tree) : r(r), nodeBase(r.nodeBase), leafBase(r.leafBase) {
        r.nodeBase = tree.nodeBase();
        r.leafBase = tree.leafBase();
        r.node = *tree.rootNode();
        leafSpheres = r.leafSpheres;
        r.leafSpheres = tree.leafSphereBase();
    }
    ~OnMovingTree() {
        r.nodeBase = nodeBase;
        r.leafBase = leafBase;
        r.leafSpheres = leafSpheres;
    }
    OnMovingTree(const OnMovingTree&) = delete;
    OnMovingTree& operator=(const OnMovingTree&) = delete;

private:
    Record& r;
    const KdNode* nodeBase;
    rtObjBase* const* leafBase;
    const Vec4f* leafSpheres = nullptr;
};

}  // namespace

int traceMoving16(RayBundle16& b, const KDTree& tree) {
    const OnMovingTree<RayBundle16> on(b, tree);
    clipToBox(tree.sceneBox(), b);
    for (int g = 0; g < 4; ++g) {
        b.tMax[g] = min(b.tMax[g], b.tHit[g]);
        b.live[g] &= b.tMin[g] <= b.tMax[g];
    }
    return combineMasks(b.live) != 0 ? traceBundle16(b) : 0;
}

int traceMoving4(RayBundle4& b, const KDTree& tree, const Vec4f& limit) {
    return traceMoving4(b, tree, Vec4f(0.0f), limit);
}

int traceMoving4(RayBundle4& b, const KDTree& tree, const Vec4f& from, const Vec4f& limit) {
    const OnMovingTree<RayBundle4> on(b, tree);
    clipToBox(tree.sceneBox(), b, limit);
    b.tMin = max(b.tMin, from);
    b.live &= b.tMin <= b.tMax;
    return any(b.live) ? traceBundle4(b) : 0;
}

bool traceMoving1(SingleRay& ray, const KDTree& tree, float limit) {
    return traceMoving1(ray, tree, 0.0f, limit);
}

bool traceMoving1(SingleRay& ray, const KDTree& tree, float from, float limit) {
    clipToBox(tree.sceneBox(), ray, limit);
    ray.tMin = std::fmax(ray.tMin, from);
    if (!(ray.tMin <= ray.tMax)) return false;
    const OnMovingTree<SingleRay> on(ray, tree);
    ray.tLimit = limit;
    const bool hit = traceRay(ray);
    ray.tLimit = kNoDistance;
    return hit;
}

// ---- the second pass by direction

namespace {

// Adds cell to the n distinct cells so far.
inline void addCell(int cell, int* cells, int& n) {
    if (std::find(cells, cells + n, cell) == cells + n) cells[n++] = cell;
}

}  // namespace

int traceMoving16(RayBundle16& b, const DirectionGrid& grid) {
    TAVOLIN_DCHECK(b.origin[0].x == grid.eye().x && b.origin[0].y == grid.eye().y &&
                   b.origin[0].z == grid.eye().z);
    clipToBox(grid.bounds(), b);
    int cells[16];
    int n = 0;
    for (int g = 0; g < 4; ++g) {
        b.tMax[g] = min(b.tMax[g], b.tHit[g]);
        b.live[g] &= b.tMin[g] <= b.tMax[g];
        // The interval a leaf would hand its objects.
        b.tMin[g] *= kBundleNearEps;
        b.tMax[g] *= kBundleFarEps;
        for (int l = 0; l < 4; ++l)
            if (b.live[g].lane(l))
                addCell(DirectionGrid::cellOf(b.dir[g].x[l], b.dir[g].y[l], b.dir[g].z[l]), cells,
                        n);
    }
    int result = 0;
    for (int k = 0; k < n; ++k)
        for (uint32_t i = grid.first(cells[k]), end = grid.first(cells[k] + 1); i < end; ++i) {
            const rtObjBase* o = grid.objectAt(i);
            LaneMask4 hits[4];
            if (b.variant ? o->intersect16Alt(b, hits) : o->intersect16(b, hits)) {
                o->shade16(b, hits);
                result |= combineMasks(hits);
            }
        }
    return result;
}

int traceMoving4(RayBundle4& b, const DirectionGrid& grid, const Vec4f& limit) {
    clipToBox(grid.bounds(), b, limit);
    b.tMin *= kBundleNearEps;
    b.tMax *= kBundleFarEps;
    int cells[4];
    int n = 0;
    for (int l = 0; l < 4; ++l) {
        TAVOLIN_DCHECK(b.origin[l].x == grid.eye().x && b.origin[l].y == grid.eye().y &&
                       b.origin[l].z == grid.eye().z);
        if (b.live.lane(l))
            addCell(DirectionGrid::cellOf(b.dir[0][l], b.dir[1][l], b.dir[2][l]), cells, n);
    }
    int result = 0;
    for (int k = 0; k < n; ++k)
        for (uint32_t i = grid.first(cells[k]), end = grid.first(cells[k] + 1); i < end; ++i) {
            const rtObjBase* o = grid.objectAt(i);
            const LaneMask4 hits = b.variant ? o->intersect4Alt(b) : o->intersect4(b);
            if (any(hits)) {
                o->shade4(b, hits);
                result |= movemask(hits);
            }
        }
    return result;
}

bool traceMoving1(SingleRay& ray, const DirectionGrid& grid, float limit) {
    TAVOLIN_DCHECK(ray.origin.x == grid.eye().x && ray.origin.y == grid.eye().y &&
                   ray.origin.z == grid.eye().z);
    clipToBox(grid.bounds(), ray, limit);
    if (!(ray.tMin <= ray.tMax)) return false;
    const float savedMin = ray.tMin, savedMax = ray.tMax;
    // The interval a leaf would hand its objects.
    ray.tMin = std::fmax(0.0f, ray.tMin - kRayLeafWiden);
    ray.tMax += kRayLeafWiden;
    ray.tLimit = limit;
    const int cell = DirectionGrid::cellOf(ray.dir.x, ray.dir.y, ray.dir.z);
    float best = kNoDistance;
    const rtObjBase* nearest = nullptr;
    for (uint32_t i = grid.first(cell), end = grid.first(cell + 1); i < end; ++i) {
        float t = kNoDistance;
        const rtObjBase* o = grid.objectAt(i);
        ray.variant ? o->intersect1Alt(ray, t) : o->intersect1(ray, t);
        if (t < best) {  // ties keep the earlier object
            best = t;
            nearest = o;
        }
    }
    if (best < kNoDistance) {
        nearest->shade1(ray, best);
        ray.tMax = best;
        ray.tLimit = kNoDistance;
        return true;
    }
    ray.tLimit = kNoDistance;
    ray.tMin = savedMin;
    ray.tMax = savedMax;
    return false;
}
