// The starry sky: per-frame projection of the catalogue (with the black hole's images) in shares
// that the render workers take, a counting sort of the splats by row, and the per-band
// accumulation and compositing.
#include "engine/starrysky.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "accel/blackholeframe.h"
#include "engine/camera.h"
#include "engine/framecontext.h"
#include "engine/pixelbuffer.h"
#include "scene/cie1931.h"
#include "scene/colblackbody.h"
#include "scene/lightshading.h"
#include "scene/spectrumtable.h"
#include "scene/starcatalogue.h"

StarrySky::StarrySky() = default;
StarrySky::~StarrySky() = default;

void StarrySky::setCatalogue(const StarCatalogue* catalogue) { catalogue_ = catalogue; }

int StarrySky::classOf(float kelvin) {
    const double t = std::log(double(kelvin) / double(kMinKelvin)) /
                     std::log(double(kMaxKelvin) / double(kMinKelvin));
    if (!(t > 0.0)) return 0;
    return std::min(kClasses - 1, int(std::lround(t * (kClasses - 1))));
}

double StarrySky::classKelvin(int cls) {
    const double t = double(cls) / double(kClasses - 1);
    return double(kMinKelvin) * std::pow(double(kMaxKelvin) / double(kMinKelvin), t);
}

void StarrySky::starLines(double kelvin, ColDiscrete& out) {
    out.clearLines();
    const double binWidth = std::log(kLineRatio);  // d(lambda) = lambda d(ln lambda)
    const int n = int(std::log(kLastNm / kFirstNm) / binWidth) + 1;
    double y = 0.0;
    for (int i = 0; i < n; ++i) {
        const double nm = kFirstNm * std::exp(binWidth * i);
        y += Cie1931::yBar(nm) * ColBlackbody::planck(nm, kelvin) * nm * binWidth;
    }
    const double scale = y > 0.0 ? Cie1931::kUnit / y : 0.0;
    for (int i = 0; i < n; ++i) {
        const double nm = kFirstNm * std::exp(binWidth * i);
        out.addLine(float(nm), float(scale * ColBlackbody::planck(nm, kelvin) * nm * binWidth));
    }
}

void StarrySky::prepareColours(const Eye& eye) {
    if (tablesBuilt_ && tableKey_ == eye.lightKey) return;
    if (colours_.empty())
        for (int c = 0; c < kClasses; ++c) {
            colours_.push_back(std::make_unique<ColDiscrete>(QStringLiteral("star")));
            starLines(classKelvin(c), *colours_.back());
        }
    tablesBuilt_ = false;
    tables_.assign(size_t(kClasses) * kEntries * 3, 0.0f);
    for (int c = 0; c < kClasses; ++c)
        for (int i = 0; i < kEntries; ++i) {
            const double log2d = double(i) / kStepsPerOctave - kOctaves;
            float sums[3];
            SpectrumTable::direct(*colours_[size_t(c)], eye, float(std::exp2(log2d)), sums);
            float* entry = &tables_[(size_t(c) * kEntries + size_t(i)) * 3];
            for (int ch = 0; ch < 3; ++ch) entry[ch] = sums[ch];
        }
    tableKey_ = eye.lightKey;
    tablesBuilt_ = true;
}

void StarrySky::colour(int cls, float doppler, float sums[3]) const {
    double x = (std::log2(double(doppler)) + kOctaves) * kStepsPerOctave;
    if (!(x > 0.0)) x = 0.0;  // NaN too
    x = std::min(x, double(kEntries - 1));
    const int i = std::min(int(x), kEntries - 2);
    const float t = float(x - i);
    const float* e = &tables_[(size_t(cls) * kEntries + size_t(i)) * 3];
    for (int ch = 0; ch < 3; ++ch) sums[ch] = e[ch] + t * (e[ch + 3] - e[ch]);
}

