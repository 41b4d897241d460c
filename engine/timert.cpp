// Frame rendering: preparing a frame, handing out bands of rows, and tracing each band in ray
// packets through the kd-tree (or along the black hole's bent light paths).
//
// Three choices of ours complete the band tracing:
// - Groups of bands: where the tree is bigger than a core's cache, a worker takes up to 32 rows
//   of bands at once (fewer near the end of the frame, so that the workers finish together) and
//   traces them in blocks 32 columns wide, block by block. The packets of a block meet much the
//   same cells and objects, which are then still in the cache; row by row, a band had pushed
//   them out before the band below came to them. On a belt of 60,000 asteroids a frame takes 5
//   to 12 % less time this way; small scenes, whose trees stay in the cache anyway, lost 1 to
//   3 % and keep single bands. Bent bands, which are slow and stop between rows when a frame
//   is cancelled, still go one at a time.
// - Right edge: packets of side n cover only whole groups of n columns; the last W mod n columns
//   of every band are traced as single rays, so every pixel gets a traced colour or background.
// - Light bending: 2 x 2 packets follow their paths together (iterRayPart4) and 4 x 4 packets
//   are traced as two rows of 2 x 2 packets; lanes whose paths part ways are finished one by one
//   from where they are. The four-ray intersections of the bending variant (the Alt entries) take
//   each lane's own origin, since the lanes of a bent path start from their own path points. Moving
//   bodies are visited on every piece of a bent path, after the scene's tree. With
//   the gravitational Doppler shift on, rays are traced one by one, as only the single-ray
//   tracer shifts the colour of a hit by the depth of its point in the hole's well. The
//   straight-line scene-box test never skips a bent ray: its path may still reach the scene or
//   the hole.
#include "engine/timert.h"

#include <unistd.h>

#include <QMutexLocker>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "accel/lightpathtrace.h"
#include "accel/timeslices.h"
#include "base/programmingerror.h"
#include "base/traceoutput.h"
#include "engine/camera.h"
#include "engine/debuglog.h"
#include "scene/coldiscrete.h"
#include "scene/lighttablecache.h"
#include "scene/rtobjbase.h"
#include "scene/scenedata.h"

TimeRT::TimeRT() = default;
TimeRT::~TimeRT() = default;

int64_t TimeRT::secondLevelCacheBytes() {
    const long bytes = sysconf(_SC_LEVEL2_CACHE_SIZE);
    return bytes > 0 ? int64_t(bytes) : int64_t(1) << 20;
}

