// Copies of scene items for the edit dock, and the preparation an edited item needs before the
// scene takes it.
#include "ui/editableobj.h"

#include "scene/colblackbody.h"
#include "scene/coldiscrete.h"
#include "scene/rtobjbase.h"
#include "scene/texture.h"

namespace EditableItems {

// Through clone, so that a blackbody colour stays one.
ColDiscrete* copyItem(const ColDiscrete& item) { return item.clone(); }
Texture* copyItem(const Texture& item) { return item.clone(); }
rtObjBase* copyItem(const rtObjBase& item) { return item.clone(); }

// A blackbody's lines follow its edited temperature and luminance.
void prepareForScene(ColDiscrete& item) {
    if (auto* body = dynamic_cast<ColBlackbody*>(&item)) body->regenerate();
}
void prepareForScene(Texture&) {}
// An addition enters the scene as it is, without the copyFrom that updates a changed object.
void prepareForScene(rtObjBase& item) { item.update(); }

}  // namespace EditableItems