bool StarrySky::project(const FrameContext& frame, int height, const float dir[3], float& u,
                        float& v, float& doppler) {
    const RenderSettings& s = frame.settings;
    // Components along the picture's right, up and forward axes (a unit frame).
    const double a =
        dir[0] * double(s.dirx.x) + dir[1] * double(s.dirx.y) + dir[2] * double(s.dirx.z);
    const double b =
        dir[0] * double(s.diry.x) + dir[1] * double(s.diry.y) + dir[2] * double(s.diry.z);
    const double c =
        dir[0] * double(s.lookat.x) + dir[1] * double(s.lookat.y) + dir[2] * double(s.lookat.z);
    const double beta = s.speed, gamma = frame.gamma;
    // Lorentz aberration into the observer's frame (the camera's transform inverted):
    // cos(theta') = (cos(theta) + beta) / (1 + beta cos(theta)), the sideways part divided by
    // gamma (1 + beta cos(theta)).
    double nx = a, ny = b, nz = c;
    const double g = gamma * (1.0 + beta * c);
    if (s.aberration) {
        nx = a / g;
        ny = b / g;
        nz = (c + beta) / (1.0 + beta * c);
    }
    // The relativistic Doppler factor of the camera's ray, lambda_seen / lambda_emitted.
    doppler = s.srtDoppler ? float(1.0 / g) : 1.0f;
    if (!(nz > 1e-6)) return false;
    const double x = 1000.0 * nx / nz, y = 1000.0 * ny / nz;
    u = float((x - double(frame.x0)) / double(frame.dx));
    v = float((y / double(frame.sy) + 500.0) * double(height) / 1000.0);
    return std::isfinite(u) && std::isfinite(v);
}

float StarrySky::milkyWayLuminance(const float dir[3]) {
    struct Axes {
        double pole[3], centre[3], side[3];
    };
    static const Axes axes = [] {
        Axes a;
        float p[3], c[3];
        StarCatalogue::equatorialToScene(kGalacticPoleDec, kGalacticPoleRa, p[0], p[1], p[2]);
        StarCatalogue::equatorialToScene(kGalacticCentreDec, kGalacticCentreRa, c[0], c[1], c[2]);
        for (int i = 0; i < 3; ++i) {
            a.pole[i] = p[i];
            a.centre[i] = c[i];
        }
        a.side[0] = a.pole[1] * a.centre[2] - a.pole[2] * a.centre[1];
        a.side[1] = a.pole[2] * a.centre[0] - a.pole[0] * a.centre[2];
        a.side[2] = a.pole[0] * a.centre[1] - a.pole[1] * a.centre[0];
        return a;
    }();
    auto dot = [dir](const double v[3]) { return dir[0] * v[0] + dir[1] * v[1] + dir[2] * v[2]; };
    const double sigma = kMilkyWayWidthDeg * M_PI / 180.0,
                 lambda = kMilkyWayBulgeDeg * M_PI / 180.0;
    // Beyond four widths the glow is below a thousandth of a level: none, so that pictures away
    // from the band skip it.
    const double sinB = dot(axes.pole);
    if (std::fabs(sinB) > std::sin(4.0 * sigma)) return 0.0f;
    const double b = std::asin(std::clamp(sinB, -1.0, 1.0));
    const double l = std::atan2(dot(axes.side), dot(axes.centre));
    const double along =
        kMilkyWayFloor + (1.0 - kMilkyWayFloor) * std::exp(-l * l / (2 * lambda * lambda));
    return float(kMilkyWayLuminance * std::exp(-b * b / (2 * sigma * sigma)) * along);
}

bool StarrySky::bandAt(float x, float y, const Vec4f& yvec, float out[3]) const {
    Vec4f dir;
    float doppler = 1.0f;
    Camera::primaryDirection(*frame_, x, y, yvec, dir, doppler);
    float sky[3] = {dir.x, dir.y, dir.z};
    bool steep = false;
    if (hole_ && lensing_.valid()) {
        // The ray's escape direction: psi(a) from the hole's direction, in its plane.
        const double h[3] = {-double(hole_->xGRT.x), -double(hole_->xGRT.y),
                             -double(hole_->xGRT.z)};
        const double ca = std::clamp(dir.x * h[0] + dir.y * h[1] + dir.z * h[2], -1.0, 1.0);
        const double psi = lensing_.escapeAngle(std::acos(ca));
        double e[3] = {dir.x - ca * h[0], dir.y - ca * h[1], dir.z - ca * h[2]};
        const double elen = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        if (std::isnan(psi) || elen < 1e-9) {
            out[0] = out[1] = out[2] = 0.0f;
            return true;
        }
        for (int c = 0; c < 3; ++c)
            sky[c] = float(std::cos(psi) * h[c] + std::sin(psi) * e[c] / elen);
        steep = psi < kSteepEscapeAngle;
    }
    const float luminance = milkyWayLuminance(sky);
    if (luminance == 0.0f) {
        out[0] = out[1] = out[2] = 0.0f;
        return steep;
    }
    colour(bandClass_, doppler * wellFactor_, out);
    for (int c = 0; c < 3; ++c) out[c] *= luminance;
    return steep;
}

float StarrySky::rowY(int r) const {
    // Rows exactly as the camera places its rays (TimeRT::nextBand).
    const double rowStep = 1000.0 / double(float(height_));
    return float((rowStep * double(float(r)) - 500.0) * double(frame_->sy));
}

