// Copies of scene items for the edit dock, and the preparation an edited item needs before the
// scene takes it.
#include "ui/editableobj.h"

#include "scene/colblackbody.h"
#include "scene/coldiscrete.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjdisk.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/texture.h"
#include "scene/textureimage.h"
#include "scene/texturequad.h"
#include "scene/valuerules.h"

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

// As the reader registers its tags; only planes, cubes and disks have rules of their own.
QString fileTag(const ColDiscrete& item) {
    return dynamic_cast<const ColBlackbody*>(&item) ? QStringLiteral("newblackbody")
                                                    : QStringLiteral("newcolor");
}
QString fileTag(const Texture& item) {
    if (dynamic_cast<const TextureQuad*>(&item)) return QStringLiteral("newtexturequad");
    if (dynamic_cast<const TextureImage*>(&item)) return QStringLiteral("newtextureimage");
    return QStringLiteral("newtexturesingle");
}
QString fileTag(const rtObjBase& item) {
    if (dynamic_cast<const rtObjCube*>(&item)) return QStringLiteral("cube");
    if (dynamic_cast<const rtObjPlane*>(&item)) return QStringLiteral("plane");
    if (dynamic_cast<const rtObjSphere<0>*>(&item)) return QStringLiteral("movsphere");
    if (dynamic_cast<const rtObjDisk*>(&item)) return QStringLiteral("newdisk");
    return QStringLiteral("sphere");
}

bool checkForScene(const QString& tag, const Reader::PropertyList& properties) {
    bool fine = true;
    QString why;
    for (const auto& elem : properties) {
        if (Reader::checkNumbers(tag, elem->name, elem.get(), why)) continue;
        if (elem->editorRow()) elem->editorRow()->showError(why);
        fine = false;
    }
    // Edges that span nothing, and a disk's radii, are judged together, once each value is usable.
    QStringList faulty;
    if (fine && !Reader::checkItem(tag, &properties, why, &faulty)) {
        for (const QString& name : faulty)
            if (const Reader::DataElem* edge = properties.find(name))
                if (edge->editorRow()) edge->editorRow()->showError(why);
        fine = false;
    }
    return fine;
}

}  // namespace EditableItems
