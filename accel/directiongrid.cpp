#include "accel/directiongrid.h"

#include <algorithm>
#include <cmath>

#include "scene/rtobjbase.h"

namespace {

// Faces are numbered 2a for +a and 2a + 1 for -a. On the face of axis a the cell's column
// follows the lower of the two other axes and its row the higher one.
inline int lowerAxis(int a) { return a == 0 ? 1 : 0; }
inline int higherAxis(int a) { return a == 2 ? 1 : 2; }

// The column or row of a face coordinate in [-1, 1] (clamped there first: box ranges may be
// unbounded).
inline int indexOf(float u) {
    u = std::fmax(-1.0f, std::fmin(1.0f, u));
    return std::min(int((u + 1.0f) * (0.5f * DirectionGrid::kEdge)), DirectionGrid::kEdge - 1);
}

// The range of p / w for p in [pLo, pHi] and w in (max(wLo, 0), wHi], wHi > 0: the face
// coordinates of a box's points in front of the eye. A box reaching back to the plane through
// the eye (wLo <= 0) spreads without bound on the side its p extends to. Widened by more than the
// rounding of a ray's own coordinate.
inline void faceRange(float pLo, float pHi, float wLo, float wHi, float& lo, float& hi) {
    constexpr float inf = __builtin_inff();
    lo = pLo >= 0.0f ? pLo / wHi : wLo > 0.0f ? pLo / wLo : -inf;
    hi = pHi <= 0.0f ? pHi / wHi : wLo > 0.0f ? pHi / wLo : inf;
    lo -= 1e-5f * (1.0f + std::fabs(lo));
    hi += 1e-5f * (1.0f + std::fabs(hi));
}

}  // namespace

int DirectionGrid::cellOf(float x, float y, float z) {
    const float ax = std::fabs(x), ay = std::fabs(y), az = std::fabs(z);
    int face;
    float w, p, q;
    if (ax >= ay && ax >= az) {
        face = x < 0.0f ? 1 : 0;
        w = ax, p = y, q = z;
    } else if (ay >= az) {
        face = y < 0.0f ? 3 : 2;
        w = ay, p = x, q = z;
    } else {
        face = z < 0.0f ? 5 : 4;
        w = az, p = x, q = y;
    }
    if (!(w > 0.0f)) return 0;  // no direction at all
    return (face * kEdge + indexOf(q / w)) * kEdge + indexOf(p / w);
}

template <class Visit>
void DirectionGrid::forEachCell(const BoundingBox& box, Visit visit) const {
    for (int face = 0; face < 6; ++face) {
        const int a = face / 2, b = lowerAxis(a), c = higherAxis(a);
        const float s = (face & 1) ? -1.0f : 1.0f;
        const float w0 = s * (box.min[a] - from[a]), w1 = s * (box.max[a] - from[a]);
        const float wLo = std::fmin(w0, w1), wHi = std::fmax(w0, w1);
        if (!(wHi > 0.0f)) continue;  // wholly behind this face's directions
        float uLo, uHi, vLo, vHi;
        faceRange(box.min[b] - from[b], box.max[b] - from[b], wLo, wHi, uLo, uHi);
        faceRange(box.min[c] - from[c], box.max[c] - from[c], wLo, wHi, vLo, vHi);
        if (uHi < -1.0f || uLo > 1.0f || vHi < -1.0f || vLo > 1.0f) continue;
        const int i0 = indexOf(uLo), i1 = indexOf(uHi), j0 = indexOf(vLo), j1 = indexOf(vHi);
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) visit((face * kEdge + j) * kEdge + i);
    }
}

bool DirectionGrid::build(const Vec4f& eye, const std::vector<rtObjBase*>& objects,
                          int maxRefsPerObject) {
    from = eye;
    start.assign(kCells + 1, 0);
    // One body around the eye fills every cell: that alone never makes the grid give up.
    const size_t budget = size_t(maxRefsPerObject) * objects.size() + kCells;
    size_t total = 0;
    constexpr float inf = __builtin_inff();
    all = BoundingBox(Vec4f(inf), Vec4f(-inf));  // empty until an object unites with it
    for (const rtObjBase* object : objects) {
        const BoundingBox box = object->hitBounds();
        all.unite(box);
        forEachCell(box, [&](int cell) {
            ++start[cell + 1];
            ++total;
        });
        if (total > budget) return false;
    }
    for (int cell = 0; cell < kCells; ++cell) start[cell + 1] += start[cell];
    entries.resize(total);
    // start[cell] serves as the cell's write cursor, then is moved back by one cell.
    for (rtObjBase* object : objects)
        forEachCell(object->hitBounds(), [&](int cell) { entries[start[cell]++] = object; });
    for (int cell = kCells; cell > 0; --cell) start[cell] = start[cell - 1];
    start[0] = 0;
    return true;
}