void StarrySky::placeMilkyWay(int first, int end) {
    const FrameContext& frame = *frame_;
    const int step = kMilkyWayGrid;
    for (int gj = first; gj < end; ++gj) {
        const float y = rowY(gj * step);
        const Vec4f yvec = frame.settings.diry * y;
        for (int gi = 0; gi < bandW_; ++gi) {
            const size_t k = size_t(gj) * size_t(bandW_) + size_t(gi);
            steep_[k] = bandAt(frame.x0 + frame.dx * float(gi * step), y, yvec, &band_[k * 3]);
        }
    }
}

void StarrySky::begin(const FrameContext& frame, const BlackHoleFrame* hole, uint32_t background) {
    const PixelBuffer& buffer = *frame.buffer;
    width_ = buffer.width();
    height_ = buffer.height();
    eye_ = frame.settings.eye;
    background_ = background;
    shares_ = starShares_ = 0;
    nextShare_.store(0, std::memory_order_relaxed);
    sharesDone_.store(0, std::memory_order_relaxed);
    shareFailed_.store(false, std::memory_order_relaxed);
    // The sky's memory grows with the picture (three sums per pixel): a picture too large for
    // it is drawn without the sky rather than not at all.
    usable_ = false;
    try {
        setUp(frame, hole);
        usable_ = true;
        if (shares_ == 0) sortSplats();
    } catch (const std::bad_alloc&) {
        releaseMemory();
    }
}

void StarrySky::releaseMemory() {
    usable_ = false;
    shares_ = starShares_ = 0;
    acc_ = {};
    band_ = {};
    steep_ = {};
    shareSplats_ = {};
    sorted_ = {};
    hasBand_ = false;
}

StarrySky::Share StarrySky::placeNext() {
    const int share = nextShare_.fetch_add(1, std::memory_order_relaxed);
    if (share >= shares_) return Share::None;
    // A share is placed rounding to nearest, as the thread that sets the frame up rounds, also
    // by a render worker: the picture does not depend on which thread placed which star.
    const NearestRounding rounding;
    try {
        if (share < starShares_) {
            const size_t first = size_t(share) * kStarsPerShare;
            const size_t end = std::min(first + kStarsPerShare, catalogue_->stars.size());
            placeStars(first, end, shareSplats_[size_t(share)]);
        } else {
            const int row = (share - starShares_) * kGridRowsPerShare;
            placeMilkyWay(row, std::min(row + kGridRowsPerShare, bandH_));
        }
    } catch (const std::bad_alloc&) {
        shareFailed_.store(true, std::memory_order_relaxed);
    }
    if (sharesDone_.fetch_add(1, std::memory_order_acq_rel) + 1 < shares_) return Share::Placed;
    // The last share: the others' work is visible here, through the counter.
    try {
        if (shareFailed_.load(std::memory_order_relaxed)) throw std::bad_alloc();
        sortSplats();
    } catch (const std::bad_alloc&) {
        releaseMemory();
    }
    return Share::Last;
}

void StarrySky::setUp(const FrameContext& frame, const BlackHoleFrame* hole) {
    const RenderSettings& s = frame.settings;
    if (!catalogue_) catalogue_ = &StarCatalogue::standard();
    if (prepared_ != catalogue_ || starClass_.size() != catalogue_->stars.size()) {
        prepared_ = catalogue_;
        starClass_.clear();
        luminance_.clear();
        for (const Star& star : catalogue_->stars) {
            starClass_.push_back(uint8_t(classOf(star.kelvin)));
            luminance_.push_back(kMagnitudeZeroLuminance *
                                 float(std::pow(10.0, -0.4 * double(star.magnitude))));
        }
    }
    prepareColours(s.eye);
    acc_.resize(size_t(std::max(width_, 0)) * size_t(std::max(height_, 0)) * 3);
    samplesPerSide_ = frame.buffer->samplesPerSide();

    // Starlight falling into the hole's well arrives blue-shifted at a static observer.
    float wellFactor = 1.0f;
    if (hole) {
        lensing_.update(hole->paths);
        if (s.grtDoppler && hole->rs > 0.0f && hole->rObs > hole->rs)
            wellFactor = float(std::sqrt(1.0 - double(hole->rs) / double(hole->rObs)));
    }
    frame_ = &frame;
    hole_ = hole;
    wellFactor_ = wellFactor;

    hasBand_ = catalogue_->milkyWay && width_ > 0 && height_ > 0;
    bandH_ = 0;
    if (hasBand_) {
        bandClass_ = classOf(kMilkyWayKelvin);
        bandW_ = (width_ - 1) / kMilkyWayGrid + 2;
        bandH_ = (height_ - 1) / kMilkyWayGrid + 2;
        band_.resize(size_t(bandW_) * size_t(bandH_) * 3);
        steep_.resize(size_t(bandW_) * size_t(bandH_));
    }

    const size_t stars = catalogue_->stars.size();
    starShares_ = int((stars + kStarsPerShare - 1) / kStarsPerShare);
    if (shareSplats_.size() < size_t(starShares_)) shareSplats_.resize(size_t(starShares_));
    for (std::vector<Splat>& splats : shareSplats_) splats.clear();
    shares_ = starShares_ + (bandH_ + kGridRowsPerShare - 1) / kGridRowsPerShare;
}

