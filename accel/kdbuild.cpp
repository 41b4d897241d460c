// Kd-tree construction with the surface area heuristic (MacDonald and Booth 1990; the sorted
// event sweep of Wald and Havran 2006).
//
// Every object counts as one test in a leaf, whatever its size: a ray entering a leaf tests all
// its objects, big or small. Weighting objects by their surface area instead let one big object
// outweigh all the small ones around it: in the flat layer of a ground plane with the floors of
// 20,000 boxes lying on it, no cut could take the ground out of either side, so every cut cost
// 0.99 of the leaf and leaves of up to 2,700 floors were made (547 object tests per 4 x 4
// bundle of that street; 12 when objects are counted).
#include "accel/kdbuild.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "accel/buildthreads.h"
#include "accel/kdevents.h"
#include "accel/kdtraverse.h"
#include "base/programmingerror.h"
#include "scene/rtobjbase.h"

namespace kdbuild {

static_assert(kMaxDepthLimit <= kStackDepth4 && kMaxDepthLimit <= kStackDepth16,
              "the traversals' stacks hold a pending child per level of the deepest tree");

namespace {

// A split is made only when it is at least 1 % cheaper than keeping the node a leaf, counting
// the traversal step it adds as one object test: relative to the leaf's cost, a split of n
// objects must cost less than kCostThreshold - kTraversalCost / n.
// Without the step's cost the build cut on while a cut saved anything, down to one object per
// cell; with it, big scenes' frames got 13 to 21 % faster (60,000 spheres, 4 x 4 and 2 x 2
// packets, at rest and at 0.9c) and small ones kept their speed. 0.3 and 2 to 8 were slower.
constexpr float kCostThreshold = 0.99f;
constexpr float kTraversalCost = 1.0f;

// A cut that leaves one side of a node empty makes it a bounds node instead (Builder::
// buildBounded) where its objects leave room at this many of its cell's six faces or more. A
// clip to a box costs a walk more than a step through a cut, so a box pays where it takes the
// place of several cuts. With 4, in a sparse cloud of 100,000 boxes frames take 0.78 to 0.85
// of the time at 0.9c and 0.95 to 0.97 at rest, in a cloud of 20,000 spheres and 20,000 boxes
// 0.93 to 0.97 at 0.9c; the default scene pays 1 to 3 %. With 2 and 3 the sparse cloud gained
// more at 0.9c (0.77, 0.81) but the default scene lost 4 % and 1 %, the belt of spheres 1 to
// 4 %. Boxes set up before any cut wherever the objects' box was thinner than 0.7 of the cell
// (by surface) had cost the default scene 6 %.
constexpr int kBoundsMinFaces = 4;

// A node's events along x, y and z, each in the event order: 2n events per axis for n objects.
// Events depend only on the objects' boxes, never on the node, so a child's lists are its
// parent's lists filtered: sorting once at the root gives every node its exact order (Wald and
// Havran 2006). Lists live on two stacks that grow with the recursion and are reused.
// With threads to share, big subtrees are built by builders of their own (see buildApart).
class Builder {
public:
    Builder(BigVector<Primitive>&& primitives, BigVector<KdNode>& nodes, LeafList& leaves,
            const BoundingBox& box, BuildThreads* threads = nullptr)
        : prims(std::move(primitives)),
          nodes(&nodes),
          leaves(&leaves),
          box(box),
          side(prims.size(), 0),
          threads(threads) {}

    void setMaxDepth(int depth) { maxDepth = depth; }

