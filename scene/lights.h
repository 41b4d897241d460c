// A light of the scene: stored, edited and saved with the scene, not used in shading.
#pragma once

#include <QString>

#include "geometry/vec4f.h"

namespace Reader {
class PropertyList;
}

struct alignas(16) Lights {
    QString name;
    Vec4f pos{0, 0, 0, 0};
    float intensity = 0.5f;

    // "intensity", "pos", "name".
    void getProperties(Reader::PropertyList& list);
};