void StarrySky::placeStars(size_t first, size_t end, std::vector<Splat>& out) const {
    const FrameContext& frame = *frame_;
    // With k x k samples per pixel a star is spread over a pixel's worth of samples, each as
    // bright as the pixel would be without antialiasing: the reduced picture shows it as a
    // picture without antialiasing would, and no single sample saturates for it.
    const int k = samplesPerSide_;
    const float spread = 0.5f * float(k - 1);
    const std::vector<Star>& stars = catalogue_->stars;
    for (size_t i = first; i < end; ++i) {
        const Star& star = stars[i];
        const float dir[3] = {star.x, star.y, star.z};
        SkyLensing::Image images[SkyLensing::kMaxImages];
        int count = 1;
        if (hole_) {
            count = lensing_.images(*hole_, dir, images);
        } else {
            for (int c = 0; c < 3; ++c) images[0].dir[c] = dir[c];
            images[0].magnification = 1.0f;
        }
        for (int m = 0; m < count; ++m) {
            float u, v, d;
            if (!project(frame, height_, images[m].dir, u, v, d)) continue;
            float sums[3];
            colour(starClass_[i], d * wellFactor_, sums);
            const float gain = luminance_[i] * images[m].magnification;
            for (float& x : sums) x *= gain;
            for (int sj = 0; sj < k; ++sj)
                for (int si = 0; si < k; ++si) {
                    const float su = u + float(si) - spread, sv = v + float(sj) - spread;
                    if (su > -1.0f && su < float(width_) && sv > -1.0f && sv < float(height_))
                        out.push_back(Splat{su, sv, {sums[0], sums[1], sums[2]}});
                }
        }
    }
}

void StarrySky::sortSplats() {
    // Counting sort by the lower row of each splat, floor(v) in [-1, height - 1], the shares in
    // star order.
    rowStart_.assign(size_t(height_) + 2, 0);
    size_t total = 0;
    for (int share = 0; share < starShares_; ++share) {
        const std::vector<Splat>& splats = shareSplats_[size_t(share)];
        total += splats.size();
        for (const Splat& sp : splats) ++rowStart_[size_t(int(std::floor(sp.v)) + 1) + 1];
    }
    for (size_t j = 1; j < rowStart_.size(); ++j) rowStart_[j] += rowStart_[j - 1];
    sorted_.resize(total);
    for (int share = 0; share < starShares_; ++share)
        for (const Splat& sp : shareSplats_[size_t(share)])
            sorted_[size_t(rowStart_[size_t(int(std::floor(sp.v)) + 1)]++)] = sp;
    // The increments moved every start to the next; shift them back.
    for (size_t j = rowStart_.size() - 1; j > 0; --j) rowStart_[j] = rowStart_[j - 1];
    rowStart_[0] = 0;
}

