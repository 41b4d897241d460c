// Checkerboard texture: the cell parity of (u, v) chooses between two colours, four lanes at once
// in the bundle forms.
#include "scene/texturequad.h"

#include <cstdint>

#include "base/programmingerror.h"
#include "scene/colorcol.h"
#include "scene/dataelem.h"
#include "scene/rendersettings.h"
#include "scene/texturelanes.h"

// The parity of the sum is the low bit of its two's-complement value, so |s| mod 2 needs no
// absolute value; the sum wraps like the SSE addition instead of overflowing.
int TextureQuad::cell(float u, float v) {
    const uint32_t iu = static_cast<uint32_t>(truncateScalar(u));
    const uint32_t iv = static_cast<uint32_t>(truncateScalar(v));
    return static_cast<int>((iu + iv) & 1u);
}

LaneMask4 TextureQuad::oddCells(const Vec4f& u, const Vec4f& v) {
    const Vec4i one(1);
    return ((Vec4i::truncate(u) + Vec4i::truncate(v)) & one) == one;
}

void TextureQuad::shade1(SingleRay& ray, float shade) const {
    const ColDiscrete* c = cell(ray.u, ray.v) ? colorB : colorA;
    c->toPixel(ray.settings->eye, ray.out, &ray.doppler, &shade);
}

void TextureQuad::shade4(RayBundle4& bundle, LaneMask4 mask, const Vec4f& shade) const {
    uint32_t* pixels[4];
    quadPixels(bundle, pixels);
    const LaneMask4 odd = oddCells(bundle.u, bundle.v);
    const LaneMask4 maskA = andNot(mask, odd), maskB = mask & odd;
    const Vec4f f = abs(shade);
    const Eye& eye = bundle.settings->eye;
    if (any(maskA)) colorA->toPixel4(eye, bundle.doppler, f, maskA, pixels);
    if (any(maskB)) colorB->toPixel4(eye, bundle.doppler, f, maskB, pixels);
}

void TextureQuad::shade16(RayBundle16& bundle, const LaneMask4 mask[4],
                          const Vec4f shade[4]) const {
    LaneMask4 maskA[4], maskB[4];
    LaneMask4 anyA(false), anyB(false);
    for (int g = 0; g < 4; ++g) {
        const LaneMask4 odd = oddCells(bundle.u[g], bundle.v[g]);
        maskA[g] = andNot(mask[g], odd);
        maskB[g] = mask[g] & odd;
        anyA |= maskA[g];
        anyB |= maskB[g];
    }
    const Eye& eye = bundle.settings->eye;
    if (any(anyA)) colorA->toPixel16(eye, bundle.doppler, shade, maskA, bundle.out);
    if (any(anyB)) colorB->toPixel16(eye, bundle.doppler, shade, maskB, bundle.out);
}

void TextureQuad::resolveColors(ColorCol& colors) {
    colorA = colors.get(colorNameA);
    colorB = colors.get(colorNameB);
}

void TextureQuad::getProperties(Reader::PropertyList& list) {
    list.addString("texname", texname);
    list.addString("colora", colorNameA);
    list.addString("colorb", colorNameB);
}

Texture* TextureQuad::clone() const {
    auto* copy = new TextureQuad;
    copy->copyFrom(*this);
    return copy;
}

void TextureQuad::copyFrom(const Texture& other) {
    const auto* source = dynamic_cast<const TextureQuad*>(&other);
    if (!source) programmingError("TextureQuad::copyFrom needs a TextureQuad");
    texname = source->texname;
    colorNameA = source->colorNameA;
    colorNameB = source->colorNameB;
    colorA = source->colorA;
    colorB = source->colorB;
}
