// The kd-tree build sorts its split events once and filters them down the tree. Oracle: a plain
// builder that makes and sorts every node's events from scratch with the event order written out
// rule by rule; both must give the same nodes and the same leaf list, entry for entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "geometry/kdtree.h"
#include "tests/geometry/kdtestscene.h"

using namespace kdtest;

namespace {

struct RefEvent {
    float position;
    bool isEnd;
    bool flat;
    float weight;
    rtObjBase* obj;
};

// The event order, rule by rule.
bool refBefore(const RefEvent& a, const RefEvent& b) {
    if (a.position != b.position) return a.position < b.position;
    if (a.flat != b.flat) {
        // non-flat ends, then flat events, then non-flat starts
        const int ra = a.flat ? 1 : (a.isEnd ? 0 : 2);
        const int rb = b.flat ? 1 : (b.isEnd ? 0 : 2);
        return ra < rb;
    }
    const auto pa = reinterpret_cast<uintptr_t>(a.obj), pb = reinterpret_cast<uintptr_t>(b.obj);
    if (a.flat) {
        if (pa != pb) return pa < pb;
        return !a.isEnd && b.isEnd;
    }
    if (a.isEnd != b.isEnd) return a.isEnd;
    return a.isEnd ? pa > pb : pa < pb;
}

float surfaceArea(const BoundingBox& b) {
    const double dx = double(b.max.x) - b.min.x, dy = double(b.max.y) - b.min.y,
                 dz = double(b.max.z) - b.min.z;
    return float(2.0 * (dx * dy + dy * dz + dx * dz));
}

// The SAH build with a fresh sort of every node's events per axis.
struct RefBuilder {
    std::vector<KdNode> nodes{KdNode()};
    LeafList leaves;
    BoundingBox box;

    std::vector<RefEvent> events(const std::vector<rtObjBase*>& list, int a) const {
        std::vector<RefEvent> ev;
        for (rtObjBase* o : list) {
            const BoundingBox b = o->boundingBox();
            const bool flat = b.min[a] == b.max[a];
            ev.push_back({b.min[a] == 0.0f ? 0.0f : b.min[a], false, flat, o->area, o});
            ev.push_back({b.max[a] == 0.0f ? 0.0f : b.max[a], true, flat, o->area, o});
        }
        std::sort(ev.begin(), ev.end(), refBefore);
        return ev;
    }

    void leaf(uint32_t k, const std::vector<rtObjBase*>& list) {
        if (list.empty()) {
            nodes[k] = KdNode::leaf(0, 0);
            return;
        }
        nodes[k] = KdNode::leaf(uint32_t(list.size()), uint32_t(leaves.size()));
        leaves.insert(leaves.end(), list.begin(), list.end());
    }