void TimeRT::raytracePic(RenderSettings* newSettings, SceneData* newScene, KDTree* newTree,
                         PixelBuffer* buffer) {
    settings = newSettings;
    sceneData = newScene;
    tree = newTree;
    if (!buffer) {
        DebugLog::logMessage(QStringLiteral("TimeRT::raytracePic use Buffer + "));
        ownBuffer.setSize(width, height, 1);
        buffer = &ownBuffer;
    }
    frame.buffer = buffer;
    // Shading reads searchlight and exposure from the eye, and what each colour prepares here
    // for this eye between frames (the pool is idle now): its table, or its sums at factor 1.
    settings->syncLight();
    LightTableCache::prepareAll(sceneData->shadedColors, settings->eye);
    // A body with a velocity is prepared by its placement below, for the rays' origin in its rest
    // frame: left out here, so that views rendering one scene in different modes never undo it.
    for (rtObjBase* object : sceneData->objects.items)
        if (!object->isMoving() || object->motion().spaceTime)
            object->prepareForOrigin(settings->start);
    // After the objects' own preparation: a moving body prepares its primitive for the rays'
    // origin in its rest frame. Straight rays trace one tree of the scene and the bodies together,
    // or the bodies' own tree after the scene's; bent paths visit the bodies' own tree on every
    // piece.
    MovingBodies& bodies = tree->movingBodies();
    const bool bending = settings->lightBending;
    traced = tree;
    frame.seen = nullptr;
    frame.moving = nullptr;
    frame.bentMoving = BentMoving();
    if (!bodies.empty()) {
        const bool travel = settings->lightTravelTime;
        MovingPlacement& placement = bodies.placement(travel, bending);
        const float reach = bending ? bentReach(placement) : 0.0f;
        const MovingPlacement::Trees trees =
            placement.prepare(settings->start, travel, *tree, !bending, reach);
        if (trees.joined) traced = trees.joined;
        frame.seen = trees.seen;
        frame.moving = trees.own;
        frame.bentMoving.tree = bending ? trees.own : nullptr;
        frame.bentMoving.slices = bending ? trees.slices : nullptr;
        frame.bentMoving.time = settings->start.w;
        frame.bentMoving.sigma = travel ? -1.0f : 1.0f;
    }
    prepareFrame(settings, traced);
    const size_t leafBytes = sizeof(rtObjBase*) + (traced->leafSphereBase() ? sizeof(Vec4f) : 0);
    const double treeBytes = double(traced->nodeArray().size()) * sizeof(KdNode) +
                             double(traced->leaves().size()) * double(leafBytes);
    groupBands = treeBytes >= double(groupTreeBytes);
    // A tree that big has objects that do not stay in the cache either.
    frame.block.deferShading = groupBands ? 1 : 0;
    frame.background = settings->backgroundPixel();
    if (settings->lightBending) {
        tree->blackHole().prepare(settings->start, settings->bhpos, settings->bhradius, tableUpdate,
                                  float(Camera::finestSampleAngle(frame)));
        // Paths end where they leave the scene for good: the moving bodies' reach included.
        BoundingBox scene = tree->sceneBox();
        if (frame.bentMoving.tree) scene.unite(frame.bentMoving.tree->sceneBox());
        if (frame.bentMoving.slices) scene.unite(frame.bentMoving.slices->sceneBox());
        tree->blackHole().boundScene(scene);
    }
    if (settings->starrySky) {
        // Rays that hit nothing leave the mark; each band then draws the sky into its rows.
        sky.begin(frame, settings->lightBending ? &tree->blackHole() : nullptr, frame.background);
        skyReady = sky.nothingToPlace();
        pendingSky.clear();
        pendingSky.reserve(size_t(frame.buffer->height()));
        frame.background = StarrySky::marker(frame.background);
    }
}

