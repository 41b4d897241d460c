// Primary rays of the relativistic camera, one ray at a time (in mixed double/single precision)
// and four rays per SSE instruction for the 2 x 2 and 4 x 4 packets (single precision).
#include "engine/camera.h"

#include <cmath>

#include "engine/pixelbuffer.h"
#include "geometry/vec16f.h"

namespace Camera {

namespace {

uint32_t* pixelAddress(const RowBand& band, int row, int col) {
    PixelBuffer* buffer = band.frame->buffer;
    return buffer->data() + size_t(row) * size_t(buffer->width()) + size_t(col);
}

void advanceColumns(RowBand& band, int n) {
    band.col += n;
    const float step = float(n) * band.frame->dx;
    for (float& x : band.xs) x += step;
}

// Directions, inverse directions and Doppler factors of four rays given in structure-of-arrays
// form: image-plane x, y per lane and the lanes' row vectors diry * y.
struct Lanes {
    Vec4f dx, dy, dz, ix, iy, iz, doppler;
};

inline Lanes fourRays(const FrameContext& frame, const Vec4f& x, const Vec4f& y, const Vec4f& yvx,
                      const Vec4f& yvy, const Vec4f& yvz) {
    const RenderSettings& s = frame.settings;
    const Vec4f beta(s.speed), gamma(frame.gamma), k1000(1000.0f), one(1.0f);
    const Vec4f len0 = sqrt(x * x + y * y + Vec4f(1000000.0f));
    const Vec4f f = s.aberration ? (k1000 - beta * len0) * gamma : k1000;

    const Vec4f dx = x * s.dirx.x + yvx + f * s.lookat.x;
    const Vec4f dy = x * s.dirx.y + yvy + f * s.lookat.y;
    const Vec4f dz = x * s.dirx.z + yvz + f * s.lookat.z;
    const Vec4f len = sqrt(dx * dx + dy * dy + dz * dz);

    Lanes r;
    r.dx = dx / len;
    r.dy = dy / len;
    r.dz = dz / len;
    r.ix = one / r.dx;
    r.iy = one / r.dy;
    r.iz = one / r.dz;
    if (!s.srtDoppler)
        r.doppler = one;
    else if (s.aberration)
        r.doppler = one / ((beta * f / len + one) * gamma);
    else
        r.doppler = one / ((beta * k1000 / len0 + one) * gamma);
    return r;
}

}  // namespace

float lorentzGamma(float beta) {
    const double b2 = double(beta) * double(beta);
    return float(1.0 / double(std::sqrt(float(1.0 - b2))));
}

void primaryDirection(const FrameContext& frame, float x, float y, const Vec4f& yvec, Vec4f& dir,
                      float& doppler) {
    const RenderSettings& s = frame.settings;
    const float beta = s.speed;
    const float gamma = frame.gamma;
    const float len0 = std::sqrt(float(double(x) * x + double(y) * y + 1000000.0));
    const float f = s.aberration ? float((1000.0 - double(beta) * len0) * double(gamma)) : 1000.0f;

    const float dx = x * s.dirx.x + yvec.x + f * s.lookat.x;
    const float dy = x * s.dirx.y + yvec.y + f * s.lookat.y;
    const float dz = x * s.dirx.z + yvec.z + f * s.lookat.z;
    const float len = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double inv = 1.0 / double(len);
    dir = Vec4f(float(dx * inv), float(dy * inv), float(dz * inv), 1.0f);

    if (!s.srtDoppler)
        doppler = 1.0f;
    else if (s.aberration)
        doppler = float(1.0 / ((double(beta) * f / len + 1.0) * gamma));
    else
        doppler = float(1.0 / ((double(beta) * 1000.0 / len0 + 1.0) * gamma));
}

double finestSampleAngle(const FrameContext& frame) {
    const RenderSettings& s = frame.settings;
    const double beta = s.speed, gamma = frame.gamma;
    const int W = frame.buffer->width(), H = frame.buffer->height();
    const double dx = frame.dx, dy = 1000.0 / double(H) * double(frame.sy);
    // The scene-frame direction of image-plane point (x, y) in the observer's own axes (dirx,
    // diry, lookat), as primaryDirection makes it.
    const auto direction = [&](double x, double y, double out[3]) {
        const double len0 = std::sqrt(x * x + y * y + 1e6);
        out[0] = x;
        out[1] = y;
        out[2] = s.aberration ? (1000.0 - beta * len0) * gamma : 1000.0;
    };
    const auto angle = [](const double a[3], const double b[3]) {
        const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                             a[0] * b[1] - a[1] * b[0]};
        return std::atan2(std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]),
                          a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
    };
    constexpr int kGrid = 9;
    double finest = M_PI;
    for (int i = 0; i < kGrid; ++i)
        for (int j = 0; j < kGrid; ++j) {
            const double col = double(W - 1) * i / (kGrid - 1);
            const double row = double(H - 1) * j / (kGrid - 1);
            const double x = double(frame.x0) + dx * col;
            const double y = (1000.0 / double(H) * row - 500.0) * double(frame.sy);
            double here[3], right[3], up[3];
            direction(x, y, here);
            direction(x + dx, y, right);
            direction(x, y + dy, up);
            finest = std::fmin(finest, std::fmin(angle(here, right), angle(here, up)));
        }
    return finest;
}