    void build(uint32_t k, const std::vector<rtObjBase*>& list, int depth) {
        if (depth >= 20) return leaf(k, list);
        const float S = surfaceArea(box);
        float best = 0.99f, N = 0.0f;
        int bestAxis = -1;
        size_t bestIndex = 0;
        float split = 0.0f;
        for (int a = 0; a < 3; ++a) {
            const std::vector<RefEvent> ev = events(list, a);
            if (a == 0) {
                float sum = 0.0f;
                for (const RefEvent& e : ev) sum += e.weight;
                N = 0.5f * sum;
            }
            const int b = (a + 1) % 3, c = (a + 2) % 3;
            const double db = double(box.max[b]) - box.min[b], dc = double(box.max[c]) - box.min[c];
            const double face = 2.0 * db * dc, perim = 2.0 * (db + dc);
            float NL = 0.0f, NR = N;
            for (size_t i = 0; i < ev.size(); ++i) {
                const float SL = float(std::fabs(ev[i].position - box.min[a]) * perim + face);
                const float SR = float(std::fabs(box.max[a] - ev[i].position) * perim + face);
                const float cost = float((double(SR) * NR + double(SL) * NL) / (double(N) * S));
                if (cost < best) {
                    best = cost;
                    bestAxis = a;
                    bestIndex = i;
                    split = ev[i].position;
                }
                if (!ev[i].isEnd) NL += ev[i].weight;
                if (i + 1 < ev.size() && ev[i + 1].isEnd) NR -= ev[i + 1].weight;
            }
        }
        if (bestAxis < 0) return leaf(k, list);
        const std::vector<RefEvent> ev = events(list, bestAxis);
        std::vector<rtObjBase*> lower, upper;
        for (size_t j = 0; j < ev.size(); ++j) {
            if (ev[j].isEnd && j > bestIndex) upper.push_back(ev[j].obj);
            if (!ev[j].isEnd && j < bestIndex) lower.push_back(ev[j].obj);
        }
        const uint32_t c = uint32_t(nodes.size());
        nodes[k] = KdNode::interior(split, bestAxis, c);
        nodes.resize(nodes.size() + 2);
        const float savedMin = box.min[bestAxis], savedMax = box.max[bestAxis];
        box.min[bestAxis] = split;
        build(c + 1, upper, depth + 1);
        box.min[bestAxis] = savedMin;
        box.max[bestAxis] = split;
        build(c, lower, depth + 1);
        box.max[bestAxis] = savedMax;
    }
};

void expectSameTree(const std::vector<rtObjBase*>& objects, const char* what) {
    KDTree tree;
    tree.addInterval(objects, 0);
    RefBuilder ref;
    ref.box = tree.sceneBox();
    ref.build(0, objects, 0);
    if (ref.leaves.empty()) ref.leaves.push_back(nullptr);

    ASSERT_EQ(tree.nodeArray().size(), ref.nodes.size()) << what;
    for (size_t i = 0; i < ref.nodes.size(); ++i) {
        ASSERT_EQ(tree.nodeArray()[i].first, ref.nodes[i].first) << what << " node " << i;
        ASSERT_EQ(tree.nodeArray()[i].second, ref.nodes[i].second) << what << " node " << i;
    }
    EXPECT_EQ(tree.leaves(), ref.leaves) << what;
}

}  // namespace

TEST(KDTreePresortedEvents, RandomScenesMatchPerNodeSorting) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::mt19937 rng(seed);
        Scene s;
        randomScene(s, rng, 50 + 60 * int(seed), 100.0f);
        expectSameTree(s.list, "random scene");
    }
}

// Many flat objects at one position (tiles on a floor, the bottoms of standing cubes), shared
// box faces and identical boxes: the ties that the event order exists for.
TEST(KDTreePresortedEvents, FlatTilesSharedFacesAndDuplicatesMatchPerNodeSorting) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> cell(0, 15);
    Scene s;
    s.box(Vec4f(-1, 0, -1, 0), Vec4f(17, 0, 17, 0));  // floor
    for (int i = 0; i < 120; ++i) {
        const float x = float(cell(rng)), z = float(cell(rng));
        const float h = float(1 + cell(rng) % 4);
        s.box(Vec4f(x, 0, z, 0), Vec4f(x + 1, 0, z + 1, 0));  // tile on the floor
        s.box(Vec4f(x, 0, z, 0), Vec4f(x + 1, h, z + 1, 0));  // block standing on it
        if (i % 10 == 0) s.box(Vec4f(x, 0, z, 0), Vec4f(x + 1, h, z + 1, 0));  // duplicate
        if (i % 7 == 0) s.box(Vec4f(x, -0.0f, z, 0), Vec4f(x, h, z + 1, 0));   // wall at -0
    }
    expectSameTree(s.list, "tiles");
}

TEST(KDTreePresortedEvents, GridOfSpheresOnAFloorMatchesPerNodeSorting) {
    Scene s;
    sphereGrid(s, 20, 3.0f, 1.0f);
    expectSameTree(s.list, "sphere grid");
}
