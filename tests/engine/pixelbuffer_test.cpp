// Pixel buffer: sizing, box-filter reduction against a brute-force mean, nearest-pixel
// stretching, saved pictures' orientation (failures: the command line's tests).
#include "engine/pixelbuffer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <random>

namespace {

uint32_t rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {  // bytes in memory order
    const uint8_t bytes[4] = {r, g, b, a};
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

}  // namespace

TEST(PixelBuffer, ResizeKeepsOldElementsFillsNewOnesAndRefusesImpossibleSizes) {
    PixelBuffer buf;
    ASSERT_TRUE(buf.setSize(2, 2, 1));
    for (int i = 0; i < 4; ++i) buf.data()[i] = rgba(i, 1, 2, 3);
    ASSERT_TRUE(buf.setSize(3, 2, 1));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(buf.data()[i], rgba(i, 1, 2, 3));
    EXPECT_EQ(buf.data()[5], PixelBuffer::kFill);
    ASSERT_TRUE(buf.setSize(1, 4, 1));  // a view resized in one direction only
    EXPECT_EQ(buf.pixel(0, 0), rgba(0, 1, 2, 3));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(buf.setSize(4, 3, 2));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "rendering antialiasingstage not supported\n");
    EXPECT_FALSE(buf.setSize(100000, 100000, 16));  // more than 32-bit sizes count
    EXPECT_FALSE(buf.setSize(-5, 3, 1));
    EXPECT_EQ(buf.width(), 1);
    EXPECT_EQ(buf.pixelCount(), 4u);
}

TEST(PixelBuffer, DownsampleMatchesBruteForceMeanOnRandomPictures) {
    std::mt19937 rng(20240611);
    for (const auto& [level, k] : {std::pair{4, 2}, std::pair{8, 3}, std::pair{16, 4}}) {
        const int w = 7, h = 5;
        PixelBuffer buf;
        ASSERT_TRUE(buf.setSize(w, h, level));  // k x k samples per pixel
        ASSERT_EQ(buf.width(), w * k);
        for (size_t i = 0; i < buf.pixelCount(); ++i) buf.data()[i] = rng();
        const std::vector<uint32_t> before(buf.data(), buf.data() + buf.pixelCount());
        const auto* src = reinterpret_cast<const unsigned char*>(before.data());
        ASSERT_TRUE(buf.downsample(level));
        ASSERT_EQ(buf.height(), h);
        const auto* got = reinterpret_cast<const unsigned char*>(buf.data());
        for (int at = 0; at < w * h * 4; ++at) {
            const int r = at / 4 / w, c = at / 4 % w, ch = at % 4;
            int sum = 0;
            for (int j = 0; j < k; ++j)
                for (int i = 0; i < k; ++i) sum += src[((r * k + j) * w * k + c * k + i) * 4 + ch];
            ASSERT_EQ(got[at], sum / (k * k)) << "level " << level << " byte " << at;
        }
    }
}

TEST(PixelBuffer, SavedPictureHasTheTopRowFirstAndIgnoresAlpha) {
    QTemporaryDir dir;
    PixelBuffer buf;
    ASSERT_TRUE(buf.setSize(3, 2, 1));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            buf.setPixel(c, r, rgba(10 * c + 1, 100 + r, 7 * c + 3 * r, 17));
    ASSERT_TRUE(buf.save(dir.filePath("shot.png")));
    QImage loaded(dir.filePath("shot.png"));
    ASSERT_EQ(loaded.size(), QSize(3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)  // image row 0 is the buffer's top row (H - 1)
            EXPECT_EQ(loaded.pixel(x, y), qRgba(10 * x + 1, 101 - y, 7 * x + 3 - 3 * y, 255));
    QString error;
    EXPECT_FALSE(PixelBuffer().save(dir.filePath("empty.png"), &error));
    EXPECT_TRUE(error.contains("nothing was rendered")) << error.toStdString();
}

TEST(PixelBuffer, ScaleNearestPicksColumnsByTargetAndRowsByPreviousRow) {
    // Source 2 x 2: a b in row 0 (the bottom), c d above. Enlarged to 4 x 4: columns 0, 1, 1, 1;
    // rows 0 and 1 use source row 0 (row 1's is chosen with ty = 0), rows 2, 3 row 1.
    const uint32_t a = 1, b = 2, c = 3, d = 4;
    const uint32_t src[] = {a, b, c, d};
    std::vector<uint32_t> out;
    PixelBuffer::scaleNearest(src, 2, 2, 4, 4, out);
    EXPECT_EQ(out, (std::vector<uint32_t>{a, b, b, b, a, b, b, b, c, d, d, d, c, d, d, d}));
    // Shrunk to 2 x 2: tx 1 walks past 0 and 0.5 to column 2; both rows use source row 0.
    std::vector<uint32_t> big(16);
    for (int i = 0; i < 16; ++i) big[i] = 100 + i;
    PixelBuffer::scaleNearest(big.data(), 4, 4, 2, 2, out);
    EXPECT_EQ(out, (std::vector<uint32_t>{100, 102, 100, 102}));
    // Any size that is not positive, of the source or of the target, leaves nothing.
    const int sizes[][4] = {{-1, 2, 3, 4}, {0, 2, 3, 4}, {2, 0, 3, 4}, {2, 2, 0, 4}, {2, 2, 3, -4}};
    for (const auto& z : sizes) {
        out.assign(5, a);
        PixelBuffer::scaleNearest(src, z[0], z[1], z[2], z[3], out);
        EXPECT_TRUE(out.empty()) << z[0] << " " << z[1] << " " << z[2] << " " << z[3];
    }
}