float TimeRT::bentReach(const MovingPlacement& bodies) const {
    // The longest way light can take to the eye along the bent paths and still meet a body: from
    // the eye to the hole and about one and a half times round the sphere that holds the scene
    // and the bodies at the observer's time. Bodies seen along longer paths are left out.
    BoundingBox b = tree->sceneBox();
    b.unite(bodies.boundsAt(settings->start.w));
    const Vec4f hole = settings->bhpos;
    double r2 = 0.0;
    for (int i = 0; i < 8; ++i) {
        const double d[3] = {double((i & 1) ? b.max.x : b.min.x) - hole.x,
                             double((i & 2) ? b.max.y : b.min.y) - hole.y,
                             double((i & 4) ? b.max.z : b.min.z) - hole.z};
        r2 = std::max(r2, d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    }
    const double toHole = BlackHoleFrame::distance(settings->start, hole);
    return float(toHole + 10.0 * std::sqrt(r2));
}

void TimeRT::prepareFrame(RenderSettings* s, const KDTree* t) {
    frame.settings = *s;
    const int W = frame.buffer->width(), H = frame.buffer->height();
    RenderSettings::aspectFactors(W, H, frame.sx, frame.sy);
    frame.x0 = float(-500.0 * double(frame.sx));
    frame.dx = float((1000.0 / double(W)) * double(frame.sx));
    frame.box = t->sceneBox();

    if (!t->hasNodes()) programmingError("The tree does not have nodes");
    const KdNode* nodes = t->nodeBase();
    rtObjBase* const* leaves = t->leafBase();
    const uint8_t bending = s->lightBending ? 1 : 0;
    frame.spectralShift = s->srtDoppler && (s->speed != 0.0f || s->grtDoppler);

    frame.single.nodeBase = frame.quad.nodeBase = frame.block.nodeBase = nodes;
    frame.single.leafBase = frame.quad.leafBase = frame.block.leafBase = leaves;
    frame.single.leafSpheres = frame.quad.leafSpheres = frame.block.leafSpheres =
        t->leafSphereBase();
    frame.single.settings = frame.quad.settings = frame.block.settings = s;
    frame.single.variant = frame.quad.variant = frame.block.variant = bending;
    frame.block.shadeFlag = frame.spectralShift ? 1 : 0;

    const Vec4f start = frame.settings.start;
    frame.single.origin = start;
    for (int l = 0; l < 4; ++l) frame.quad.origin[l] = start;
    for (int c = 0; c < 4; ++c) frame.quad.originSoA[c] = Vec4f(start[c]);
    for (int i = 0; i < 16; ++i) frame.block.origin[i] = frame.quad.origin[i % 4];
    for (int g = 0; g < 4; ++g)
        for (int c = 0; c < 4; ++c) frame.block.originSoA[g][c] = frame.quad.originSoA[c];

    frame.nextRow = 0;
    frame.gamma = Camera::lorentzGamma(s->speed);
}

int TimeRT::nextBands(RowBand bands[kMaxGroupBands], int maxRows) {
    QMutexLocker lock(&frame.dispenser);
    if (!cutBand(bands[0], maxRows)) return 0;
    if (!groupBands || frame.settings.lightBending) return 1;  // bent bands are slow
    // A group holds whole bands of the packet side only, and at most a quarter of what is left
    // per worker, so that the workers finish a frame together.
    const int H = frame.buffer->height();
    const int rows = bands[0].rows;
    const int left = (H - frame.nextRow) / rows;
    const int sharing = std::max(1, workers > 0 ? workers : QThread::idealThreadCount());
    const int wanted = std::clamp(left / (4 * sharing), 0, kGroupRows / rows - 1);
    int count = 1;
    while (count <= wanted && frame.nextRow + rows <= H) cutBand(bands[count++], rows);
    return count;
}

bool TimeRT::cutBand(RowBand& band, int maxRows) {
    const int H = frame.buffer->height();
    frame.bundleRows = maxRows;
    if (frame.nextRow >= H) return false;

    int rows = frame.bundleRows;
    while (frame.nextRow + rows > H) {
        rows /= 2;
        frame.bundleRows = rows;
        if (rows <= 0) programmingError("is Finished should have been called first");
    }

    band.frame = &frame;
    band.col = 0;
    band.row = frame.nextRow;
    band.endRow = frame.nextRow + rows;
    band.rows = rows;
    const double rowStep = 1000.0 / double(float(H));
    const RenderSettings& s = frame.settings;
    for (int i = 0; i < 4; ++i) {
        band.ys[i] = float((rowStep * double(float(frame.nextRow + i)) - 500.0) * double(frame.sy));
        band.yvec[i] = s.diry * band.ys[i];
        band.xs[i] = float(double(frame.x0) + double(frame.dx) * i);
    }
    frame.nextRow += rows;
    return true;
}

void TimeRT::drawSky(int r0, int r1) {
    {
        QMutexLocker lock(&frame.dispenser);
        if (!skyReady) {
            pendingSky.emplace_back(r0, r1);  // within the capacity reserved for the frame
            return;
        }
    }
    sky.drawRows(*frame.buffer, r0, r1);
}

void TimeRT::drawPendingSky() {
    for (;;) {
        std::pair<int, int> rows;
        {
            QMutexLocker lock(&frame.dispenser);
            if (pendingSky.empty()) {
                skyReady = true;
                return;
            }
            rows = pendingSky.back();
            pendingSky.pop_back();
        }
        sky.drawRows(*frame.buffer, rows.first, rows.second);
    }
}

bool TimeRT::runTask() {
    // The stars are placed first, a share per call, by whichever workers come; bands traced
    // meanwhile wait for them to draw their sky (drawSky).
    if (frame.settings.starrySky && !cancelled()) {
        const StarrySky::Share share = sky.placeNext();
        if (share == StarrySky::Share::Last) drawPendingSky();
        if (share != StarrySky::Share::None) return false;
    }
    // Left uninitialised: nextBands fills the bands it hands out, and a task is often short.
    union Group {
        Group() {}
        RowBand bands[kMaxGroupBands];
    } group;
    RowBand* bands = group.bands;
    const int count = nextBands(bands, settings->maxBundleSize);
    if (count == 0) return true;
    if (frame.settings.lightBending)
        traceBentBand(bands[0]);
    else
        traceGroup(bands, count);
    if (frame.settings.starrySky) drawSky(bands[0].row, bands[count - 1].endRow);

    if (reportProgress) {
        QMutexLocker lock(&frame.dispenser);
        const int p = progressPercent();
        if (p > lastPercent) {
            lastPercent = p;
            emit percentageCompleted(p);
        }
    }
    return false;
}

void TimeRT::traceBentBand(RowBand& band) {
    const bool firstOfFrame = band.row == 0;
    if (band.rows > 1 && !bentGravitationalShift()) {
        // Bent 4 x 4 packets as two rows of 2 x 2 packets through the four-ray path walker; bent
        // rows are slow, so a cancelled frame stops between them.
        RayBundle4 b = frame.quad;
        for (int r = 0; r < band.rows && !cancelled(); r += 2) {
            RowBand half = band;  // each half starts at column 0
            traceBand4(half, b, r, firstOfFrame && r == 0, kAllColumns);
            traceRightEdge(half, r, r + 2);
        }
    } else {
        SingleRay ray = frame.single;
        for (int r = 0; r < band.rows && !cancelled(); ++r) {
            RowBand row = band;
            traceBand1(row, ray, r, firstOfFrame && r == 0, kAllColumns);
        }
    }
}

void TimeRT::traceGroup(RowBand bands[], int count) {
    const auto inBlocks = [&](auto&& tracePackets) {
        const int W = frame.buffer->width();
        const int block = count > 1 ? kGroupColumns : W;  // a band alone goes in one piece
        for (int col = 0; col < W; col += block)
            for (int i = 0; i < count; ++i) tracePackets(bands[i], col + block);
        for (int i = 0; i < count; ++i) traceRightEdge(bands[i], 0, bands[i].rows);
    };
    // One packet record serves the whole group: generating a packet sets all its rays' fields.
    if (bands[0].rows == 4) {
        RayBundle16 b[2] = {frame.block, frame.block};
        inBlocks([&](RowBand& band, int endCol) { traceBand16(band, b, endCol); });
    } else if (bands[0].rows == 2) {
        RayBundle4 b = frame.quad;
        RayBundle16 quads = frame.block;
        inBlocks([&](RowBand& band, int endCol) {
            traceBand4(band, b, 0, band.row == 0, endCol, quadsTogether ? &quads : nullptr);
        });
    } else {
        SingleRay ray = frame.single;
        inBlocks(
            [&](RowBand& band, int endCol) { traceBand1(band, ray, 0, band.row == 0, endCol); });
    }
}

void TimeRT::traceBand16(RowBand& band, RayBundle16 (&b)[2], int endCol) {
    // A packet's rays take a long chain of divisions and square roots, and its walk can start
    // only when they are done. Made one packet ahead, they are worked out while the packet
    // before is walked, and the walk does not wait for them.
    const auto next = [&](RayBundle16& into) {
        return band.col < endCol && Camera::generate16(band, into);
    };
    bool trace = band.row == 0 && band.col == 0;  // the frame's first packet
    if (!next(b[0])) return;
    for (int k = 0;; k ^= 1) {
        const bool more = next(b[k ^ 1]);
        traceBlock(b[k], trace);
        trace = false;
        if (!more) return;
    }
}

void TimeRT::traceBlock(RayBundle16& b, bool trace) {
    const uint32_t background = frame.background;
    b.trace = trace ? 1 : 0;
    const int live = combineMasks(b.live);
    if (live != 0xffff)
        for (int g = 0; g < 4; ++g) std::fill_n(b.out[g], 4, background);
    if (live == 0 && !frame.moving && !frame.seen) return;

    int hit = 0;
    if (live != 0) {
        b.node = *traced->rootNode();
        hit = traceBundle16(b);
    }
    if (frame.seen)
        hit |= traceMoving16(b, *frame.seen);
    else if (frame.moving)
        hit |= traceMoving16(b, *frame.moving);
    if (hit == 0xffff) return;
    if (trace && TraceOutput::enabled()) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", hit);
        TraceOutput::line(text);
    }
    for (int i = 0; i < 16; ++i)
        if (!((hit >> i) & 1)) b.out[i >> 2][i & 3] = background;
}

