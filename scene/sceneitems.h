// How finished items of each kind join the scene, and where the writer finds them: objects and
// lights are appended to their lists, colours and textures are added to their collections under
// their names. Overloads pick the right rule for each item kind.
#pragma once

#include <vector>

#include "scene/colblackbody.h"
#include "scene/coldiscrete.h"
#include "scene/lights.h"
#include "scene/rtobjbase.h"
#include "scene/scenedata.h"
#include "scene/texture.h"
#include "scene/textureimage.h"

namespace Reader {

// Completing an item when its block ends.
inline void completeItem(rtObjBase* object) { object->update(); }
inline void completeItem(TextureImage* texture) { texture->loadImage(); }
inline void completeItem(Texture*) {}
inline void completeItem(ColDiscrete*) {}
inline void completeItem(ColBlackbody* color) { color->regenerate(); }
inline void completeItem(Lights*) {}

void addToScene(SceneData& scene, rtObjBase* object);
void addToScene(SceneData& scene, Lights* light);
void addToScene(SceneData& scene, ColDiscrete* color);
void addToScene(SceneData& scene, Texture* texture);

template <class Base>
const std::vector<Base*>& itemsOf(SceneData& scene);
template <>
inline const std::vector<rtObjBase*>& itemsOf<rtObjBase>(SceneData& scene) {
    return scene.objects.items;
}
template <>
inline const std::vector<Lights*>& itemsOf<Lights>(SceneData& scene) {
    return scene.lights.items;
}
template <>
inline const std::vector<ColDiscrete*>& itemsOf<ColDiscrete>(SceneData& scene) {
    return scene.colors.items;
}
template <>
inline const std::vector<Texture*>& itemsOf<Texture>(SceneData& scene) {
    return scene.textures.items;
}

}  // namespace Reader
