// The kd-tree over the scene: its builds (construction itself in kdbuild.cpp), the moving bodies
// set apart, and frames' bodies grafted into the tree of the scene at rest.
#include "accel/kdtree.h"

#include <algorithm>
#include <iterator>
#include <thread>

#include "accel/kdbuild.h"
#include "base/programmingerror.h"
#include "scene/rtobjbase.h"

using kdbuild::Primitive;
using kdbuild::toPrimitive;

KDTree::KDTree() : buildThreads(std::max(1, int(std::thread::hardware_concurrency()))) {}
KDTree::~KDTree() = default;

void KDTree::setBuildThreads(int threads, uint32_t minObjects) {
    buildThreads = std::max(1, threads);
    buildMinObjects = std::max(1u, minObjects);
}

void KDTree::indexSpheres() {
    leafSpheres.resize(leafList.size());
    size_t spheres = 0;
    for (size_t i = 0; i < leafList.size(); ++i) {
        Vec4f sphere;
        const bool isSphere = leafList[i] != nullptr && leafList[i]->staticSphere(sphere);
        leafSpheres[i] = isSphere ? sphere : Vec4f(0.0f, 0.0f, 0.0f, -1.0f);
        spheres += isSphere;
    }
    // Where spheres are the minority, the look-up beside every other object costs more than
    // the spheres' own loads it saves (3 % on a temple of planes with five spheres).
    if (2 * spheres < leafList.size()) leafSpheres = BigVector<Vec4f>();
}

void KDTree::reset() {
    leafList.clear();
    leafSpheres.clear();
    nodes.clear();
    moving.reset();
    staticList.clear();
    rootIndex = -1;
    root = nullptr;
}

void KDTree::sortObjects(const std::vector<rtObjBase*>& objects, std::vector<rtObjBase*>* still) {
    moving.reset();
    for (rtObjBase* obj : objects) {
        if (!obj->isMoving()) {
            if (still) obj->collectPrimitives(*still);
            continue;
        }
        const BodyMotion motion = obj->motion();
        std::vector<rtObjBase*> parts;
        obj->collectPrimitives(parts);
        for (rtObjBase* part : parts) moving.add(part, motion);
    }
}

void KDTree::addInterval(const std::vector<rtObjBase*>& objects, int interv) {
    if (interv != 0)
        programmingError("in KDTree::addInterval interv needs to be 0 without time enabled");

    std::vector<rtObjBase*> buildList;
    sortObjects(objects, &buildList);
    // A frame whose moving bodies stay where they were may trace one tree of everything.
    staticList = moving.empty() ? std::vector<rtObjBase*>() : buildList;
    buildFromPrimitives(std::move(buildList));
    // The scene's tree lives as long as the scene is shown. Its node array was reserved for
    // about the count a build makes, up to three times what a big scene's build uses, and its
    // leaf list grew by doubling: both are cut to their size, a copy of a few megabytes (16 MB
    // of spare nodes for a million spheres). The trees built for every frame of moving bodies
    // keep theirs for the next frame.
    nodes.shrink_to_fit();
    root = nodes.empty() ? nullptr : &nodes[size_t(rootIndex)];
    leafList.shrink_to_fit();
}

void KDTree::adoptBuild(KDTree& built, const std::vector<rtObjBase*>& objects) {
    std::swap(box, built.box);
    leafList.swap(built.leafList);
    leafSpheres.swap(built.leafSpheres);
    std::swap(rootIndex, built.rootIndex);
    std::swap(root, built.root);  // the node arrays swap their storage, so root stays valid
    nodes.swap(built.nodes);
    std::swap(maxDepth, built.maxDepth);
    staticList.swap(built.staticList);
    sortObjects(objects, nullptr);
}