bool TimeRT::bentGravitationalShift() const {
    return frame.settings.grtDoppler && tree->blackHole().rs > 0.0f;
}

void TimeRT::traceBent4(RayBundle4& b, EmptyCellMemory& firstPieces) {
    b.node = *tree->rootNode();
    const int written = iterRayPart4(b, *tree, frame.bentMoving, &firstPieces);
    for (int l = 0; l < 4; ++l)
        if (!((written >> l) & 1)) b.out[l >> 1][l & 1] = frame.background;
}

void TimeRT::traceBand4(RowBand& half, RayBundle4& b, int rowOffset, bool firstOfFrame, int endCol,
                        RayBundle16* quads) {
    const uint32_t background = frame.background;
    const bool bending = frame.settings.lightBending;
    EmptyCellMemory firstPieces;
    for (;;) {
        // Four packets at a time where eight columns are left, but the first packet of the
        // frame, whose walk may be traced as a 2 x 2 packet's.
        if (quads && endCol - half.col >= 8 && !(firstOfFrame && half.col == 0) &&
            Camera::generateQuads16(half, *quads)) {
            traceBlock(*quads, false);
            continue;
        }
        if (half.col >= endCol || !Camera::generate4(half, b, rowOffset)) return;
        b.trace = (firstOfFrame && half.col <= 2) ? 1 : 0;
        if (bending) {  // the straight scene-box test says nothing about a bent path
            traceBent4(b, firstPieces);
            continue;
        }
        const int live = movemask(b.live);
        if (live != 0xf) {
            std::fill_n(b.out[0], 2, background);
            std::fill_n(b.out[1], 2, background);
        }
        if (live == 0 && !frame.moving && !frame.seen) continue;
        int hit = 0;
        if (live != 0) {
            b.node = *traced->rootNode();
            hit = traceBundle4(b);
        }
        if (frame.seen)
            hit |= traceMoving4(b, *frame.seen, b.tHit);
        else if (frame.moving)
            hit |= traceMoving4(b, *frame.moving, b.tHit);
        if (hit == 0xf) continue;
        for (int l = 0; l < 4; ++l)
            if (!((hit >> l) & 1)) b.out[l >> 1][l & 1] = background;
    }
}

