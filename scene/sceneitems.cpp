// Finished items of a scene file join the scene through its own add rules (a loaded "default"
// colour replaces the built-in one, so that saving and loading again gives the same file).
#include "scene/sceneitems.h"

namespace Reader {

void addToScene(SceneData& scene, rtObjBase* object) { scene.addItem(object); }
void addToScene(SceneData& scene, Lights* light) { scene.addItem(light); }
void addToScene(SceneData& scene, ColDiscrete* color) { scene.addItem(color); }
void addToScene(SceneData& scene, Texture* texture) { scene.addItem(texture); }

}  // namespace Reader
