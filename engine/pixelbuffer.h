// The picture an engine renders into: 32-bit pixels with the bytes R, G, B, A in memory order
// (ready for glDrawPixels with GL_RGBA / GL_UNSIGNED_BYTE), row 0 at the bottom, supersampled
// by the antialiasing factor until it is reduced with a box filter.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

// What a reduction needs from a progress dialog; the screenshot dialog adapts its
// QProgressDialog to it so that this layer needs no widgets.
class DownsampleProgress {
public:
    virtual ~DownsampleProgress();
    // Handle pending GUI events once (so that the cancel button can be pressed).
    virtual void processEvents() = 0;
    virtual bool wasCanceled() const = 0;
    // Percentage done, 0 to 100.
    virtual void setValue(int percent) = 0;
};

class PixelBuffer {
public:
    // Value of new pixels: opaque black (bytes 0, 0, 0, 255).
    static constexpr uint32_t kFill = 0xff000000u;
    // Largest number of pixels (samples included) a buffer may hold: 2^29 words, 2 GiB.
    static constexpr int64_t kMaxPixels = int64_t(1) << 29;

    PixelBuffer() = default;

    // Samples per side for an antialiasing level (1, 4, 8, 16 -> 1, 2, 3, 4); 0 if unsupported.
    static int factorForLevel(int level);

    // Prepares the buffer for a final picture of w x h pixels at the antialiasing level; the
    // buffer then holds k w x k h pixels. Existing elements are kept, new ones are kFill. The
    // same size at level 1 keeps everything (a view's previous frame stays until overwritten).
    // An unsupported level prints "rendering antialiasingstage not supported"; it, a negative
    // size, and a size that cannot be allocated return false and leave the buffer unchanged.
    bool setSize(int w, int h, int level);

    // Box-filter reduction of a supersampled picture to its final size: each byte of a final
    // pixel is the truncated mean of its k x k samples. A non-multiple size or an unsupported
    // level is a programming error. With progress given, a cancel returns false and keeps the
    // supersampled buffer; so does a reduced picture that cannot be allocated (without a cancel
    // that is the reason).
    bool downsample(int level, DownsampleProgress* progress = nullptr);

    // The picture as an image, top row first (buffer row H - 1 is image row 0); a null image
    // when it cannot be allocated.
    QImage toImage() const;
    // Writes the picture atomically (SafeFile::writeImage); the file type follows the name's
    // suffix. False with the reason in *error if it cannot be written.
    bool save(const QString& fileName, QString* error = nullptr) const;

    // Nearest-pixel stretch of a W x H picture to w x h, row 0 at the bottom as in the buffer:
    // a target column tx takes the first source column sc with tx <= sc * w / W, and a target
    // row takes the source row chosen with the previous target row. out becomes w x h pixels
    // (empty if any size is not positive). The view's drawScaled hands out to glDrawPixels.
    static void scaleNearest(const uint32_t* src, int W, int H, int w, int h,
                             std::vector<uint32_t>& out);

    // Samples per side of the level the buffer was last sized for (1 after a reduction): point
    // sources drawn onto samples spread over a pixel's k x k of them.
    int samplesPerSide() const { return k_; }
    int width() const { return W_; }
    int height() const { return H_; }
    uint32_t* data() { return pixels_.data(); }
    const uint32_t* data() const { return pixels_.data(); }
    size_t pixelCount() const { return pixels_.size(); }
    // Pixel at column c, row r (row 0 at the bottom).
    uint32_t pixel(int c, int r) const { return pixels_[static_cast<size_t>(r) * W_ + c]; }
    void setPixel(int c, int r, uint32_t value) {
        pixels_[static_cast<size_t>(r) * W_ + c] = value;
    }

    // A pixel word from its bytes, independent of the machine's byte order.
    static uint32_t fromBytes(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
    static void toBytes(uint32_t pixel, uint8_t& r, uint8_t& g, uint8_t& b, uint8_t& a);

private:
    std::vector<uint32_t> pixels_;
    int W_ = -1;
    int k_ = 1;
    int H_ = -1;
};
