// Kd-tree construction with the surface area heuristic (MacDonald and Booth 1990; the sorted
// event sweep of Wald and Havran 2006), every object weighted by its own surface area.
#include "geometry/kdtree.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "geometry/programmingerror.h"
#include "scene/rtobjbase.h"

namespace {

// A split is made only when it is at least 1 % cheaper than keeping the node a leaf.
constexpr float kCostThreshold = 0.99f;
// The root has depth 0; nodes at this depth or deeper are leaves. Traversal stacks rely on it.
constexpr int kMaxDepth = 20;

// What the build needs of one primitive, fetched once per build.
struct Primitive {
    rtObjBase* obj;
    float lo[3];
    float hi[3];
    float area;
};

// One box face along the axis being examined.
struct SplitEvent {
    // Sort key: (position, class) then (pointer rank, end bit); see makeEvent.
    uint64_t keyHi;
    uint64_t keyLo;
    float position;
    float weight;
    uint32_t prim;
    uint8_t isEnd;
    uint8_t flat;
};

inline bool hasFiniteExtent(const BoundingBox& b) {
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(b.min[a]) || !std::isfinite(b.max[a])) return false;
    return true;
}

inline bool eventBefore(const SplitEvent& a, const SplitEvent& b) {
    return a.keyHi != b.keyHi ? a.keyHi < b.keyHi : a.keyLo < b.keyLo;
}

// Monotone map of a float onto unsigned integers (-0 is folded onto +0 by the caller).
inline uint32_t orderedBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return (u & 0x80000000u) ? ~u : (u | 0x80000000u);
}

// Encodes the event order as a two-word key:
//  1. smaller position first;
//  2. at one position: non-flat ends, then flat events, then non-flat starts;
//  3. flat events by object pointer ascending, the start of one object before its end;
//  4. non-flat starts by pointer ascending, non-flat ends by pointer descending.
inline SplitEvent makeEvent(const Primitive& p, uint32_t index, int axis, bool isEnd) {
    SplitEvent e;
    const bool flat = p.lo[axis] == p.hi[axis];
    float pos = isEnd ? p.hi[axis] : p.lo[axis];
    if (pos == 0.0f) pos = 0.0f;  // -0 and +0 are the same position
    const uint64_t cls = flat ? 1 : (isEnd ? 0 : 2);
    const uint64_t ptr = uint64_t(reinterpret_cast<uintptr_t>(p.obj));
    e.keyHi = (uint64_t(orderedBits(pos)) << 32) | cls;
    if (flat)
        e.keyLo = (ptr << 1) | (isEnd ? 1 : 0);
    else if (isEnd)
        e.keyLo = ~ptr;
    else
        e.keyLo = ptr;
    e.position = pos;
    e.weight = p.area;
    e.prim = index;
    e.isEnd = isEnd ? 1 : 0;
    e.flat = flat ? 1 : 0;
    return e;
}

class Builder {
public:
    Builder(const std::vector<Primitive>& prims, std::vector<KdNode>& nodes, LeafList& leaves,
            BoundingBox& box)
        : prims(prims), nodes(nodes), leaves(leaves), box(box) {}

