// Where the lanes of the ray bundles write their pixels, shared by the textures' bundle forms.
#pragma once

#include <cstdint>

#include "geometry/raybundle.h"

// Lane 0 row 0 column 0, lane 1 row 0 column 1, lane 2 row 1 column 0, lane 3 row 1 column 1.
inline void quadPixels(const RayBundle4& bundle, uint32_t* pixels[4]) {
    pixels[0] = bundle.out[0];
    pixels[1] = bundle.out[0] + 1;
    pixels[2] = bundle.out[1];
    pixels[3] = bundle.out[1] + 1;
}
