// Tracing rays bent by the black hole: a ray's path is looked up in the tree's light-path table
// by its initial angle to the hole and followed as a chain of straight segments, each traced
// through the kd-tree. A path ends in the hole (the pixel turns black) or escapes, after which
// the ray goes on straight.
#pragma once

#include "accel/kdtraverse.h"
#include "geometry/raybundle.h"

class KDTree;
class TimeSlices;

// An empty leaf cell of the scene's tree that bent paths were last found in, with the test of
// whether four segments lie inside it safely enough that a traversal along them would find
// nothing (see iterRayPart4).
class EmptyCellMemory {
public:
    bool remembers() const { return known_; }
    // Whether the segments from origin (x, y, z on four lanes) to end, of lengths len, lie
    // inside the cell: by more than the traversal widens intervals (a relative 1e-4 at each end,
    // and so 2e-4 where a split leaves a ray a sliver beyond a plane) and the rounding of split
    // distances near the faces. A traversal along them would step down to that leaf alone; or,
    // where a lane missing the scene box makes it split at a node, leave the other lanes nothing
    // on the other side. Either way it finds nothing.
    bool holds(const Vec4f origin[3], const Vec4f end[3], const Vec4f& len) const {
        const Vec4f margin = margin_ + len * Vec4f(5e-4f);
        LaneMask4 inside = LaneMask4::fromBits(0xf);
        for (int k = 0; k < 3; ++k) {
            const Vec4f lo = min(origin[k], end[k]), hi = max(origin[k], end[k]);
            inside &= (lo - margin > lo_[k]) & (hi + margin < hi_[k]);
        }
        return all(inside);
    }
    // Takes what a traversal from the root found (traceBundle4 with a cell).
    void remember(bool empty, const EmptyCell& cell) {
        known_ = empty;
        if (!empty) return;
        const Vec4f lo = abs(cell.lo), hi = abs(cell.hi), inf(__builtin_inff());
        // The largest finite coordinate of a face (an infinite side needs no margin).
        const Vec4f faces =
            max(select(lo < inf, lo, Vec4f(0.0f)), select(hi < inf, hi, Vec4f(0.0f)));
        margin_ = Vec4f(1e-5f * maxScalar(maxScalar(faces.x, faces.y), faces.z));
        for (int k = 0; k < 3; ++k) {
            lo_[k] = Vec4f(cell.lo[k]);
            hi_[k] = Vec4f(cell.hi[k]);
        }
    }

private:
    bool known_ = false;
    Vec4f lo_[3], hi_[3];  // the cell's corners, each coordinate on four lanes
    Vec4f margin_;
};

// The moving bodies that bent paths visit on every piece after the scene's tree: their own tree
// (see MovingPlacement) and the scene time of each piece's start. A piece that starts after a
// path length L from the eye starts at the event time + sigma L: sigma = -1 with light travel
// time (the light left earlier by the length of its way); +1 in the snapshot, where only the
// moving sphere's own test reads it (a ray's length is its time there, so a path in pieces
// meets the sphere when the straight ray would) and the other bodies are all at the event time.
struct BentMoving {
    const KDTree* tree = nullptr;        // null: no moving body to visit there
    const TimeSlices* slices = nullptr;  // with light travel time: the bodies by time, or null
    float time = 0.0f;                   // the observer's scene time
    float sigma = 0.0f;

    bool any() const { return tree || slices; }
};

// One ray; true when its pixel was written (an object was hit, or the ray fell into the hole).
bool iterRayPart(SingleRay& ray, const KDTree& tree, const BentMoving& moving = BentMoving());

// Four rays followed together. Returns the 4-bit mask of lanes whose pixel was written; the
// other lanes missed everything (the caller writes the background). The lanes share each piece's
// kd-tree traversal while their paths run alike; where they part ways (some are absorbed or go
// straight on, or some are hit) the open lanes are finished one by one from where they are.
// A piece that lies in the empty leaf cell the piece before ended in is not traced. firstPieces,
// if given, carries an empty cell that holds the eye from packet to packet (the first pieces
// start there side by side); it belongs to this tree.
int iterRayPart4(RayBundle4& bundle, const KDTree& tree, const BentMoving& moving = BentMoving(),
                 EmptyCellMemory* firstPieces = nullptr);