void TimeRT::traceBand1(RowBand& band, SingleRay& ray, int rowOffset, bool firstOfFrame,
                        int endCol) {
    const uint32_t background = frame.background;
    const bool bending = frame.settings.lightBending;
    while (band.col < endCol && Camera::generate1(band, ray, rowOffset)) {
        ray.trace = (firstOfFrame && band.col <= 1) ? 1 : 0;
        ray.node = *traced->rootNode();
        if (bending) {
            if (!iterRayPart(ray, *tree, frame.bentMoving)) *ray.out = background;
            continue;
        }
        bool hit = traceRay(ray);
        const float limit = hit ? ray.tMax : kNoDistance;
        if (frame.seen)
            hit = traceMoving1(ray, *frame.seen, limit) || hit;
        else if (frame.moving)
            hit = traceMoving1(ray, *frame.moving, limit) || hit;
        if (!hit) *ray.out = background;
    }
}

void TimeRT::traceRightEdge(const RowBand& band, int firstRow, int endRow) {
    if (band.col >= frame.buffer->width()) return;
    SingleRay ray = frame.single;
    for (int r = firstRow; r < endRow; ++r) {
        RowBand edge = band;
        traceBand1(edge, ray, r, false, kAllColumns);
    }
}

void TimeRT::tasksFinished() {}

void TimeRT::stopDispensing() {
    QMutexLocker lock(&frame.dispenser);
    frame.nextRow = frame.buffer ? frame.buffer->height() : 0;
}

int TimeRT::percentDone() {
    QMutexLocker lock(&frame.dispenser);
    return progressPercent();
}

int TimeRT::progressPercent() const {
    const int H = frame.buffer ? frame.buffer->height() : 0;
    if (H <= 0) return 0;
    return std::min(100, int(int64_t(frame.nextRow) * 100 / H));
}