bool generate1(RowBand& band, SingleRay& ray, int rowOffset) {
    const FrameContext& frame = *band.frame;
    if (band.col >= frame.buffer->width()) return false;

    primaryDirection(frame, band.xs[0], band.ys[rowOffset], band.yvec[rowOffset], ray.dir,
                     ray.doppler);
    ray.invDir = Vec4f(1.0f / ray.dir.x, 1.0f / ray.dir.y, 1.0f / ray.dir.z, 1.0f);
    ray.out = pixelAddress(band, band.row + rowOffset, band.col);
    clipToBox(frame.box, ray);
    advanceColumns(band, 1);
    return true;
}

TAVOLIN_HOT_KERNEL
bool generate4(RowBand& band, RayBundle4& b, int rowOffset) {
    const FrameContext& frame = *band.frame;
    if (band.col + 1 >= frame.buffer->width()) return false;

    const float x0 = band.xs[0], x1 = band.xs[1];
    const float y0 = band.ys[rowOffset], y1 = band.ys[rowOffset + 1];
    const Vec4f& v0 = band.yvec[rowOffset];
    const Vec4f& v1 = band.yvec[rowOffset + 1];
    const Lanes r = fourRays(frame, Vec4f(x0, x1, x0, x1), Vec4f(y0, y0, y1, y1),
                             Vec4f(v0.x, v0.x, v1.x, v1.x), Vec4f(v0.y, v0.y, v1.y, v1.y),
                             Vec4f(v0.z, v0.z, v1.z, v1.z));
    b.dir[0] = r.dx;
    b.dir[1] = r.dy;
    b.dir[2] = r.dz;
    b.dir[3] = Vec4f(1.0f);
    b.invDir[0] = r.ix;
    b.invDir[1] = r.iy;
    b.invDir[2] = r.iz;
    b.invDir[3] = Vec4f(1.0f);
    b.doppler = r.doppler;
    // The array-of-structures copy of the directions, for code that follows one ray.
    __m128 c0 = r.dx, c1 = r.dy, c2 = r.dz, c3 = b.dir[3];
    _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
    b.scratch[0] = c0;
    b.scratch[1] = c1;
    b.scratch[2] = c2;
    b.scratch[3] = c3;

    b.tHit = Vec4f(kNoHit);
    clipToBox(frame.box, b);
    b.out[0] = pixelAddress(band, band.row + rowOffset, band.col);
    b.out[1] = pixelAddress(band, band.row + rowOffset + 1, band.col);
    advanceColumns(band, 2);
    return true;
}

