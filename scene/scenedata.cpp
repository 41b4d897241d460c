// The scene container: the built-in default colour, adding loaded items, resolving names and
// applying the edit dock's changes.
#include "scene/scenedata.h"

#include "scene/coldiscrete.h"
#include "scene/textureimage.h"
#include "scene/texturesingle.h"

namespace {

// The colour of every texture whose colour name is not found: a broad spectrum from far infrared
// to far ultraviolet, so that it stays visible at any Doppler shift.
ColDiscrete* makeDefaultColor() {
    auto* color = new ColDiscrete;
    color->name = QStringLiteral("default");
    color->addLine(5000.0f, 240.0f);
    color->addLine(1200.0f, 200.0f);
    color->addLine(690.0f, 200.0f);
    color->addLine(500.0f, 240.0f);
    color->addLine(200.0f, 240.0f);
    color->addLine(90.0f, 200.0f);
    return color;
}

ColDiscrete* makeStandardColor(const QString& name) {
    auto* color = new ColDiscrete;
    color->name = name;
    color->addLine(600.0f, 200.0f);
    color->addLine(730.0f, 190.0f);
    return color;
}

}  // namespace

SceneData::SceneData() {
    ColDiscrete* standard = makeDefaultColor();
    colors.add(standard, standard->name);
}

SceneData::~SceneData() = default;

void SceneData::addItem(ColDiscrete* color) {
    if (color->name == QLatin1String("default") && !defaultColorLoaded && !colors.items.empty() &&
        colors.items.front()->name == QLatin1String("default")) {
        defaultColorLoaded = true;
        *colors.items.front() = *color;
        delete color;
        return;
    }
    colors.add(color, color->name);
}

void SceneData::addItem(Texture* texture) { textures.add(texture, texture->texname); }

void SceneData::addItem(rtObjBase* object) { objects.append(object); }

void SceneData::addItem(Lights* light) { lights.append(light); }

void SceneData::resolve() {
    for (Texture* texture : textures.items) {
        if (auto* image = dynamic_cast<TextureImage*>(texture)) image->folder = folder;
        texture->resolveColors(colors);
    }
    for (rtObjBase* object : objects.items) object->resolveTextures(textures);
}

void SceneData::addStandardMaterials() {
    ColDiscrete* a = makeStandardColor(QStringLiteral("cola"));
    colors.add(a, a->name);
    ColDiscrete* b = makeStandardColor(QStringLiteral("colb"));
    colors.add(b, b->name);
    auto* texture = new TextureSingle;
    texture->texname = QStringLiteral("maintex");
    texture->colorName = QStringLiteral("cola");
    textures.add(texture, texture->texname);
}

bool SceneData::hasPendingChanges() const {
    return colors.hasPendingChanges() || textures.hasPendingChanges() ||
           objects.hasPendingChanges() || lights.hasPendingChanges();
}

bool SceneData::applyPendingChanges() {
    if (!hasPendingChanges()) return false;
    colors.applyChanges();
    textures.applyChanges();
    objects.applyChanges();
    lights.applyChanges();
    resolve();
    return true;
}
