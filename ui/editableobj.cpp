// Copies of scene items for the edit dock, and the preparation an edited item needs before the
// scene takes it.
#include "ui/editableobj.h"

#include "scene/coldiscrete.h"
#include "scene/rtobjbase.h"
#include "scene/texture.h"

namespace EditableItems {

ColDiscrete* copyItem(const ColDiscrete& item) { return new ColDiscrete(item); }
Texture* copyItem(const Texture& item) { return item.clone(); }
rtObjBase* copyItem(const rtObjBase& item) { return item.clone(); }

void prepareForScene(ColDiscrete&) {}
void prepareForScene(Texture&) {}
// An addition enters the scene as it is, without the copyFrom that updates a changed object.
void prepareForScene(rtObjBase& item) { item.update(); }

}  // namespace EditableItems
