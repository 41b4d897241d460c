// The moving bodies of a frame as the eye sees them: a cube map of directions from the observer,
// each cell listing the bodies whose boxes can lie in its directions.
//
// Every straight camera ray of a frame starts at the observer's event, and nearly every ray passes
// every moving body by: on bench/moving_bench (1,000 bodies at 0.5c to 0.95c among 10,000 at
// rest, light travel time), a 2 x 2 packet's walk through a kd-tree of the bodies' long slanted
// boxes met four boxes on average and reached into one box in only one packet of eleven. Looking
// the rays' directions up costs a few divisions instead of that walk.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/boundingbox.h"

class rtObjBase;

class DirectionGrid {
public:
    // Cells along each edge of a cube face: 1.4 degrees a cell, some 20 to 30 pixels of a
    // window's view, so that nearly all packets fall into one cell.
    static constexpr int kEdge = 64;
    static constexpr int kCells = 6 * kEdge * kEdge;

    // Sorts the objects (their hitBounds()) into the cells of the directions from eye in which
    // some point of their box lies. Returns false, leaving the grid unusable, when that would take
    // more than maxRefsPerObject cell entries per object on average (boxes around or beside the
    // eye fill whole faces; a tree serves them better). Between frames; reuses its storage.
    bool build(const Vec4f& eye, const std::vector<rtObjBase*>& objects, int maxRefsPerObject);

    // The eye the grid was built for, and the box of all its objects.
    const Vec4f& eye() const { return from; }
    const BoundingBox& bounds() const { return all; }

    // The cell of a direction (any length but zero).
    static int cellOf(float x, float y, float z);
    // The objects of a cell: first(c) .. first(c + 1) - 1 in objectAt.
    uint32_t first(int cell) const { return start[cell]; }
    rtObjBase* objectAt(uint32_t i) const { return entries[i]; }

private:
    // Calls visit(cell) for every cell in which some direction from the eye meets box.
    template <class Visit>
    void forEachCell(const BoundingBox& box, Visit visit) const;

    Vec4f from;
    BoundingBox all;
    std::vector<uint32_t> start;  // kCells + 1 offsets into entries
    std::vector<rtObjBase*> entries;
};
