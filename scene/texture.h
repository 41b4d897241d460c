// A texture decides which spectral colour a surface point has and writes the pixel of the ray
// that hit it. Objects leave the surface coordinates u, v in the ray record and pass a shading
// factor (the cosine between ray and surface normal, as each object computes it).
#pragma once

#include <QString>

#include "geometry/raybundle.h"

class ColorCol;
namespace Reader {
class PropertyList;
}

class Texture {
public:
    QString texname;

    virtual ~Texture();

    // Colouring: reads the eye through ray.settings, the Doppler factor(s) and u, v of the
    // record, and writes the output pixel(s) of the ray or of the masked lanes. Re-entrant.
    virtual void shade1(SingleRay& ray, float shade) const = 0;
    virtual void shade4(RayBundle4& bundle, LaneMask4 mask, const Vec4f& shade) const = 0;
    virtual void shade16(RayBundle16& bundle, const LaneMask4 mask[4],
                         const Vec4f shade[4]) const = 0;

    // Looks the colour names up; a name that is not found gives the collection's default colour.
    virtual void resolveColors(ColorCol& colors) = 0;
    virtual void getProperties(Reader::PropertyList& list) = 0;
    virtual Texture* clone() const = 0;
    virtual void copyFrom(const Texture& other) = 0;
};