    // Root: every primitive in list order, its events sorted once per axis. The root sits at
    // depth startDepth of a larger tree when it rebuilds one of that tree's leaves.
    void buildRoot(int startDepth = 0) {
        if (prims.size() >= kMaxPrimitives) programmingError("too many objects for one tree");
        const uint32_t n = uint32_t(prims.size());
        // The stacks peak near twice the root's lists (a node's children are made above it
        // before they move down). Memory reserved but not yet touched costs nothing, and growing
        // by copying would.
        listPool.reserve(size_t(3) * n + 2);  // and the children's spare slots
        evPool.reserve(size_t(18) * n + 2);
        listPool.resize(n);
        numberInSpaceOrder();
        BigVector<CostClass> cost(n);
        Vec4f sphere;
        size_t spheres = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const bool isSphere = prims[i].obj->staticSphere(sphere);
            cost[i] = isSphere ? kStaticSphere : kWholeTest;
            spheres += isSphere;
        }
        // The tree keeps its copy of the spheres only where they are at least half of its leaf
        // entries (KdTree); elsewhere they are tested through their objects like the rest.
        if (2 * spheres < n) std::fill(cost.begin(), cost.end(), kWholeTest);
        for (uint32_t i = 0; i < n; ++i)
            if (prims[i].obj->testParts() > 1) cost[i] = kManyParts;
        evPool.resize(size_t(6) * n);
        SplitEvent* events = evPool.data();
        if (threads && n >= threads->minObjects && threads->take()) {
            runTogether(
                *threads, [&] { sortEvents(prims.data(), n, 0, cost.data(), events); },
                [&] {
                    for (int a = 1; a < 3; ++a)
                        sortEvents(prims.data(), n, a, cost.data(), events + size_t(a) * 2 * n);
                });
        } else {
            for (int a = 0; a < 3; ++a)
                sortEvents(prims.data(), n, a, cost.data(), events + size_t(a) * 2 * n);
        }
        // The recursion needs only each primitive's object.
        objectStore.resize(n);
        for (uint32_t i = 0; i < n; ++i) objectStore[i] = prims[i].obj;
        object = objectStore.data();
        prims = BigVector<Primitive>();
        build(0, 0, n, 0, startDepth);
    }

private:
    static constexpr uint8_t kLower = 1, kUpper = 2;

    // A builder for a subtree of parent's tree, into arrays of its own; its lists are set by
    // takeLists.
    Builder(const Builder& parent, BigVector<KdNode>& nodes, LeafList& leaves,
            const BoundingBox& cell)
        : object(parent.object),
          maxDepth(parent.maxDepth),
          nodes(&nodes),
          leaves(&leaves),
          box(cell),
          side(parent.side.size(), 0),
          threads(parent.threads) {}

    // Copies a node's n primitives and 6n events as the lists of this builder's root.
    void takeLists(const uint32_t* list, uint32_t n, const SplitEvent* events) {
        listPool.reserve(size_t(3) * n + 2);  // as in buildRoot
        evPool.reserve(size_t(18) * n + 2);
        listPool.assign(list, list + n);
        evPool.assign(events, events + size_t(6) * n);
    }

    // Node k holds the n primitives at listPool[list] (in the order its leaf keeps them), whose
    // events start at evPool[ev]; both lists end at the top of their stacks. box is the node's
    // cell.
    void build(uint32_t k, size_t list, uint32_t n, size_t ev, int depth) {
        buildNode(k, list, n, ev, depth, true);
    }

    // Node k as a bounds node of its objects' box, above the node built in that box. The box
    // takes the place of a cut the heuristic chose that left one side empty, where the objects
    // leave room at four or more of the cell's faces (kBoundsMinFaces): a walk clips its rays to
    // the box in one step and skips the node when none is left, where the cuts that took off
    // the empty space around the objects took a step each, and a walk crossed empty cell after
    // empty cell.
    void buildBounded(uint32_t k, size_t list, uint32_t n, size_t ev, int depth) {
        // The objects' box in the cell: each axis's events are sorted, so its first and last
        // events are the lowest start and the highest end.
        const size_t perAxis = size_t(2) * n;
        BoundingBox tight = box;
        for (int a = 0; a < 3; ++a) {
            const SplitEvent* events = evPool.data() + ev + size_t(a) * perAxis;
            tight.min[a] = std::max(box.min[a], events[0].position);
            tight.max[a] = std::min(box.max[a], events[perAxis - 1].position);
        }
        const uint32_t child = uint32_t(nodes->size()) + KdNode::kBoundsSlots;
        nodes->resize(child + 1);
        for (int i = 0; i < 3; ++i) {
            (*nodes)[child - KdNode::kBoundsSlots + i] = KdNode::boundSlot(tight.min[i]);
            (*nodes)[child - KdNode::kBoundsSlots + 3 + i] = KdNode::boundSlot(tight.max[i]);
        }
        (*nodes)[k] = KdNode::bounds(child);
        const BoundingBox cell = box;
        box = tight;
        buildNode(child, list, n, ev, depth, false);
        box = cell;
    }

