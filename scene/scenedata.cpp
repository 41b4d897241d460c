// The scene container: the built-in default colour, adding loaded items, resolving names and
// applying the edit dock's changes.
#include "scene/scenedata.h"

#include <QCoreApplication>
#include <QSet>

#include "scene/coldiscrete.h"
#include "scene/dataelem.h"
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

QString tr(const char* text) { return QCoreApplication::translate("SceneData", text); }

// The properties that name a texture (objects) or a colour (textures).
bool namesTexture(const QString& property) {
    return property == QLatin1String("texname") || property == QLatin1String("texxy") ||
           property == QLatin1String("texyz") || property == QLatin1String("texzx");
}
bool namesColor(const QString& property) {
    static const QStringList names = {QStringLiteral("color"), QStringLiteral("colora"),
                                      QStringLiteral("colorb"), QStringLiteral("colr"),
                                      QStringLiteral("colg"), QStringLiteral("colb")};
    return names.contains(property);
}

// Adds "what "name"" for every name that appears more than once, in first-seen order.
template <class T>
void warnDuplicates(const std::vector<T*>& items, const QString& what, QStringList& out) {
    QSet<QString> seen, reported;
    for (T* item : items) {
        const QString name = itemName(*item);
        if (seen.contains(name) && !reported.contains(name)) {
            reported.insert(name);
            out << tr("%1 \"%2\" is defined more than once; only the first is used")
                       .arg(what, name);
        }
        seen.insert(name);
    }
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

void SceneData::placeAtHole(const Vec4f& hole, float schwarzschildRadius) {
    for (rtObjBase* object : objects.items) object->placeAtHole(hole, schwarzschildRadius);
}

void SceneData::resolve() {
    shadedColors.clear();
    QSet<ColDiscrete*> seen;
    for (Texture* texture : textures.items) {
        if (auto* image = dynamic_cast<TextureImage*>(texture)) image->folder = folder;
        texture->resolveColors(colors);
        Reader::PropertyList list;
        texture->getProperties(list);
        for (const auto& element : list) {
            if (!namesColor(element->name)) continue;
            ColDiscrete* color = colors.get(element->toString());
            if (color && !seen.contains(color)) {
                seen.insert(color);
                shadedColors.push_back(color);
            }
        }
    }
    for (rtObjBase* object : objects.items) {
        object->resolveTextures(textures);
        // Objects with a light of their own (the accretion disk) are shaded like textures.
        if (ColDiscrete* own = object->ownColor()) shadedColors.push_back(own);
    }
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

QStringList SceneData::referenceWarnings() {
    QStringList out;
    // The built-in "default" colour is replaced by a loaded one, not duplicated.
    std::vector<ColDiscrete*> loadedColors(colors.items.begin(), colors.items.end());
    warnDuplicates(loadedColors, tr("The colour"), out);
    warnDuplicates(textures.items, tr("The texture"), out);

    const QString firstTexture =
        textures.items.empty() ? QString() : itemName(*textures.items.front());
    QSet<QString> reported;
    for (rtObjBase* object : objects.items) {
        Reader::PropertyList list;
        object->getProperties(list);
        for (const auto& element : list) {
            if (!namesTexture(element->name)) continue;
            const QString name = element->toString();
            if (textures.items.empty() || textures.contains(name) || reported.contains(name))
                continue;
            reported.insert(name);
            out << tr("The texture \"%1\" (used by the object \"%2\") is not defined; the "
                      "first texture \"%3\" is drawn instead")
                       .arg(name, object->name, firstTexture);
        }
    }
    reported.clear();
    const QString firstColor = itemName(*colors.items.front());
    for (Texture* texture : textures.items) {
        Reader::PropertyList list;
        texture->getProperties(list);
        for (const auto& element : list) {
            if (!namesColor(element->name)) continue;
            const QString name = element->toString();
            if (colors.contains(name) || reported.contains(name)) continue;
            reported.insert(name);
            out << tr("The colour \"%1\" (used by the texture \"%2\") is not defined; the "
                      "colour \"%3\" is drawn instead")
                       .arg(name, texture->texname, firstColor);
        }
    }
    if (out.size() > kMaxWarnings) {
        const int more = int(out.size()) - (kMaxWarnings - 1);
        out.erase(out.begin() + (kMaxWarnings - 1), out.end());
        out << tr("... and %1 more such warnings").arg(more);
    }
    return out;
}

QString SceneData::missingTextureProblem() const {
    if (objects.items.empty() || !textures.items.empty()) return QString();
    return tr("The scene has %1 object(s) but no texture to draw them with. Add a texture, for "
              "example <newtexturesingle><texname>t</texname><color>default</color>"
              "</newtexturesingle>, and name it in the objects' texname.")
        .arg(objects.items.size());
}
