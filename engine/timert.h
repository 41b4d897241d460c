// The engine that renders one frame: a task collection whose runTask() the pool's workers call
// concurrently. Each call takes the next bands of rows, traces them in square packets of the
// bands' height and writes their pixels; bands are disjoint, so pixel writes need no lock. With
// the starry sky on, the first calls place the stars, a share each.
#pragma once

#include <utility>
#include <vector>

#include "accel/blackholeframe.h"
#include "engine/framecontext.h"
#include "engine/pixelbuffer.h"
#include "engine/starrysky.h"
#include "engine/taskcollection.h"

class EmptyCellMemory;
class KDTree;
class MovingPlacement;
class SceneData;

class alignas(16) TimeRT : public TaskCollection {
    Q_OBJECT
public:
    TimeRT();
    ~TimeRT() override;

    // Prepares one frame: GUI thread, while no worker is inside runTask of this engine.
    // buffer may be null: the engine then renders into its own buffer of width x height.
    void raytracePic(RenderSettings* settings, SceneData* sceneData, KDTree* tree,
                     PixelBuffer* buffer);

    // Any worker: traces the next bands; true when no band is left.
    bool runTask() override;
    void tasksFinished() override;
    // Hands out no further band: every later runTask returns true at once.
    void stopDispensing() override;

    // Rows handed out so far, in percent (0 for an empty picture). Reads the dispenser's row
    // counter: while the pool renders, only with frame.dispenser held (runTask does so).
    int progressPercent() const;
    // progressPercent() taken under the dispenser's lock; any thread.
    int percentDone() override;

    PixelBuffer& ownPixelBuffer() { return ownBuffer; }
    const FrameContext& frameContext() const { return frame; }
    // The stars drawn behind frames with RenderSettings::starrySky on; a test may hand it a
    // catalogue of its own (between frames).
    StarrySky& starrySky() { return sky; }

    RenderSettings* settings = nullptr;  // the settings of the frame being rendered (not owned)
    SceneData* sceneData = nullptr;
    KDTree* tree = nullptr;
    const KDTree* traced = nullptr;  // the tree straight rays start in: tree, or tree and moving bodies
    PixelBuffer ownBuffer;
    int32_t width = 100;   // size of ownBuffer for the next frame (the view sets it)
    int32_t height = 100;
    int32_t lastPercent = 0;
    bool reportProgress = false;
    // The workers that share a frame: the bands a call takes at once are fewer the more there
    // are, so that all still finish together. 0: one per hardware thread, as the pool has.
    int32_t workers = 0;
    // Frames whose tree (nodes and leaf lists) takes at least this many bytes are traced in
    // groups of bands; a tree that stays in the cache anyway gains nothing from them and loses
    // a little. A core's second-level cache, as the system reports it.
    int64_t groupTreeBytes = secondLevelCacheBytes();
    // Whether straight 2 x 2 packets go four at a time as one 16-ray bundle (traceBand4); the
    // picture is the same either way, and tests draw it both ways.
    bool quadsTogether = true;

    // The size of a core's second-level cache; 1 MiB where the system does not say.
    static int64_t secondLevelCacheBytes();
    // How frame preparation treats a black-hole table that no longer fits the observer's
    // distance (BlackHoleFrame::prepare): the live loop keeps the old one while the new one
    // grows, still pictures wait for the exact one.
    BlackHoleFrame::TableUpdate tableUpdate = BlackHoleFrame::TableUpdate::Wait;

signals:
    void percentageCompleted(int percent);

private:
    void prepareFrame(RenderSettings* settings, const KDTree* tree);
    // Rows a group of bands spans at most, and the width of the blocks it is traced in.
    static constexpr int kGroupRows = 32;
    static constexpr int kGroupColumns = 32;
    static constexpr int kMaxGroupBands = kGroupRows;  // a group of one-row bands
    static constexpr int kAllColumns = 1 << 30;

    // Cuts the next bands off the picture: one of maxRows rows (fewer at the bottom), then more
    // of its height while the rest of the frame leaves each worker enough (never for bent
    // bands). Returns how many, 0 when the picture is handed out.
    int nextBands(RowBand bands[kMaxGroupBands], int maxRows);
    // One band of maxRows rows or fewer, with frame.dispenser held; false when none is left.
    bool cutBand(RowBand& band, int maxRows);
    // A bent band, row by row (or in rows of 2 x 2 packets).
    void traceBentBand(RowBand& band);
    // Bands of one height in blocks of kGroupColumns, block by block, then their right edges.
    void traceGroup(RowBand bands[], int count);
    // The packets of the band's own side from its next column up to endCol (the right edge is
    // left to traceRightEdge), in the two packet records the band's earlier packets used: the
    // next packet's rays are made in one while the other is traced.
    void traceBand16(RowBand& band, RayBundle16 (&b)[2], int endCol);
    // One 16-ray bundle as generated (4 x 4, or four 2 x 2 packets side by side): traced, then
    // the background where nothing was hit. trace: the walk writes its decisions.
    void traceBlock(RayBundle16& b, bool trace);
    // The 2 x 2 packets of rows rowOffset and rowOffset + 1 of the band. With a record for
    // quads (straight rays only), four packets side by side are traced at a time as one 16-ray
    // bundle wherever eight columns are left: the same rays, walked and shaded by the 16-ray
    // code: frames take a third to two thirds of the time of four 2 x 2 walks.
    void traceBand4(RowBand& band, RayBundle4& b, int rowOffset, bool firstOfFrame, int endCol,
                    RayBundle16* quads = nullptr);
    // One bent 2 x 2 packet through the four-ray path walker.
    // firstPieces: the walks' memory of the cell their first pieces lie in, kept along a band.
    void traceBent4(RayBundle4& b, EmptyCellMemory& firstPieces);
    // Light bending with the gravitational colour shift, which only single rays apply.
    bool bentGravitationalShift() const;
    // How long a bent path may be and still meet a moving body.
    float bentReach(const MovingPlacement& bodies) const;
    void traceBand1(RowBand& band, SingleRay& ray, int rowOffset, bool firstOfFrame, int endCol);
    // Rows [firstRow, endRow) of the band from its next column to the picture's edge, as single
    // rays: the columns no whole packet covered.
    void traceRightEdge(const RowBand& band, int firstRow, int endRow);

    // The sky of band rows [r0, r1) once the stars are placed; until then the band waits in
    // pendingSky for the worker that places the last share.
    void drawSky(int r0, int r1);
    // That worker: the waiting bands' sky, then every later band draws its own.
    void drawPendingSky();

    FrameContext frame;
    bool groupBands = false;  // this frame's tree is big enough for groups (groupTreeBytes)
    StarrySky sky;
    // With frame.dispenser held: whether the stars are placed, and the bands traced before.
    bool skyReady = true;
    std::vector<std::pair<int, int>> pendingSky;
};