    // How many faces of the cell the n objects whose events start at evPool[ev] leave room at.
    int shrunkFaces(size_t ev, uint32_t n) const {
        const size_t perAxis = size_t(2) * n;
        int faces = 0;
        for (int a = 0; a < 3; ++a) {
            const SplitEvent* events = evPool.data() + ev + size_t(a) * perAxis;
            faces += events[0].position > box.min[a];
            faces += events[perAxis - 1].position < box.max[a];
        }
        return faces;
    }

    // canBound: a cut that leaves one side empty makes the node a bounds node instead (not in
    // a bounds node's own box, where such a cut would be one of zero width).
    void buildNode(uint32_t k, size_t list, uint32_t n, size_t ev, int depth, bool canBound) {
        if (depth >= maxDepth) {
            makeLeaf(k, list, n);
            return;
        }

        // SAH sweep over the three axes. The heuristic divides by the node's area: a node without a
        // finite, positive area (all its objects collapsed to a point or a line) stays a leaf.
        const size_t perAxis = size_t(2) * n;
        const float S = box.surfaceArea();
        if (!(S > 0.0f && S <= std::numeric_limits<float>::max())) {
            makeLeaf(k, list, n);
            return;
        }
        // Costs in object tests (SplitEvent::startCost): W for the node's objects, WL and WR for
        // those reaching below and above a split.
        const SplitEvent* xEvents = evPool.data() + ev;
        float W = 0.0f;
        for (size_t i = 0; i < perAxis; ++i) W += xEvents[i].startCost();
        float best = kCostThreshold - kTraversalCost / W;
        int bestAxis = -1;
        size_t bestIndex = 0;
        float split = 0.0f;
        const double WS = double(W) * double(S);
        for (int a = 0; a < 3; ++a) {
            const SplitEvent* events = evPool.data() + ev + size_t(a) * perAxis;
            const int b = (a + 1) % 3, c = (a + 2) % 3;
            const double db = double(box.max[b]) - double(box.min[b]);
            const double dc = double(box.max[c]) - double(box.min[c]);
            const double face = 2.0 * db * dc;
            const double perim = 2.0 * (db + dc);
            const float lo = box.min[a], hi = box.max[a];
            float WL = 0.0f, WR = W;
            for (size_t i = 0; i < perAxis; ++i) {
                const SplitEvent& e = events[i];
                const float SL = float(std::fabs(e.position - lo) * perim + face);
                const float SR = float(std::fabs(hi - e.position) * perim + face);
                const double weighted = double(SR) * WR + double(SL) * WL;
                // The division decides only near the best cost so far: a sum of areas times
                // costs clearly above best * WS rounds to a cost of at least best.
                if (!(weighted > double(best) * WS * kClearlyAbove)) {
                    const float cost = float(weighted / WS);
                    if (cost < best) {
                        best = cost;
                        bestAxis = a;
                        bestIndex = i;
                        split = e.position;
                    }
                }
                // Starts and ends alternate at random along an axis, so the costs move by table
                // look-ups rather than by branches the processor would mispredict half the time:
                // a start adds its object to the lower side, the next event, if an end, takes it
                // from the upper side.
                WL += e.startCost();
                if (i + 1 < perAxis) WR -= events[i + 1].endCost();
            }
        }
        if (bestAxis < 0) {
            makeLeaf(k, list, n);
            return;
        }
        if (!(split >= box.min[bestAxis] && split <= box.max[bestAxis]))
            programmingError("std. did not work with the SAH!");

        // Distribute along the chosen axis: an object ending above the chosen event reaches the
        // upper side, one starting below it the lower side; straddling objects reach both.
        const SplitEvent* chosen = evPool.data() + ev + size_t(bestAxis) * perAxis;
        uint32_t nLower = 0, nUpper = 0;
        for (size_t j = 0; j < perAxis; ++j) {
            const SplitEvent& e = chosen[j];
            const uint32_t end = e.end();
            const uint32_t upper = end & uint32_t(j > bestIndex);
            const uint32_t lower = (end ^ 1) & uint32_t(j < bestIndex);
            side[e.prim()] |= uint8_t(upper * kUpper + lower * kLower);
            nUpper += upper;
            nLower += lower;
        }
        if (canBound && (nLower == 0 || nUpper == 0) && shrunkFaces(ev, n) >= kBoundsMinFaces) {
            for (uint32_t i = 0; i < n; ++i) side[listPool[list + i]] = 0;
            buildBounded(k, list, n, ev, depth);
            return;
        }
        size_t lowerList = listPool.size(), upperList = lowerList + nLower + 1;
        listPool.resize(upperList + nUpper + 1);
        size_t lowerEv = evPool.size(), upperEv = lowerEv + size_t(6) * nLower + 1;
        evPool.resize(upperEv + size_t(6) * nUpper + 1);
        {
            uint32_t* lowerOut = listPool.data() + lowerList;
            uint32_t* upperOut = listPool.data() + upperList;
            chosen = evPool.data() + ev + size_t(bestAxis) * perAxis;
            // Starts and ends, and the sides objects reach, are as random as the objects:
            // branches on them were a third of the build. So every entry is written to both
            // children and kept by the side it reaches. One not kept is overwritten by the next
            // or, past a list's end, by the next list; each child's lists end in a spare slot.
            for (size_t j = 0; j < perAxis; ++j) {
                const SplitEvent& e = chosen[j];
                const uint32_t end = e.end();
                *upperOut = e.prim();
                upperOut += end & uint32_t(j > bestIndex);
                *lowerOut = e.prim();
                lowerOut += (end ^ 1) & uint32_t(j < bestIndex);
            }
            for (int a = 0; a < 3; ++a) {
                const SplitEvent* in = evPool.data() + ev + size_t(a) * perAxis;
                SplitEvent* lo = evPool.data() + lowerEv + size_t(a) * 2 * nLower;
                SplitEvent* up = evPool.data() + upperEv + size_t(a) * 2 * nUpper;
                for (size_t i = 0; i < perAxis; ++i) {
                    const uint8_t s = side[in[i].prim()];
                    *lo = in[i];
                    lo += s & kLower;
                    *up = in[i];
                    up += s >> 1;
                }
            }
            for (uint32_t i = 0; i < n; ++i) side[listPool[list + i]] = 0;
        }
        const uint32_t c = uint32_t(nodes->size());
        (*nodes)[k] = KdNode::interior(split, bestAxis, c);
        nodes->emplace_back();
        nodes->emplace_back();
        if (threads && n >= threads->minObjects && threads->take()) {
            buildApart(c, bestAxis, split, {list, ev}, {lowerList, nLower, lowerEv},
                       {upperList, nUpper, upperEv}, depth + 1);
            return;
        }

        // The node's own lists sit on top of the stacks and are spent now: the children's move
        // down over them, so that the stacks peak near twice the root's lists, not three times.
        std::memmove(listPool.data() + list, listPool.data() + lowerList,
                     sizeof(uint32_t) * nLower);
        std::memmove(listPool.data() + list + nLower, listPool.data() + upperList,
                     sizeof(uint32_t) * nUpper);
        std::memmove(static_cast<void*>(evPool.data() + ev), evPool.data() + lowerEv,
                     sizeof(SplitEvent) * size_t(6) * nLower);
        std::memmove(static_cast<void*>(evPool.data() + ev + size_t(6) * nLower),
                     evPool.data() + upperEv, sizeof(SplitEvent) * size_t(6) * nUpper);
        lowerList = list;
        upperList = list + nLower;
        lowerEv = ev;
        upperEv = ev + size_t(6) * nLower;
        listPool.resize(upperList + nUpper);
        evPool.resize(upperEv + size_t(6) * nUpper);

        // Upper subtree first, so its nodes precede the lower subtree's in the array.
        const float savedMin = box.min[bestAxis];
        box.min[bestAxis] = split;
        build(c + 1, upperList, nUpper, upperEv, depth + 1);
        box.min[bestAxis] = savedMin;
        listPool.resize(upperList);
        evPool.resize(upperEv);
        const float savedMax = box.max[bestAxis];
        box.max[bestAxis] = split;
        build(c, lowerList, nLower, lowerEv, depth + 1);
        box.max[bestAxis] = savedMax;
        listPool.resize(lowerList);
        evPool.resize(lowerEv);
    }

