// The cube map of directions against rays aimed at boxes: a ray from the eye through any point of
// a box (its corners, on the cells' and faces' edges, included) must find the box in its cell.
#include "accel/directiongrid.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "accel/kdtraverse.h"
#include "kdtestscene.h"

namespace {

using kdtest::P;
using kdtest::TestObject;

struct Boxes {
    std::vector<std::unique_ptr<TestObject>> owned;
    std::vector<rtObjBase*> list;
    void add(const Vec4f& lo, const Vec4f& hi) {
        owned.push_back(std::make_unique<TestObject>(uint32_t(list.size()), lo, hi));
        owned.back()->setHitBounds(owned.back()->boundingBox());
        list.push_back(owned.back().get());
    }
};

bool listed(const DirectionGrid& grid, int cell, const rtObjBase* object) {
    for (uint32_t i = grid.first(cell); i < grid.first(cell + 1); ++i)
        if (grid.objectAt(i) == object) return true;
    return false;
}

TEST(DirectionGrid, EveryRayThroughABoxFindsItInItsCell) {
    const Vec4f eye(0.5f, -0.25f, 1.0f, 7.0f);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> place(-12.0f, 12.0f), size(0.01f, 4.0f), unit(0.0f, 1.0f);
    Boxes boxes;
    for (int i = 0; i < 400; ++i) {
        const Vec4f lo = eye + P(place(rng), place(rng), place(rng));
        boxes.add(lo, lo + P(size(rng), size(rng), size(rng)));
    }
    boxes.add(eye - P(1, 1, 1), eye + P(1, 1, 1));                  // around the eye
    boxes.add(eye + P(-2, 3, -1), eye + P(2, 4, 1));                // across two planes through it
    boxes.add(eye + P(0, -5, 0), eye + P(0, 5, 3));                 // flat, in a plane through it
    boxes.add(eye + P(3, 3, 3), eye + P(3, 3, 3));                  // a point on a face's corner
    boxes.add(eye + P(6.2f, -6.1f, -6.1f), eye + P(6.3f, -6, -6));  // in the first cell
    boxes.add(eye + P(6.15f, 6.15f, -6.3f), eye + P(6.2f, 6.2f, -6.25f));  // and the last
    DirectionGrid grid;
    ASSERT_TRUE(grid.build(eye, boxes.list, 1000));  // near boxes take hundreds of cells
    int rays = 0;
    for (const rtObjBase* object : boxes.list) {
        const BoundingBox b = object->hitBounds();
        for (int k = 0; k < 40; ++k) {
            // The eight corners first, then points inside.
            Vec4f f(unit(rng), unit(rng), unit(rng), 0.0f);
            if (k < 8) f = Vec4f(float(k & 1), float((k >> 1) & 1), float((k >> 2) & 1), 0.0f);
            Vec4f d = b.min + (b.max - b.min) * f - eye;
            const float length = std::sqrt(dot3(d, d));
            if (length == 0.0f) continue;
            d = d / length;  // as the camera's rays are
            ++rays;
            EXPECT_TRUE(listed(grid, DirectionGrid::cellOf(d.x, d.y, d.z), object))
                << "point " << k << " of box " << static_cast<const TestObject*>(object)->id()
                << ", direction " << d.x << " " << d.y << " " << d.z;
        }
    }
    EXPECT_GT(rays, 16000);
}

TEST(DirectionGrid, ListsSmallBoxesInFewCellsAndGivesUpWhenCrowded) {
    const Vec4f eye(0, 0, 0, 0);
    Boxes boxes;
    boxes.add(P(40, 2, -3), P(40.2f, 2.2f, -2.8f));  // 0.3 degrees wide, 50 units away
    boxes.add(P(-3, -40.2f, 2), P(-2.8f, -40, 2.2f));
    DirectionGrid grid;
    ASSERT_TRUE(grid.build(eye, boxes.list, 64));
    for (const rtObjBase* object : boxes.list) {
        int cells = 0;
        for (int c = 0; c < DirectionGrid::kCells; ++c) cells += listed(grid, c, object);
        EXPECT_GE(cells, 1);
        EXPECT_LE(cells, 4);
    }
    // Ten boxes around the eye fill every cell ten times: more than 64 a box.
    Boxes around;
    for (int i = 1; i <= 10; ++i) around.add(P(-i, -i, -i), P(i, i, i));
    EXPECT_FALSE(grid.build(eye, around.list, 64));
    around.list.resize(1);
    EXPECT_TRUE(grid.build(eye, around.list, 64));
}

}  // namespace
