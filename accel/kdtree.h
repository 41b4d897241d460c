// The kd-tree over the scene objects: built from scratch with the surface area heuristic
// whenever the scene changes, read-only (and shared by all render threads) while a frame renders.
// Traversal lives in kdtraverse.h; black-hole light paths in lightpathtrace.h.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "accel/blackholeframe.h"
#include "accel/movingbodies.h"
#include "base/bigbuffer.h"
#include "geometry/boundingbox.h"
#include "geometry/kdnode.h"

class rtObjBase;

// Leaves refer to contiguous runs of this list of object pointers.
using LeafList = BigVector<rtObjBase*>;

class alignas(16) KDTree {
public:
    KDTree();
    ~KDTree();

    // Empties the leaf list and discards the nodes.
    void reset();

    // Builds the tree for the scene's object list. interv must be 0. Objects whose spatial box is
    // not finite are left out: they can never be hit. Moving bodies go to movingBodies() instead,
    // which each frame places for its own rays.
    void addInterval(const std::vector<rtObjBase*>& objects, int interv);
    // Takes over the tree that built (a tree of its own) made by addInterval of the same objects,
    // on a thread of its own while this one was drawn: a big scene is opened without holding the
    // window for its build. This tree keeps its black hole and light-path table; built is left
    // with this tree's old nodes. The moving bodies are registered again here, since their
    // placements belong to the tree that draws them.
    void adoptBuild(KDTree& built, const std::vector<rtObjBase*>& objects);

    // The threads a build may use, its own included, and the fewest objects a subtree must hold
    // to be built on a thread of its own. The tree is the same whatever the number. By default
    // a build uses every processor for subtrees of kBuildMinObjects objects and more.
    void setBuildThreads(int threads, uint32_t minObjects = kBuildMinObjects);
    static constexpr uint32_t kBuildMinObjects = 16384;

    const BoundingBox& sceneBox() const { return box; }
    // Builds the tree for a list of primitives as they are (no moving bodies set apart): the
    // trees of moving bodies.
    void buildFromPrimitives(std::vector<rtObjBase*> primitives);
    // The primitives of the objects at rest, kept while the scene has moving bodies.
    const std::vector<rtObjBase*>& staticPrimitives() const { return staticList; }

    // Makes this tree base's tree with extra primitives put into every leaf whose cell their box
    // overlaps, base's splits kept and its box grown to hold them: a frame's moving bodies
    // joined to the scene's tree in far less time than a build of everything takes, so that
    // their rays need no second pass. A leaf that would take more than maxPerLeaf extras (bodies
    // crowding the scene's empty space) is built anew over its primitives in its cell. Gives up,
    // returning false and leaving this tree unusable, when the extras would take more than
    // maxRefsPerExtra leaf entries each on average: long swept boxes across many cells are traced
    // faster in a tree of their own. Between frames; reuses most of its storage from frame to
    // frame.
    //
    // dropped (sorted by address) are left out of base's leaves: an edit's changed and removed
    // objects, whose entries stand where they were before the edit. They are compared by
    // address only, never read, so they may already be freed. A leaf left with no entries
    // stays an empty leaf; base's boxes keep their size.
    bool graft(const KDTree& base, const std::vector<rtObjBase*>& extras, int maxPerLeaf,
               int maxRefsPerExtra, const std::vector<rtObjBase*>& dropped = {});

    const KdNode* nodeBase() const { return nodes.data(); }
    rtObjBase* const* leafBase() const { return leafList.data(); }
    // rtObjBase::staticSphere of each leaf-list entry, or w = -1 (see RayBundle16::leafSpheres);
    // null unless spheres at rest are at least half of the entries.
    const Vec4f* leafSphereBase() const {
        return leafSpheres.empty() ? nullptr : leafSpheres.data();
    }
    const KdNode* rootNode() const { return root; }
    const BigVector<KdNode>& nodeArray() const { return nodes; }
    const LeafList& leaves() const { return leafList; }
    bool hasNodes() const { return !leafList.empty(); }

    // The black hole's light paths for the current observer (used with light bending on).
    BlackHoleFrame& blackHole() { return hole; }
    const BlackHoleFrame& blackHole() const { return hole; }

    // The bodies that move through the scene frame (see movingbodies.h).
    MovingBodies& movingBodies() { return moving; }
    const MovingBodies& movingBodies() const { return moving; }

private:
    // Fills leafSpheres from leafList; every change of the leaf list ends with it.
    void indexSpheres();
    // Registers the moving bodies' primitives with movingBodies(); the others, and the places of
    // moving spheres that keep their place without light travel time, go to still when given.
    void sortObjects(const std::vector<rtObjBase*>& objects, std::vector<rtObjBase*>* still);

    BoundingBox box;
    LeafList leafList;
    BigVector<Vec4f> leafSpheres;  // beside leafList
    int32_t rootIndex = -1;
    const KdNode* root = nullptr;
    BigVector<KdNode> nodes;
    int maxDepth = 0;  // the build's depth limit (kdbuild::depthLimit), kept for grafts
    std::vector<rtObjBase*> staticList;
    int buildThreads;
    uint32_t buildMinObjects = kBuildMinObjects;
    BlackHoleFrame hole;
    MovingBodies moving;
    // graft()'s working storage: (leaf node, extra) pairs, the extras sorted by leaf with each
    // leaf's start, the descent's stack, the crowded leaves' cells and their small trees.
    struct GraftCell {
        uint32_t node;
        int depth;
        BoundingBox cell;
    };
    std::vector<std::pair<uint32_t, uint32_t>> graftPairs;
    std::vector<uint32_t> graftStart, graftSorted, graftCount, graftStack;
    std::vector<GraftCell> graftCells;
    BigVector<KdNode> graftNodes;
    LeafList graftLeaves;
};
