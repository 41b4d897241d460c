// Tracing rays bent by the black hole: a ray's path is looked up in the tree's light-path table
// by its initial angle to the hole and followed as a chain of straight segments, each traced
// through the kd-tree. A path ends in the hole (the pixel turns black) or escapes, after which
// the ray goes on straight.
#pragma once

#include "geometry/raybundle.h"

class KDTree;

// One ray; true when its pixel was written (an object was hit, or the ray fell into the hole).
bool iterRayPart(SingleRay& ray, const KDTree& tree);

// Four rays followed together. Returns the 4-bit mask of lanes whose pixel was written; the
// other lanes missed everything (the caller writes the background). The lanes share each piece's
// kd-tree traversal while their paths run alike; where they part ways (some are absorbed or go
// straight on, or some are hit) the open lanes are finished one by one from where they are.
int iterRayPart4(RayBundle4& bundle, const KDTree& tree);
