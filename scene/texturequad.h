// A checkerboard of two spectral colours over the surface coordinates: cell (i, j) of the unit
// grid shows colour a when i + j is even and colour b when it is odd.
#pragma once

#include <QString>

#include "scene/texture.h"

class ColDiscrete;

class TextureQuad : public Texture {
public:
    QString colorNameA;             // property "colora"
    QString colorNameB;             // property "colorb"
    ColDiscrete* colorA = nullptr;  // resolved names, owned by the ColorCol
    ColDiscrete* colorB = nullptr;

    // k = |trunc(u) + trunc(v)| mod 2 (truncation toward zero, so the cells next to both axes
    // are twice as wide); 1 selects colour b. Coordinates beyond the 32-bit range truncate to
    // INT_MIN, as the SSE conversion does.
    static int cell(float u, float v);
    // Lanes whose cell is 1 (colour b).
    static LaneMask4 oddCells(const Vec4f& u, const Vec4f& v);

    void shade1(SingleRay& ray, float shade) const override;
    // Absolute shading factors, as TextureSingle.
    void shade4(RayBundle4& bundle, LaneMask4 mask, const Vec4f& shade) const override;
    void shade16(RayBundle16& bundle, const LaneMask4 mask[4], const Vec4f shade[4]) const override;

    void resolveColors(ColorCol& colors) override;
    // "texname", "colora", "colorb".
    void getProperties(Reader::PropertyList& list) override;
    Texture* clone() const override;
    // Takes over every field of other (a TextureQuad), names included; see TextureSingle.
    void copyFrom(const Texture& other) override;
};
