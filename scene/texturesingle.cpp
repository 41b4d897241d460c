// One-colour texture: the colour conversion with the ray's Doppler factor and shading factor.
#include "scene/texturesingle.h"

#include "base/programmingerror.h"
#include "scene/colorcol.h"
#include "scene/dataelem.h"
#include "scene/rendersettings.h"
#include "scene/texturelanes.h"

void TextureSingle::shade1(SingleRay& ray, float shade) const {
    color->toPixel(ray.settings->eye, ray.out, &ray.doppler, &shade);
}

void TextureSingle::shade4(RayBundle4& bundle, LaneMask4 mask, const Vec4f& shade) const {
    uint32_t* pixels[4];
    quadPixels(bundle, pixels);
    color->toPixel4(bundle.settings->eye, bundle.doppler, abs(shade), mask, pixels);
}

void TextureSingle::shade16(RayBundle16& bundle, const LaneMask4 mask[4],
                            const Vec4f shade[4]) const {
    color->toPixel16(bundle.settings->eye, bundle.doppler, shade, mask, bundle.out);
}

void TextureSingle::resolveColors(ColorCol& colors) { color = colors.get(colorName); }

void TextureSingle::getProperties(Reader::PropertyList& list) {
    list.addString("texname", texname);
    list.addString("color", colorName);
}

Texture* TextureSingle::clone() const {
    auto* copy = new TextureSingle;
    copy->copyFrom(*this);
    return copy;
}

void TextureSingle::copyFrom(const Texture& other) {
    const auto* source = dynamic_cast<const TextureSingle*>(&other);
    if (!source) programmingError("TextureSingle::copyFrom needs a TextureSingle");
    texname = source->texname;
    colorName = source->colorName;
    color = source->color;
}
