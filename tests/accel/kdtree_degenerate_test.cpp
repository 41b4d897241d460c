// Kd-tree build and traversal on degenerate input (points, lines, flat boxes with signed zeros,
// NaN and infinite coordinates): every finite object kept, the others left out, brute force met.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <limits>
#include <random>
#include <set>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "tests/accel/kdtestscene.h"

using namespace kdtest;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Round down while alive, as on the render workers: +0 + -0 is -0 there.
struct RoundDown {
    const unsigned saved = _mm_getcsr();
    RoundDown() { _mm_setcsr((saved & ~_MM_ROUND_MASK) | _MM_ROUND_DOWN); }
    ~RoundDown() { _mm_setcsr(saved); }
};

std::set<rtObjBase*> leafSet(const KDTree& tree) {
    std::set<rtObjBase*> s(tree.leaves().begin(), tree.leaves().end());
    s.erase(nullptr);
    return s;
}

bool finiteBox(const rtObjBase* o) {
    const BoundingBox b = o->boundingBox();
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(b.min[a]) || !std::isfinite(b.max[a])) return false;
    return true;
}

}  // namespace

// Found by fuzzing: a cell flat on two axes got the area -0 while rounding down, every cost
// became -inf and the split lay outside the cell.
TEST(KDTreeDegenerate, NodesWithoutAreaAreLeaves) {
    RoundDown roundDown;
    Scene s;
    s.box(P(1, 1, 0.5f), P(1, 1, 0.5f));
    s.box(P(-0.0f, 0, 0.5f), P(0.5f, 1, 0.5f));
    s.box(P(0, -0.0f, 0.5f), P(0, 0.5f, 0.5f));
    s.box(P(-0.0f, 0.5f, 0), P(1, 0.5f, 1));
    KDTree tree;
    ASSERT_NO_THROW(tree.addInterval(s.list, 0));
    EXPECT_EQ(leafSet(tree), std::set<rtObjBase*>(s.list.begin(), s.list.end()));
}

// Random scenes from a handful of coordinates, so that ties, flat, collapsed and non-finite
// boxes are common.
TEST(KDTreeDegenerate, RandomDegenerateScenesBuildAndTraverse) {
    const float values[] = {0.0f, -0.0f, 0.5f, 1.0f, -1.0f, 0.25f, kNaN, kInf, -kInf};
    int hits = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        auto coordinate = [&] { return values[rng() % (rng() % 4 == 0 ? 9 : 6)]; };
        Scene s;
        const int count = 1 + int(rng() % 30);
        for (int i = 0; i < count; ++i) {
            Vec4f lo(coordinate(), coordinate(), coordinate(), 0.0f);
            Vec4f hi = lo;
            for (int a = 0; a < 3; ++a)
                if (rng() % 2) hi[a] = std::fmax(lo[a], coordinate());
            s.box(lo, hi);
        }
        KDTree tree;
        ASSERT_NO_THROW(tree.addInterval(s.list, 0)) << "seed " << seed;
        std::set<rtObjBase*> finite;
        for (rtObjBase* o : s.list)
            if (finiteBox(o)) finite.insert(o);
        ASSERT_EQ(leafSet(tree), finite) << "seed " << seed;
        Scene finiteOnly;
        for (rtObjBase* o : finite) {
            const auto id = static_cast<TestObject*>(o)->id();
            finiteOnly.add(
                std::make_unique<TestObject>(id, o->boundingBox().min, o->boundingBox().max));
        }
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        for (int r = 0; r < 20; ++r) {
            const Vec4f origin(3.0f * u(rng), 3.0f * u(rng), 3.0f + u(rng), 0.0f);
            const Vec4f target(u(rng), u(rng), u(rng), 0.0f);
            uint32_t pixel = 0;
            SingleRay ray = makeRay(tree, origin, target - origin, &pixel);
            const SingleRay before = ray;
            const bool hit = traceRay(ray);
            checkAgainstOracle(finiteOnly, before, hit, ray, pixel, "degenerate");
            hits += hit;
        }
    }
    EXPECT_GT(hits, 0);
}
