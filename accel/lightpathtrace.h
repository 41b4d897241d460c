// Tracing rays bent by the black hole: a ray's path is looked up in the tree's light-path table
// by its initial angle to the hole and followed as a chain of straight segments, each traced
// through the kd-tree. A path ends in the hole (the pixel turns black) or escapes, after which
// the ray goes on straight.
#pragma once

#include "geometry/raybundle.h"

class KDTree;

// The moving bodies that bent paths visit on every piece after the scene's tree: their own tree
// (see MovingPlacement) and the scene time of each piece's start. A piece that starts after a
// path length L from the eye starts at the event time + sigma L: sigma = -1 with light travel
// time (the light left earlier by the length of its way), 0 in the snapshot.
struct BentMoving {
    const KDTree* tree = nullptr;  // null: no moving body to visit
    float time = 0.0f;             // the observer's scene time
    float sigma = 0.0f;
};

// One ray; true when its pixel was written (an object was hit, or the ray fell into the hole).
bool iterRayPart(SingleRay& ray, const KDTree& tree, const BentMoving& moving = BentMoving());

// Four rays followed together. Returns the 4-bit mask of lanes whose pixel was written; the
// other lanes missed everything (the caller writes the background). The lanes share each piece's
// kd-tree traversal while their paths run alike; where they part ways (some are absorbed or go
// straight on, or some are hit) the open lanes are finished one by one from where they are.
int iterRayPart4(RayBundle4& bundle, const KDTree& tree,
                 const BentMoving& moving = BentMoving());
