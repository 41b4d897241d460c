// Per-frame state of the engine and the band of rows a worker traces. The frame context is
// rebuilt when a frame is prepared and only read while it renders (except the dispenser).
#pragma once

#include <QMutex>
#include <cstdint>

#include "accel/lightpathtrace.h"
#include "geometry/boundingbox.h"
#include "geometry/raybundle.h"
#include "scene/rendersettings.h"

class DirectionGrid;
class KDTree;
class PixelBuffer;

struct alignas(16) FrameContext {
    float x0 = 0.0f;       // image-plane x of column 0: -500 sx
    float dx = 0.0f;       // image-plane step between columns: 1000 / W sx
    BoundingBox box;       // the scene box every ray is clipped to
    SingleRay single{};    // templates a worker copies before filling in rays
    RayBundle4 quad{};
    RayBundle16 block{};
    uint32_t background = 0xff141414u;
    float sx = 1.0f, sy = 1.0f;
    float gamma = 1.0f;
    RenderSettings settings;  // value copy taken when the frame is prepared
    bool spectralShift = false;
    // The moving bodies as straight rays visit them after the scene's tree: by direction from
    // the eye (seen), or in their own tree (moving); both null when there are none or they are
    // in the tree the rays trace. bentMoving: what the bent paths visit.
    const DirectionGrid* seen = nullptr;
    const KDTree* moving = nullptr;
    BentMoving bentMoving;
    int32_t nextRow = 0;      // first row not yet handed out
    QMutex dispenser;         // guards nextRow and bundleRows
    int32_t bundleRows = 2;
    PixelBuffer* buffer = nullptr;
};

// A band of 1, 2 or 4 rows, traced left to right in square packets of its own height.
struct alignas(16) RowBand {
    int32_t col = 0;       // column of the next packet
    int32_t row = 0;       // first row
    int32_t endRow = 0;    // first row after the band
    float xs[4] = {};      // image-plane x of the next packet's columns
    float ys[4] = {};      // image-plane y of rows row..row+3
    int32_t rows = 0;      // band height
    FrameContext* frame = nullptr;
    Vec4f yvec[4];         // diry * ys[i]
};
