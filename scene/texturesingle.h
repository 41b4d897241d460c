// A texture of one spectral colour: every hit point shows that colour, shaded.
#pragma once

#include <QString>

#include "scene/texture.h"

class ColDiscrete;

class TextureSingle : public Texture {
public:
    QString colorName;             // property "color"
    ColDiscrete* color = nullptr;  // resolved colorName, owned by the ColorCol

    void shade1(SingleRay& ray, float shade) const override;
    // Takes the absolute value of the shading factors: the plane's 4-ray path passes them signed.
    void shade4(RayBundle4& bundle, LaneMask4 mask, const Vec4f& shade) const override;
    // Factors as given; a negative one gives a black channel.
    void shade16(RayBundle16& bundle, const LaneMask4 mask[4], const Vec4f shade[4]) const override;

    void resolveColors(ColorCol& colors) override;
    // "texname", "color".
    void getProperties(Reader::PropertyList& list) override;
    Texture* clone() const override;
    // Takes over every field of other (a TextureSingle), the name and the colour name included:
    // the edit dock applies an edit, a rename or another colour through this call, and the
    // following resolve looks the new colour name up. Another class is a programming error.
    void copyFrom(const Texture& other) override;
};
