// A texture that mixes three spectral colours by the channels of an image: the image's red value
// scales the red response of the three colours together, its green the green response and its
// blue the blue response.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

#include "scene/texture.h"

class ColDiscrete;
struct Eye;

class TextureImage : public Texture {
public:
    QString colorNameR;             // property "colr"
    QString colorNameG;             // property "colg"
    QString colorNameB;             // property "colb"
    ColDiscrete* colorR = nullptr;  // resolved names, owned by the ColorCol
    ColDiscrete* colorG = nullptr;
    ColDiscrete* colorB = nullptr;
    QImage image;                      // Format_ARGB32 (0xAARRGGBB words) once loaded
    QString imageFileName;             // property "imagefilename"
    // Where a relative imageFileName is found: the folder of the scene file (set by the scene
    // before every resolve); empty means the working directory.
    QString folder;
    float largestX = 0.0f;             // image width - 1
    float largestY = 0.0f;             // image height - 1
    int32_t pixelsPerRow = 0;          // bytes per line / 4
    const uint32_t* pixels = nullptr;  // first pixel of image; null while no image is loaded

    TextureImage() = default;
    TextureImage(const TextureImage& other);
    TextureImage& operator=(const TextureImage& other);

    // imageFileName as a path to open: relative names are taken from folder when one is set.
    QString imagePath() const;
    // Reads imagePath() (format decided by the file's content) and converts it to 32-bit
    // 0xAARRGGBB pixels. On failure writes "Failed opening Image File" to standard output (a
    // message for the user, written even when trace lines are off) and leaves the texture without
    // an image. Returns whether an image is loaded. Between frames only.
    bool loadImage();
    bool hasImage() const { return pixels != nullptr; }

    // Without an image every channel weight is the shading factor alone (as if each image channel
    // were 1): the texture shows the three colours added, so a missing file is visible but no
    // pixel is read.
    void shade1(SingleRay& ray, float shade) const override;
    // u, v clamped per lane to [0, largest]; factors used as given (no absolute value); each
    // masked lane gets exactly the pixel of the one-ray form.
    void shade4(RayBundle4& bundle, LaneMask4 mask, const Vec4f& shade) const override;
    void shade16(RayBundle16& bundle, const LaneMask4 mask[4], const Vec4f shade[4]) const override;

    // Resolves the three colour names. Also loads the image when imagePath() was never tried:
    // image textures made or renamed in the edit dock get their image at the resolve that follows
    // every applied edit, without a second attempt at a file that already failed.
    void resolveColors(ColorCol& colors) override;
    // "texname", "colr", "colg", "colb", "imagefilename".
    void getProperties(Reader::PropertyList& list) override;
    Texture* clone() const override;
    // Takes over every field of other (a TextureImage), names and image included (the image data
    // is shared, read-only); see TextureSingle.
    void copyFrom(const Texture& other) override;

    // The one-ray colouring of image word p (0xAARRGGBB) for one Doppler factor and shading factor.
    uint32_t pixelFor(const Eye& eye, float doppler, uint32_t p, float shade) const;
    // The image word at surface point (u, v), clamped to the image. Needs hasImage().
    uint32_t imageWord(float u, float v) const;

private:
    // Colours four lanes of one group: lane l writes *targets[l] when bit l of maskBits is set.
    void shadeGroup(const Eye& eye, const Vec4f& u, const Vec4f& v, const Vec4f& doppler,
                    const Vec4f& shade, int maskBits, uint32_t* const targets[4]) const;
    uint32_t weighted(const Eye& eye, float doppler, float wr, float wg, float wb) const;

    QString triedFileName;  // the path loadImage last tried
    bool tried = false;     // loadImage has run at least once
};
