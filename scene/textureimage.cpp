// Image texture: loading the image, and colouring by the image channels that weight the summed
// responses of three colours.
#include "scene/textureimage.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <cstdio>

#include "base/programmingerror.h"
#include "scene/colorcol.h"
#include "scene/dataelem.h"
#include "scene/rendersettings.h"
#include "scene/texturelanes.h"

namespace {

// Clamped to [0, 255] and truncated, as the one-ray colour conversion does (NaN gives 0).
inline uint32_t channelByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value > 255.0f) value = 255.0f;
    return static_cast<uint32_t>(value);
}

// x = c when c > 0, else 0; then the largest index when not below it. NaN gives 0.
inline float clampCoordinate(float c, float largest) {
    const float x = c > 0.0f ? c : 0.0f;
    return x < largest ? x : largest;
}

}  // namespace

TextureImage::TextureImage(const TextureImage& other) : Texture() { copyFrom(other); }

TextureImage& TextureImage::operator=(const TextureImage& other) {
    if (this != &other) copyFrom(other);
    return *this;
}

QString TextureImage::imagePath() const {
    if (folder.isEmpty() || imageFileName.isEmpty() || QFileInfo(imageFileName).isAbsolute())
        return imageFileName;
    return QDir(folder).filePath(imageFileName);
}

bool TextureImage::loadImage() {
    tried = true;
    const QString path = imagePath();
    triedFileName = path;
    QImage loaded;
    // Regular files only: a FIFO or a device named by a scene file would block the load forever
    // (or never end), and neither is a picture.
    if (QFileInfo(path).isFile()) {
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        loaded = reader.read();
    }
    if (loaded.isNull() || loaded.width() <= 0 || loaded.height() <= 0) {
        std::fputs("Failed opening Image File\n", stdout);
        std::fflush(stdout);
        image = QImage();
        largestX = largestY = 0.0f;
        pixelsPerRow = 0;
        pixels = nullptr;
        return false;
    }
    if (loaded.format() != QImage::Format_ARGB32)
        loaded = loaded.convertToFormat(QImage::Format_ARGB32);
    image = loaded;
    largestX = static_cast<float>(image.width() - 1);
    largestY = static_cast<float>(image.height() - 1);
    pixelsPerRow = static_cast<int32_t>(image.bytesPerLine() / 4);
    // Const access keeps the data shared and never detaches: the pointer stays valid as long as
    // the image.
    pixels = reinterpret_cast<const uint32_t*>(image.constBits());
    return true;
}

uint32_t TextureImage::imageWord(float u, float v) const {
    const float x = clampCoordinate(u, largestX);
    const float y = clampCoordinate(v, largestY);
    return pixels[static_cast<int32_t>(x) + static_cast<int32_t>(y) * pixelsPerRow];
}

uint32_t TextureImage::weighted(const Eye& eye, float doppler, float wr, float wg, float wb) const {
    float sums[3] = {0.0f, 0.0f, 0.0f};
    colorR->accumulate(eye, &doppler, sums);
    colorG->accumulate(eye, &doppler, sums);
    colorB->accumulate(eye, &doppler, sums);
    return channelByte(sums[0] * wr) | channelByte(sums[1] * wg) << 8 |
           channelByte(sums[2] * wb) << 16 | 0xff000000u;
}

uint32_t TextureImage::pixelFor(const Eye& eye, float doppler, uint32_t p, float shade) const {
    const float wr = static_cast<float>((p >> 16) & 0xffu) * shade;
    const float wg = static_cast<float>((p >> 8) & 0xffu) * shade;
    const float wb = static_cast<float>(p & 0xffu) * shade;
    return weighted(eye, doppler, wr, wg, wb);
}

void TextureImage::shade1(SingleRay& ray, float shade) const {
    const Eye& eye = ray.settings->eye;
    *ray.out = pixels ? pixelFor(eye, ray.doppler, imageWord(ray.u, ray.v), shade)
                      : weighted(eye, ray.doppler, shade, shade, shade);
}

void TextureImage::shadeGroup(const Eye& eye, const Vec4f& u, const Vec4f& v, const Vec4f& doppler,
                              const Vec4f& shade, int maskBits, uint32_t* const targets[4]) const {
    if (!maskBits) return;
    if (!pixels) {
        for (int l = 0; l < 4; ++l)
            if (maskBits >> l & 1)
                *targets[l] = weighted(eye, doppler[l], shade[l], shade[l], shade[l]);
        return;
    }
    // The same clamp as the one-ray form, four lanes at a time: NaN and negatives give 0.
    const Vec4f zero(0.0f), lx(largestX), ly(largestY);
    Vec4f x = select(u > zero, u, zero);
    x = select(x < lx, x, lx);
    Vec4f y = select(v > zero, v, zero);
    y = select(y < ly, y, ly);
    const Vec4i index = Vec4i::truncate(x) + Vec4i::truncate(y) * Vec4i(pixelsPerRow);
    alignas(16) int32_t lanes[4];
    index.store(lanes);
    for (int l = 0; l < 4; ++l)
        if (maskBits >> l & 1) *targets[l] = pixelFor(eye, doppler[l], pixels[lanes[l]], shade[l]);
}

void TextureImage::shade4(RayBundle4& bundle, LaneMask4 mask, const Vec4f& shade) const {
    uint32_t* targets[4];
    quadPixels(bundle, targets);
    shadeGroup(bundle.settings->eye, bundle.u, bundle.v, bundle.doppler, shade, movemask(mask),
               targets);
}

void TextureImage::shade16(RayBundle16& bundle, const LaneMask4 mask[4],
                           const Vec4f shade[4]) const {
    const Eye& eye = bundle.settings->eye;
    for (int g = 0; g < 4; ++g) {
        uint32_t* const row = bundle.out[g];
        uint32_t* const targets[4] = {row, row + 1, row + 2, row + 3};
        shadeGroup(eye, bundle.u[g], bundle.v[g], bundle.doppler[g], shade[g], movemask(mask[g]),
                   targets);
    }
}

void TextureImage::resolveColors(ColorCol& colors) {
    colorR = colors.get(colorNameR);
    colorG = colors.get(colorNameG);
    colorB = colors.get(colorNameB);
    if (!tried || triedFileName != imagePath()) loadImage();
}

void TextureImage::getProperties(Reader::PropertyList& list) {
    list.addString("texname", texname);
    list.addString("colr", colorNameR);
    list.addString("colg", colorNameG);
    list.addString("colb", colorNameB);
    list.addString("imagefilename", imageFileName);
}

Texture* TextureImage::clone() const { return new TextureImage(*this); }

void TextureImage::copyFrom(const Texture& other) {
    const auto* source = dynamic_cast<const TextureImage*>(&other);
    if (!source) programmingError("TextureImage::copyFrom needs a TextureImage");
    if (source == this) return;
    texname = source->texname;
    colorNameR = source->colorNameR;
    colorNameG = source->colorNameG;
    colorNameB = source->colorNameB;
    colorR = source->colorR;
    colorG = source->colorG;
    colorB = source->colorB;
    image = source->image;
    imageFileName = source->imageFileName;
    folder = source->folder;
    largestX = source->largestX;
    largestY = source->largestY;
    pixelsPerRow = source->pixelsPerRow;
    pixels = source->pixels ? reinterpret_cast<const uint32_t*>(image.constBits()) : nullptr;
    triedFileName = source->triedFileName;
    tried = source->tried;
}