void StarrySky::drawRows(PixelBuffer& buffer, int r0, int r1) {
    const int W = width_;
    r0 = std::max(r0, 0);
    r1 = std::min(r1, height_);
    if (r1 <= r0 || buffer.width() != W || buffer.height() != height_) return;
    if (!usable_) {
        for (int r = r0; r < r1; ++r) {
            uint32_t* row = buffer.data() + size_t(r) * W;
            for (int c = 0; c < W; ++c)
                if ((row[c] >> 24) == 0) row[c] = background_;
        }
        return;
    }
    float* acc = acc_.data();
    std::fill(acc + size_t(r0) * W * 3, acc + size_t(r1) * W * 3, 0.0f);

    // Splats whose lower row is r0 - 1 .. r1 - 1 reach these rows.
    const int first = rowStart_[size_t(r0)], last = rowStart_[size_t(r1) + 1];
    for (int n = first; n < last; ++n) {
        const Splat& sp = sorted_[size_t(n)];
        const float fu = std::floor(sp.u), fv = std::floor(sp.v);
        const int i = int(fu), j = int(fv);
        const float tx = sp.u - fu, ty = sp.v - fv;
        const float wx[2] = {1.0f - tx, tx}, wy[2] = {1.0f - ty, ty};
        for (int dj = 0; dj < 2; ++dj) {
            const int row = j + dj;
            if (row < r0 || row >= r1) continue;
            for (int di = 0; di < 2; ++di) {
                const int col = i + di;
                if (col < 0 || col >= W) continue;
                const float w = wx[di] * wy[dj];
                float* p = acc + (size_t(row) * W + size_t(col)) * 3;
                for (int ch = 0; ch < 3; ++ch) p[ch] += w * sp.sums[ch];
            }
        }
    }

    // The Milky Way into the same sums: its grid rows around each row interpolated once per
    // grid column, then along the row.
    if (hasBand_) {
        const int step = kMilkyWayGrid;
        for (int r = r0; r < r1; ++r) {
            const float ty = float(r % step) / float(step);
            const float* lo = &band_[size_t(r / step) * size_t(bandW_) * 3];
            const float* hi = lo + size_t(bandW_) * 3;
            const uint8_t* steepLo = &steep_[size_t(r / step) * size_t(bandW_)];
            const uint8_t* steepHi = steepLo + bandW_;
            float* a = acc + size_t(r) * W * 3;
            const float y = rowY(r);
            const Vec4f yvec = frame_->settings.diry * y;
            for (int gi = 0; gi * step < W; ++gi) {
                const int end = std::min(W, (gi + 1) * step);
                if (steepLo[gi] | steepLo[gi + 1] | steepHi[gi] | steepHi[gi + 1]) {
                    // Near the shadow's edge the lensed band changes within a cell: every
                    // pixel of the cell on its own.
                    for (int c = gi * step; c < end; ++c) {
                        float sums[3];
                        bandAt(frame_->x0 + frame_->dx * float(c), y, yvec, sums);
                        for (int ch = 0; ch < 3; ++ch) a[size_t(c) * 3 + size_t(ch)] += sums[ch];
                    }
                    continue;
                }
                float left[3], right[3];
                for (int ch = 0; ch < 3; ++ch) {
                    const size_t k = size_t(gi) * 3 + size_t(ch);
                    left[ch] = lo[k] + ty * (hi[k] - lo[k]);
                    right[ch] = lo[k + 3] + ty * (hi[k + 3] - lo[k + 3]);
                }
                if (left[0] == 0.0f && left[1] == 0.0f && left[2] == 0.0f && right[0] == 0.0f &&
                    right[1] == 0.0f && right[2] == 0.0f)
                    continue;
                for (int c = gi * step; c < end; ++c) {
                    const float tx = float(c - gi * step) / float(step);
                    for (int ch = 0; ch < 3; ++ch)
                        a[size_t(c) * 3 + size_t(ch)] += left[ch] + tx * (right[ch] - left[ch]);
                }
            }
        }
    }

    // Marked pixels: background plus the light, each channel clamped at 255. A three-curve
    // eye's conversion is linear (LightShading::finish: sums times the exposure, truncated), so
    // it is done here in line; the CIE eye's goes through finish.
    uint8_t bg[4];
    PixelBuffer::toBytes(background_, bg[0], bg[1], bg[2], bg[3]);
    const bool linear = eye_.kind != EyeKind::Cie1931;
    const float exposure = eye_.exposure;
    uint32_t* pixels = buffer.data();
    for (int r = r0; r < r1; ++r) {
        uint32_t* row = pixels + size_t(r) * W;
        const float* a = acc + size_t(r) * W * 3;
        for (int c = 0; c < W; ++c) {
            if ((row[c] >> 24) != 0) continue;  // a traced pixel: alpha 255
            const float* s = a + size_t(c) * 3;
            if (s[0] == 0.0f && s[1] == 0.0f && s[2] == 0.0f) {
                row[c] = background_;
                continue;
            }
            uint32_t light[3];
            if (linear) {
                for (int ch = 0; ch < 3; ++ch)  // max first, so NaN becomes 0
                    light[ch] = uint32_t(int(std::min(std::max(s[ch] * exposure, 0.0f), 255.0f)));
            } else {
                const uint32_t px = LightShading::finish(eye_, s, 1.0f, 255.0f);
                for (int ch = 0; ch < 3; ++ch) light[ch] = (px >> (8 * ch)) & 0xffu;
            }
            row[c] = PixelBuffer::fromBytes(uint8_t(std::min(255u, bg[0] + light[0])),
                                            uint8_t(std::min(255u, bg[1] + light[1])),
                                            uint8_t(std::min(255u, bg[2] + light[2])), bg[3]);
        }
    }
}
