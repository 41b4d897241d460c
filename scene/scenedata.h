// Everything a scene holds: colours and textures in named collections, objects and lights in
// plain lists, each with the edits pending for it. The document owns one per loaded scene.
#pragma once

#include <QStringList>

#include "scene/changedelemvec.h"
#include "scene/colorcol.h"
#include "scene/lights.h"
#include "scene/rtobjbase.h"
#include "scene/texturecol.h"

class SceneData {
public:
    ColorCol colors;
    TextureCol textures;
    ChangedElemVec<rtObjBase> objects;
    ChangedElemVec<Lights> lights;
    // The folder of the scene file the scene was read from (absolute): image textures find
    // relative file names there, so that a scene and its images can move together. Empty for a
    // scene not read from a file: names are then taken as they stand.
    QString folder;
    // The colours some texture draws with, each once, and the objects' own colours (ownColor),
    // set by resolve(). Only these get light
    // tables before a frame: a file may define thousands of colours it never uses.
    std::vector<ColDiscrete*> shadedColors;

    // Holds the colour "default" (the default of the colour collection) and nothing else.
    SceneData();
    ~SceneData();
    SceneData(const SceneData&) = delete;
    SceneData& operator=(const SceneData&) = delete;

    // Hands a finished item to its list, which owns it from then on; the scene reader calls these
    // when an item's block ends. Colours and textures are added under their names.
    // A loaded colour named "default" replaces the built-in one in place (once per scene), so
    // that a saved scene keeps its edited default colour and load-save cycles do not pile up
    // copies of it; further colours of that name are added like any other.
    void addItem(ColDiscrete* color);
    void addItem(Texture* texture);
    void addItem(rtObjBase* object);
    void addItem(Lights* light);

    // Points every texture at its colours (image textures also learn the scene's folder, and load
    // their image), then every object at its textures (in that order, so that objects never see
    // stale colour pointers). Raises the collection's programming error
    // when an object is resolved while there is no texture at all.
    void resolve();
    // Puts the objects that belong to the black hole (the accretion disk) at the hole of
    // Schwarzschild radius schwarzschildRadius at hole, as the render settings give it.
    void placeAtHole(const Vec4f& hole, float schwarzschildRadius);

    // What a user should hear about a loaded scene that still renders: a name an object or a
    // texture refers to that no texture or colour has (the first texture or colour is drawn
    // instead), and names given to two colours or two textures (only the first is found).
    // At most kMaxWarnings lines, the last one counting the rest.
    static constexpr int kMaxWarnings = 20;
    QStringList referenceWarnings();

    // The sentence for a scene with objects but no texture at all, which cannot be drawn; empty
    // when the scene can be resolved.
    QString missingTextureProblem() const;

    // Adds, without removing anything, the colours "cola" and "colb" (lines 600/200 and 730/190)
    // and the one-colour texture "maintex" of colour "cola": the materials of the built-in scene.
    void addStandardMaterials();

    bool hasPendingChanges() const;
    // Applies the recorded edits of colours, textures, objects and lights, in this order; when
    // anything was pending it also resolves again, since a removed colour or texture may still be
    // referenced. Returns whether anything was pending. Between frames only.
    bool applyPendingChanges();

    // Scene-file registration of the nine item tags is added with the scene reader.

private:
    bool defaultColorLoaded = false;
};