    void build(uint32_t k, const std::vector<uint32_t>& list, int depth) {
        if (depth >= kMaxDepth) {
            makeLeaf(k, list);
            return;
        }

        // SAH sweep over the three axes. The heuristic divides by the node's area: a node without a
        // finite, positive area (all its objects collapsed to a point or a line) stays a leaf.
        const float S = box.surfaceArea();
        if (!(S > 0.0f && S <= std::numeric_limits<float>::max())) {
            makeLeaf(k, list);
            return;
        }
        float best = kCostThreshold;
        int bestAxis = -1;
        size_t bestIndex = 0;
        SplitEvent bestEvent{};
        float N = 0.0f;
        for (int a = 0; a < 3; ++a) {
            generateEvents(list, a);
            if (a == 0) {
                float sum = 0.0f;
                for (const SplitEvent& e : events) sum += e.weight;
                N = 0.5f * sum;
            }
            const int b = (a + 1) % 3, c = (a + 2) % 3;
            const double db = double(box.max[b]) - double(box.min[b]);
            const double dc = double(box.max[c]) - double(box.min[c]);
            const double face = 2.0 * db * dc;
            const double perim = 2.0 * (db + dc);
            const float lo = box.min[a], hi = box.max[a];
            const double NS = double(N) * double(S);
            float NL = 0.0f, NR = N;
            const size_t n = events.size();
            for (size_t i = 0; i < n; ++i) {
                const SplitEvent& e = events[i];
                const float SL = float(std::fabs(e.position - lo) * perim + face);
                const float SR = float(std::fabs(hi - e.position) * perim + face);
                const float cost = float((double(SR) * NR + double(SL) * NL) / NS);
                if (cost < best) {
                    best = cost;
                    bestAxis = a;
                    bestEvent = e;
                    bestIndex = i;
                }
                if (!e.isEnd) NL += e.weight;
                if (i + 1 < n && events[i + 1].isEnd) NR -= events[i + 1].weight;
            }
        }
        if (bestAxis < 0) {
            makeLeaf(k, list);
            return;
        }

        if (bestAxis != 2) generateEvents(list, bestAxis);
        const float split = bestEvent.position;
        if (!(split >= box.min[bestAxis] && split <= box.max[bestAxis]))
            programmingError("std. did not work with the SAH!");

        // Distribute: an object ending above the chosen event reaches the upper side, one
        // starting below it the lower side; straddling objects reach both.
        std::vector<uint32_t> lower, upper;
        for (size_t j = 0; j < events.size(); ++j) {
            const SplitEvent& e = events[j];
            if (e.isEnd) {
                if (j > bestIndex) upper.push_back(e.prim);
            } else if (j < bestIndex) {
                lower.push_back(e.prim);
            }
        }

        const uint32_t c = uint32_t(nodes.size());
        nodes[k] = KdNode::interior(split, bestAxis, c);
        nodes.emplace_back();
        nodes.emplace_back();

        // Upper subtree first, so its nodes precede the lower subtree's in the array.
        const float savedMin = box.min[bestAxis];
        box.min[bestAxis] = split;
        build(c + 1, upper, depth + 1);
        box.min[bestAxis] = savedMin;
        const float savedMax = box.max[bestAxis];
        box.max[bestAxis] = split;
        build(c, lower, depth + 1);
        box.max[bestAxis] = savedMax;
    }

private:
    void generateEvents(const std::vector<uint32_t>& list, int axis) {
        events.clear();
        for (uint32_t idx : list) {
            events.push_back(makeEvent(prims[idx], idx, axis, false));
            events.push_back(makeEvent(prims[idx], idx, axis, true));
        }
        std::sort(events.begin(), events.end(), eventBefore);
    }

    void makeLeaf(uint32_t k, const std::vector<uint32_t>& list) {
        if (list.empty()) {
            nodes[k] = KdNode::leaf(0, 0);
            return;
        }
        nodes[k] = KdNode::leaf(uint32_t(list.size()), uint32_t(leaves.size()));
        for (uint32_t idx : list) leaves.push_back(prims[idx].obj);
    }

    const std::vector<Primitive>& prims;
    std::vector<KdNode>& nodes;
    LeafList& leaves;
    BoundingBox& box;
    // One event array for all axes and nodes of a build.
    std::vector<SplitEvent> events;
};

}  // namespace

KDTree::KDTree() = default;
KDTree::~KDTree() = default;

void KDTree::reset() {
    leafList.clear();
    nodes.clear();
    rootIndex = -1;
    root = nullptr;
}

void KDTree::addInterval(const std::vector<rtObjBase*>& objects, int interv) {
    if (interv != 0)
        programmingError("in KDTree::addInterval interv needs to be 0 without time enabled");

    std::vector<rtObjBase*> buildList;
    for (rtObjBase* obj : objects) obj->collectPrimitives(buildList);

    std::vector<Primitive> prims;
    prims.reserve(buildList.size());
    for (rtObjBase* obj : buildList) {
        const BoundingBox b = obj->boundingBox();
        // An object whose spatial extent is not finite (NaN or infinite coordinates from a
        // hostile file) can never be hit; left in, it would make every split cost NaN.
        if (!hasFiniteExtent(b)) continue;
        if (prims.empty())
            box = b;
        else
            box.unite(b);
        Primitive p;
        p.obj = obj;
        for (int a = 0; a < 3; ++a) {
            p.lo[a] = b.min[a];
            p.hi[a] = b.max[a];
        }
        // The area only weighs the object in the heuristic; one that overflows weighs nothing.
        p.area = std::isfinite(obj->area) && obj->area > 0.0f ? obj->area : 0.0f;
        prims.push_back(p);
    }
    if (prims.empty()) box = BoundingBox::emptyScene();

    std::vector<uint32_t> all(prims.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = uint32_t(i);

    nodes.assign(1, KdNode());
    BoundingBox work = box;
    Builder(prims, nodes, leafList, work).build(0, all, 0);
    rootIndex = 0;
    root = &nodes[0];

    // Traversal reads the leaf list through its first entry, so it is never left empty.
    if (leafList.empty()) leafList.push_back(nullptr);
}
