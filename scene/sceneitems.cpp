// Finished items of a scene file join the scene.
#include "scene/sceneitems.h"

namespace Reader {

void addToScene(SceneData& scene, rtObjBase* object) { scene.objects.items.push_back(object); }

void addToScene(SceneData& scene, Lights* light) { scene.lights.items.push_back(light); }

// Every saved file contains the collection's built-in colour "default" (it is the first colour
// and written like any other). The first "default" a file brings replaces the built-in one in
// place instead of being added behind it, so that loading and saving a file again gives the
// same file, and a "default" edited by the user survives a save and load.
void addToScene(SceneData& scene, ColDiscrete* color) {
    if (color->name == QLatin1String("default") && !scene.defaultColorLoaded &&
        !scene.colors.items.empty()) {
        *scene.colors.items.front() = *color;
        scene.colors.itemsChanged();
        scene.defaultColorLoaded = true;
        delete color;
        return;
    }
    scene.colors.add(color, color->name);
}

void addToScene(SceneData& scene, Texture* texture) { scene.textures.add(texture, texture->texname); }

}  // namespace Reader