    // Where a node's lists start on the stacks.
    struct ListStarts {
        size_t list;
        size_t ev;
    };
    // A child's lists: its n primitives at listPool[list], its events at evPool[ev].
    struct ChildLists {
        size_t list;
        uint32_t n;
        size_t ev;
    };

    // Builds the children (nodes c and c + 1) of the node whose lists start at spent, its
    // children's lists on top of them: the upper subtree by a builder of its own on the thread
    // taken, the lower one here into arrays of its own. Both are then spliced in where the build
    // on one thread puts them (upper subtree first), so that the tree does not depend on the
    // number of threads.
    void buildApart(uint32_t c, int axis, float split, ListStarts spent, ChildLists lower,
                    ChildLists upper, int depth) {
        // The node's own lists are given back before the upper ones are copied, and the copied
        // ones after: the stacks of the two builders together peak near where one builder's
        // would.
        releaseRange(listPool, spent.list, lower.list);
        releaseRange(evPool, spent.ev, lower.ev);
        BigVector<KdNode> upperNodes, lowerNodes;
        LeafList upperLeaves, lowerLeaves;
        for (BigVector<KdNode>* sub : {&upperNodes, &lowerNodes}) {
            sub->reserve(size_t(2) * (upper.n + lower.n) + 1);  // untouched until used
            sub->emplace_back();
        }
        BoundingBox upperCell = box;
        upperCell.min[axis] = split;
        Builder upperBuilder(*this, upperNodes, upperLeaves, upperCell);
        upperBuilder.takeLists(listPool.data() + upper.list, upper.n, evPool.data() + upper.ev);
        listPool.resize(upper.list);
        evPool.resize(upper.ev);
        releaseSpare(listPool);
        releaseSpare(evPool);

        BigVector<KdNode>* const ownNodes = nodes;
        LeafList* const ownLeaves = leaves;
        runTogether(
            *threads, [&] { upperBuilder.build(0, 0, upper.n, 0, depth); },
            [&] {
                nodes = &lowerNodes;
                leaves = &lowerLeaves;
                const float savedMax = box.max[axis];
                box.max[axis] = split;
                build(0, lower.list, lower.n, lower.ev, depth);
                box.max[axis] = savedMax;
                nodes = ownNodes;
                leaves = ownLeaves;
            });
        // The lists of both are spent: given back before the splice copies the nodes.
        upperBuilder.listPool = BigVector<uint32_t>();
        upperBuilder.evPool = BigVector<SplitEvent>();
        listPool.resize(spent.list);
        evPool.resize(spent.ev);
        releaseSpare(listPool);
        releaseSpare(evPool);
        spliceSubtree(*nodes, *leaves, c + 1, upperNodes, upperLeaves);
        spliceSubtree(*nodes, *leaves, c, lowerNodes, lowerLeaves);
    }