namespace {

// Where a 16-ray bundle's four lane groups lie: group g holds four neighbouring pixels of row
// row[g] of the band, from column col[g], at image-plane x values x[g].
struct GroupPlaces {
    Vec4f x[4];
    int row[4];
    int col[4];
};

#if TAVOLIN_WIDE_KERNELS
// The bundle's sixteen rays at once: fourRays and clipToBox lane by lane, with the same
// operations in the same order, so the rays are those of the 4-wide code bit for bit.
TAVOLIN_WIDE_KERNEL void sixteenRays(const RowBand& band, const GroupPlaces& at, RayBundle16& b) {
    const FrameContext& frame = *band.frame;
    const RenderSettings& s = frame.settings;
    const Vec16f x = join(at.x[0], at.x[1], at.x[2], at.x[3]);
    const float* ys = band.ys;
    const int* r = at.row;
    const Vec16f y = join(Vec4f(ys[r[0]]), Vec4f(ys[r[1]]), Vec4f(ys[r[2]]), Vec4f(ys[r[3]]));
    const Vec4f* yv = band.yvec;
    const Vec16f yvx =
        join(Vec4f(yv[r[0]].x), Vec4f(yv[r[1]].x), Vec4f(yv[r[2]].x), Vec4f(yv[r[3]].x));
    const Vec16f yvy =
        join(Vec4f(yv[r[0]].y), Vec4f(yv[r[1]].y), Vec4f(yv[r[2]].y), Vec4f(yv[r[3]].y));
    const Vec16f yvz =
        join(Vec4f(yv[r[0]].z), Vec4f(yv[r[1]].z), Vec4f(yv[r[2]].z), Vec4f(yv[r[3]].z));

    const Vec16f beta = wide(s.speed), gamma = wide(frame.gamma), k1000 = wide(1000.0f),
                 one = wide(1.0f);
    const Vec16f len0 = sqrt(x * x + y * y + wide(1000000.0f));
    const Vec16f f = s.aberration ? (k1000 - beta * len0) * gamma : k1000;
    const Vec16f dx = x * wide(s.dirx.x) + yvx + f * wide(s.lookat.x);
    const Vec16f dy = x * wide(s.dirx.y) + yvy + f * wide(s.lookat.y);
    const Vec16f dz = x * wide(s.dirx.z) + yvz + f * wide(s.lookat.z);
    const Vec16f len = sqrt(dx * dx + dy * dy + dz * dz);
    const Vec16f ux = dx / len, uy = dy / len, uz = dz / len;
    const Vec16f ix = one / ux, iy = one / uy, iz = one / uz;
    Vec16f doppler = one;
    if (s.srtDoppler && s.aberration)
        doppler = one / ((beta * f / len + one) * gamma);
    else if (s.srtDoppler)
        doppler = one / ((beta * k1000 / len0 + one) * gamma);

    // The rays' interval in the scene box, as clipGroup has it.
    const Vec4f& o = b.origin[0];
    const BoundingBox& box = frame.box;
    const Vec16f x1 = (wide(box.min.x) - wide(o.x)) * ix, x2 = (wide(box.max.x) - wide(o.x)) * ix;
    const Vec16f y1 = (wide(box.min.y) - wide(o.y)) * iy, y2 = (wide(box.max.y) - wide(o.y)) * iy;
    const Vec16f z1 = (wide(box.min.z) - wide(o.z)) * iz, z2 = (wide(box.max.z) - wide(o.z)) * iz;
    const Vec16f entry = max(max(min(x1, x2), min(y1, y2)), min(z1, z2));
    const Vec16f exit = min(min(max(x1, x2), max(y1, y2)), max(z1, z2));
    const Mask16 live = entry <= exit;

    split(ux, b.dir[0].x, b.dir[1].x, b.dir[2].x, b.dir[3].x);
    split(uy, b.dir[0].y, b.dir[1].y, b.dir[2].y, b.dir[3].y);
    split(uz, b.dir[0].z, b.dir[1].z, b.dir[2].z, b.dir[3].z);
    split(ix, b.invDir[0].x, b.invDir[1].x, b.invDir[2].x, b.invDir[3].x);
    split(iy, b.invDir[0].y, b.invDir[1].y, b.invDir[2].y, b.invDir[3].y);
    split(iz, b.invDir[0].z, b.invDir[1].z, b.invDir[2].z, b.invDir[3].z);
    store16(doppler, b.doppler);
    store16(max(wide(0.0f), entry), b.tMin);
    store16(exit, b.tMax);
    for (int g = 0; g < 4; ++g) {
        b.live[g] = group(live, g);
        b.tHit[g] = Vec4f(kNoHit);
    }
}
#endif

// The 16-ray bundle at the given places: on 16-lane registers where the processor has them,
// else group by group through fourRays, the same rays either way.
[[gnu::always_inline]] inline void sixteenRaysAt(const RowBand& band, const GroupPlaces& at,
                                                 RayBundle16& b) {
    const FrameContext& frame = *band.frame;
    for (int g = 0; g < 4; ++g) b.out[g] = pixelAddress(band, band.row + at.row[g], at.col[g]);
#if TAVOLIN_WIDE_KERNELS
    if (hasWideKernels()) {
        sixteenRays(band, at, b);
        return;
    }
#endif
    for (int g = 0; g < 4; ++g) {
        const Vec4f& yv = band.yvec[at.row[g]];
        const Lanes r = fourRays(frame, at.x[g], Vec4f(band.ys[at.row[g]]), Vec4f(yv.x),
                                 Vec4f(yv.y), Vec4f(yv.z));
        b.dir[g].x = r.dx;
        b.dir[g].y = r.dy;
        b.dir[g].z = r.dz;
        b.invDir[g].x = r.ix;
        b.invDir[g].y = r.iy;
        b.invDir[g].z = r.iz;
        b.doppler[g] = r.doppler;
        b.tHit[g] = Vec4f(kNoHit);
    }
    clipToBox(frame.box, b);
}

}  // namespace

TAVOLIN_HOT_KERNEL
bool generate16(RowBand& band, RayBundle16& b) {
    if (band.col + 3 >= band.frame->buffer->width()) return false;
    GroupPlaces at;
    for (int g = 0; g < 4; ++g) {
        at.x[g] = Vec4f::loadUnaligned(band.xs);
        at.row[g] = g;
        at.col[g] = band.col;
    }
    sixteenRaysAt(band, at, b);
    advanceColumns(band, 4);
    return true;
}

TAVOLIN_HOT_KERNEL
bool generateQuads16(RowBand& band, RayBundle16& b) {
    if (band.col + 7 >= band.frame->buffer->width()) return false;
    // The column values each packet of 2 x 2 would have had, advanced packet by packet as
    // generate4 advances them: the same floats, so the same rays.
    float x[8];
    for (int p = 0; p < 4; ++p) {
        x[2 * p] = band.xs[0];
        x[2 * p + 1] = band.xs[1];
        advanceColumns(band, 2);
    }
    GroupPlaces at;
    for (int g = 0; g < 4; ++g) {
        const int half = g & 1;  // groups 0 and 2 take the left four columns
        at.x[g] = Vec4f::loadUnaligned(x + 4 * half);
        at.row[g] = g >> 1;
        at.col[g] = band.col - 8 + 4 * half;
    }
    sixteenRaysAt(band, at, b);
    return true;
}

}  // namespace Camera