void KDTree::buildFromPrimitives(std::vector<rtObjBase*> buildList) {
    BigVector<Primitive> prims;
    prims.reserve(buildList.size());
    for (rtObjBase* obj : buildList) {
        Primitive p;
        BoundingBox b;
        if (!toPrimitive(obj, p, &b)) continue;
        if (prims.empty())
            box = b;
        else
            box.unite(b);
        prims.push_back(p);
    }
    buildList = std::vector<rtObjBase*>();  // freed before the build's own peak
    if (prims.empty()) box = BoundingBox::emptyScene();

    nodes.clear();
    nodes.reserve(2 * prims.size() + 1);  // about the count a build makes; grows if need be
    nodes.emplace_back();
    maxDepth = kdbuild::depthLimit(prims.size());
    kdbuild::build(std::move(prims), nodes, leafList, box, 0, maxDepth, buildThreads,
                   buildMinObjects);
    rootIndex = 0;
    root = &nodes[0];

    // Traversal reads the leaf list through its first entry, so it is never left empty.
    if (leafList.empty()) leafList.push_back(nullptr);
    indexSpheres();
}

bool KDTree::graft(const KDTree& base, const std::vector<rtObjBase*>& extras, int maxPerLeaf,
                   int maxRefsPerExtra, const std::vector<rtObjBase*>& dropped) {
    const auto kept = [&dropped](rtObjBase* entry) {
        return dropped.empty() || !std::binary_search(dropped.begin(), dropped.end(), entry);
    };
    box = base.box;
    nodes = base.nodes;
    maxDepth = base.maxDepth;
    staticList.clear();
    rootIndex = -1;
    root = nullptr;
    if (nodes.empty()) return false;
    for (rtObjBase* obj : extras) {
        const BoundingBox b = obj->boundingBox();
        if (hasFiniteExtent(b)) box.unite(b);
    }

    // Each extra down to the leaves its box reaches: at a split it goes to the side (or sides)
    // it overlaps, by the same rule that distributed the scene's primitives. The splits do not
    // depend on the root box, so the grown box only widens the cells at the border.
    const size_t maxPairs = extras.size() * size_t(std::max(maxRefsPerExtra, 1));
    graftPairs.clear();
    for (uint32_t j = 0; j < uint32_t(extras.size()); ++j) {
        const BoundingBox b = extras[j]->boundingBox();
        if (!hasFiniteExtent(b)) continue;  // can never be hit, as in a build
        graftStack.clear();
        graftStack.push_back(0);
        while (!graftStack.empty()) {
            const uint32_t k = graftStack.back();
            graftStack.pop_back();
            const KdNode n = nodes[k];
            if (n.isBounds()) {
                // The walks clip their rays to the box: it grows to hold the extra.
                const uint32_t child = n.boundsChild();
                for (int a = 0; a < 3; ++a) {
                    KdNode& lo = nodes[child - KdNode::kBoundsSlots + uint32_t(a)];
                    KdNode& hi = nodes[child - KdNode::kBoundsSlots + 3 + uint32_t(a)];
                    if (b.min[a] < lo.split()) lo = KdNode::boundSlot(b.min[a]);
                    if (b.max[a] > hi.split()) hi = KdNode::boundSlot(b.max[a]);
                }
                graftStack.push_back(child);
                continue;
            }
            if (n.isLeaf()) {
                if (graftPairs.size() == maxPairs) return false;
                graftPairs.emplace_back(k, j);
                continue;
            }
            const int a = n.axis();
            const float split = n.split();
            if (b.max[a] >= split) graftStack.push_back(n.lowerChild() + 1);
            if (b.min[a] <= split) graftStack.push_back(n.lowerChild());
        }
    }

    // The extras of each leaf, in order: graftStart[k] .. graftStart[k + 1] of graftSorted.
    const uint32_t nodeCount = uint32_t(nodes.size());
    graftStart.assign(size_t(nodeCount) + 1, 0);
    for (const auto& p : graftPairs) ++graftStart[p.first + 1];
    bool crowded = false;
    for (uint32_t k = 0; k < nodeCount; ++k) {
        crowded |= graftStart[k + 1] > uint32_t(maxPerLeaf);
        graftStart[k + 1] += graftStart[k];
    }
    graftSorted.resize(graftPairs.size());
    graftCount.assign(graftStart.begin(), graftStart.end() - 1);
    for (const auto& p : graftPairs) graftSorted[graftCount[p.first]++] = p.second;

    // A crowded leaf is built anew over its own primitives and its extras, in its cell and below
    // its depth, and the small tree takes its place: the cells of those leaves, found from the
    // root down.
    graftCells.clear();
    if (crowded) {
        struct Visit {
            uint32_t k;
            int depth;
            BoundingBox cell;
        };
        std::vector<Visit> todo{{0, 0, box}};
        while (!todo.empty()) {
            const Visit v = todo.back();
            todo.pop_back();
            const KdNode n = nodes[v.k];
            if (n.isBounds()) {
                todo.push_back({n.boundsChild(), v.depth, v.cell});
                continue;
            }
            if (n.isLeaf()) {
                if (graftStart[v.k + 1] - graftStart[v.k] > uint32_t(maxPerLeaf))
                    graftCells.push_back(GraftCell{v.k, v.depth, v.cell});
                continue;
            }
            Visit lower = {n.lowerChild(), v.depth + 1, v.cell};
            Visit upper = {n.lowerChild() + 1, v.depth + 1, v.cell};
            lower.cell.max[n.axis()] = n.split();
            upper.cell.min[n.axis()] = n.split();
            todo.push_back(lower);
            todo.push_back(upper);
        }
        std::sort(graftCells.begin(), graftCells.end(),
                  [](const GraftCell& a, const GraftCell& b) { return a.node < b.node; });
    }

    leafList.clear();
    leafList.reserve(base.leafList.size() + graftPairs.size());
    size_t nextCrowded = 0;
    for (uint32_t k = 0; k < nodeCount; ++k) {
        const KdNode n = nodes[k];
        if (!n.isLeaf() || n.isBounds()) continue;
        const uint32_t own = n.objectCount();
        const uint32_t* added = graftSorted.data() + graftStart[k];
        const uint32_t addedCount = graftStart[k + 1] - graftStart[k];
        rtObjBase* const* ownFirst = base.leafList.data() + n.firstEntry();
        if (nextCrowded < graftCells.size() && graftCells[nextCrowded].node == k) {
            const GraftCell& c = graftCells[nextCrowded++];
            BigVector<Primitive> prims;
            prims.reserve(size_t(own) + addedCount);
            Primitive p;
            for (uint32_t i = 0; i < own; ++i)
                if (kept(ownFirst[i]) && toPrimitive(ownFirst[i], p)) prims.push_back(p);
            for (uint32_t i = 0; i < addedCount; ++i)
                if (toPrimitive(extras[added[i]], p)) prims.push_back(p);
            graftNodes.assign(1, KdNode());
            graftLeaves.clear();
            // Between frames, small: on this thread.
            kdbuild::build(std::move(prims), graftNodes, graftLeaves, c.cell, c.depth, maxDepth, 1,
                           0);
            kdbuild::spliceSubtree(nodes, leafList, k, graftNodes, graftLeaves);  // for the leaf
            continue;
        }
        if (own + addedCount == 0) continue;
        const uint32_t first = uint32_t(leafList.size());
        if (dropped.empty())
            leafList.insert(leafList.end(), ownFirst, ownFirst + own);
        else
            std::copy_if(ownFirst, ownFirst + own, std::back_inserter(leafList), kept);
        for (uint32_t i = 0; i < addedCount; ++i) leafList.push_back(extras[added[i]]);
        const uint32_t count = uint32_t(leafList.size()) - first;
        nodes[k] = KdNode::leaf(count, count > 0 ? first : 0);
    }
    if (leafList.empty()) leafList.push_back(nullptr);
    indexSpheres();
    rootIndex = 0;
    root = &nodes[0];
    return true;
}