    // The pages of v's elements [from, to) given back (see bigbuffer::releasePages).
    template <typename T>
    static void releaseRange(BigVector<T>& v, size_t from, size_t to) {
        bigbuffer::releasePages(v.data() + from, (to - from) * sizeof(T));
    }

    void makeLeaf(uint32_t k, size_t list, uint32_t n) {
        if (n == 0) {
            (*nodes)[k] = KdNode::leaf(0, 0);
            return;
        }
        (*nodes)[k] = KdNode::leaf(n, uint32_t(leaves->size()));
        for (uint32_t i = 0; i < n; ++i) leaves->push_back(object[listPool[list + i]]);
    }

    // 1 + 2^-20: far above the relative rounding of the float cost (2^-24) and of the double
    // products (2^-52).
    static constexpr double kClearlyAbove = 1.0 + 1.0 / 1048576.0;

    // Numbers the primitives along a Morton curve through their boxes' centres, so that the
    // look-ups by primitive (the side each object reaches), in the event order of a node, mostly
    // hit the cache: in file order, a big scene's look-ups were a fifth of the build. The root's
    // list keeps the objects' own order (a tree of one leaf lists them as given), and every other
    // order is by position and pointer, so the tree does not depend on the numbering.
    void numberInSpaceOrder() {
        const uint32_t n = uint32_t(prims.size());
        if (n == 0) return;
        const auto centre = [](const Primitive& p, int a) {
            return 0.5f * p.lo[a] + 0.5f * p.hi[a];
        };
        float lo[3], scale[3];
        for (int a = 0; a < 3; ++a) {
            float mn = centre(prims[0], a), mx = mn;
            for (const Primitive& p : prims) {
                mn = std::min(mn, centre(p, a));
                mx = std::max(mx, centre(p, a));
            }
            lo[a] = mn;
            scale[a] = mx > mn ? 1023.0f / (mx - mn) : 0.0f;
        }
        // Ten bits per axis, interleaved; the index in the low word keeps the order total.
        const auto spread = [](uint64_t v) {
            v = (v | (v << 16)) & 0x030000FFull;
            v = (v | (v << 8)) & 0x0300F00Full;
            v = (v | (v << 4)) & 0x030C30C3ull;
            return (v | (v << 2)) & 0x09249249ull;
        };
        BigVector<uint64_t> keys(n);
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t code = 0;
            for (int a = 0; a < 3; ++a) {
                // NaN (from a span too big for a float) goes to cell 0.
                const float q = (centre(prims[i], a) - lo[a]) * scale[a];
                code |= spread(uint64_t(q >= 0.0f ? std::min(q, 1023.0f) : 0.0f)) << a;
            }
            keys[i] = (code << 32) | i;
        }
        std::sort(keys.begin(), keys.end());
        BigVector<Primitive> sorted(n);
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t original = uint32_t(keys[k]);
            sorted[k] = prims[original];
            listPool[original] = k;
        }
        prims.swap(sorted);
    }

    BigVector<Primitive> prims;  // until the root's events are made
    // Per primitive, filled by the root's builder and read by every builder of the tree.
    BigVector<rtObjBase*> objectStore;
    rtObjBase* const* object = nullptr;
    int maxDepth = kMaxDepthLimit;  // nodes at this depth are leaves
    BigVector<KdNode>* nodes;
    LeafList* leaves;
    BoundingBox box;          // the cell of the node being built
    BigVector<uint8_t> side;  // per primitive while a node distributes: kLower | kUpper
    BigVector<uint32_t> listPool;
    BigVector<SplitEvent> evPool;
    BuildThreads* threads;  // null: everything on this thread
};

}  // namespace

