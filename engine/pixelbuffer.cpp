// Pixel buffer sizing, box-filter reduction, nearest-pixel stretching and image output.
#include "engine/pixelbuffer.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "engine/safefile.h"
#include "base/programmingerror.h"

namespace {
const char* const kUnsupportedLevel = "rendering antialiasingstage not supported";
}

DownsampleProgress::~DownsampleProgress() = default;

int PixelBuffer::factorForLevel(int level) {
    switch (level) {
        case 1:
            return 1;
        case 4:
            return 2;
        case 8:
            return 3;
        case 16:
            return 4;
        default:
            return 0;
    }
}

uint32_t PixelBuffer::fromBytes(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    const uint8_t bytes[4] = {r, g, b, a};
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

void PixelBuffer::toBytes(uint32_t pixel, uint8_t& r, uint8_t& g, uint8_t& b, uint8_t& a) {
    uint8_t bytes[4];
    std::memcpy(bytes, &pixel, 4);
    r = bytes[0];
    g = bytes[1];
    b = bytes[2];
    a = bytes[3];
}

bool PixelBuffer::setSize(int w, int h, int level) {
    if (w == W_ && h == H_ && level == 1) {
        k_ = 1;
        return true;
    }
    const int k = factorForLevel(level);
    if (k == 0) {
        // A message for whoever asked for the level, not a trace line: written whatever the
        // trace switch says.
        std::puts(kUnsupportedLevel);
        std::fflush(stdout);
        return false;
    }
    if (w < 0 || h < 0) return false;
    const int64_t count = int64_t(w) * h * k * k;
    if (count > kMaxPixels) return false;
    try {
        pixels_.resize(static_cast<size_t>(count), kFill);
    } catch (const std::bad_alloc&) {
        return false;
    }
    W_ = w * k;
    H_ = h * k;
    k_ = k;
    return true;
}

bool PixelBuffer::downsample(int level, DownsampleProgress* progress) {
    if (level == 1) return true;
    const int k = factorForLevel(level);
    if (k == 0 || W_ % k != 0 || H_ % k != 0) programmingError(kUnsupportedLevel);

    const int outW = W_ / k;
    const int outH = H_ / k;
    std::vector<uint32_t> reduced;
    try {
        reduced.assign(static_cast<size_t>(outW) * outH, kFill);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pixels_.data());
    const unsigned samples = static_cast<unsigned>(k * k);

    for (int x = 0; x < W_; x += k) {
        if (progress && x % 4 == 0) {
            progress->processEvents();
            if (progress->wasCanceled()) return false;
            progress->setValue(100 * x / W_);
        }
        for (int y = 0; y < H_; y += k) {
            // Integer sums per byte, one truncating division per channel and block.
            unsigned sum[4] = {0, 0, 0, 0};
            for (int j = 0; j < k; ++j) {
                const uint8_t* row = bytes + (static_cast<size_t>(y + j) * W_ + x) * 4;
                for (int i = 0; i < k; ++i)
                    for (int ch = 0; ch < 4; ++ch) sum[ch] += row[i * 4 + ch];
            }
            reduced[static_cast<size_t>(y / k) * outW + x / k] = fromBytes(
                static_cast<uint8_t>(sum[0] / samples), static_cast<uint8_t>(sum[1] / samples),
                static_cast<uint8_t>(sum[2] / samples), static_cast<uint8_t>(sum[3] / samples));
        }
    }
    pixels_.swap(reduced);
    W_ = outW;
    H_ = outH;
    k_ = 1;
    return true;
}

QImage PixelBuffer::toImage() const {
    if (W_ <= 0 || H_ <= 0) return QImage();
    QImage image(W_, H_, QImage::Format_RGB32);
    if (image.isNull()) return image;
    for (int y = 0; y < H_; ++y) {
        // The buffer's row 0 is the bottom row; the image's row 0 is the top.
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(H_ - 1 - y));
        for (int x = 0; x < W_; ++x) {
            uint8_t r, g, b, a;
            toBytes(pixel(x, y), r, g, b, a);
            line[x] = 0xff000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
        }
    }
    return image;
}

bool PixelBuffer::save(const QString& fileName, QString* error) const {
    if (W_ <= 0 || H_ <= 0) {
        if (error) *error = QStringLiteral("Could not write %1: nothing was rendered").arg(fileName);
        return false;
    }
    // A null image from toImage() here means its allocation failed; writeImage says so.
    return SafeFile::writeImage(fileName, toImage(), error);
}

void PixelBuffer::scaleNearest(const uint32_t* src, int W, int H, int w, int h,
                               std::vector<uint32_t>& out) {
    out.clear();
    if (W <= 0 || H <= 0 || w <= 0 || h <= 0) return;
    out.assign(static_cast<size_t>(w) * h, kFill);
    const float fx = static_cast<float>(w) / static_cast<float>(W);
    const float fy = static_cast<float>(h) / static_cast<float>(H);
    int sr = 0;
    for (int ty = 0; ty < h; ++ty) {
        int sc = 0;
        uint32_t* target = out.data() + static_cast<size_t>(ty) * w;
        const uint32_t* source = src + static_cast<size_t>(sr) * W;
        for (int tx = 0; tx < w; ++tx) {
            while (tx > static_cast<double>(sc) * fx && sc + 1 < W) ++sc;
            target[tx] = source[sc];
        }
        // The row for the next target row is chosen with this one's index.
        while (ty > static_cast<double>(sr) * fy && sr + 1 < H) ++sr;
    }
}