bool toPrimitive(rtObjBase* obj, Primitive& p, BoundingBox* box) {
    const BoundingBox b = obj->boundingBox();
    if (!hasFiniteExtent(b)) return false;
    if (box) *box = b;
    p.obj = obj;
    for (int a = 0; a < 3; ++a) {
        p.lo[a] = b.min[a];
        p.hi[a] = b.max[a];
    }
    return true;
}

void spliceSubtree(BigVector<KdNode>& nodes, LeafList& leaves, uint32_t slot,
                   const BigVector<KdNode>& subNodes, const LeafList& subLeaves) {
    const uint32_t nodeShift = uint32_t(nodes.size()) - 1;
    const uint32_t entryShift = uint32_t(leaves.size());
    leaves.insert(leaves.end(), subLeaves.begin(), subLeaves.end());
    for (size_t i = 0; i < subNodes.size(); ++i) {
        const KdNode m = subNodes[i];
        KdNode moved = KdNode::leaf(0, 0);
        if (m.isBoundSlot())
            moved = m;
        else if (m.isBounds())
            moved = KdNode::bounds(m.boundsChild() + nodeShift);
        else if (!m.isLeaf())
            moved = KdNode::interior(m.split(), m.axis(), m.lowerChild() + nodeShift);
        else if (m.objectCount() > 0)
            moved = KdNode::leaf(m.objectCount(), m.firstEntry() + entryShift);
        if (i == 0)
            nodes[slot] = moved;
        else
            nodes.push_back(moved);
    }
}

int depthLimit(size_t objects) {
    const double depth = 8.0 + 1.3 * std::log2(double(std::max<size_t>(objects, 1)));
    return std::clamp(int(std::lround(depth)), kMinDepthLimit, kMaxDepthLimit);
}

void build(BigVector<Primitive>&& primitives, BigVector<KdNode>& nodes, LeafList& leaves,
           const BoundingBox& cell, int startDepth, int maxDepth, int threads,
           uint32_t minObjects) {
    BuildThreads shared(threads, minObjects);
    Builder builder(std::move(primitives), nodes, leaves, cell, threads > 1 ? &shared : nullptr);
    builder.setMaxDepth(std::min(maxDepth, kMaxDepthLimit));
    builder.buildRoot(startDepth);
}

}  // namespace kdbuild
