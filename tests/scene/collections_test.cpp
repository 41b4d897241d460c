// Change lists, named collections and the scene container: the sequence the editor lists, the
// order recorded edits are applied in, default lookups and resolving after edits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/lights.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/texturecol.h"
#include "scene/texturesingle.h"

namespace {

Lights* light(const char* name, float intensity = 0.5f) {
    auto* l = new Lights;
    l->name = name;
    l->intensity = intensity;
    return l;
}

struct CountingVec : ChangedElemVec<Lights> {
    int calls = 0;
    void itemsChanged() override { ++calls; }
};

}  // namespace

// The editor lists the items without those recorded for removal, then the additions. Applying
// adds, then changes (the last change of an item wins), then removes (an added item too; double
// removals, unknown entries and changes of removed items are harmless), and notifies once.
TEST(ChangedElemVec, VisibleSequenceAndApplyOrder) {
    CountingVec list;
    Lights *a = light("a"), *b = light("b"), *c = light("c"), *d = light("d"), *e = light("e");
    for (Lights* l : {a, b, c}) list.append(l);
    list.recordAddition(d);
    list.recordAddition(e);
    list.recordRemoval(e);
    list.recordRemoval(b);
    list.recordRemoval(b);
    Lights stranger;
    list.recordRemoval(&stranger);
    std::vector<std::string> visible;
    for (const Lights* l : list.visibleEntries()) visible.push_back(l->name.toStdString());
    EXPECT_EQ(visible, (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_EQ(list.getElem(0), std::make_pair(a, a));
    EXPECT_EQ(list.getElem(2), std::make_pair(d, d));
    list.recordChange(light("d-edited", 40.0f), d);
    list.recordChange(light("a-first", 10.0f), a);
    list.recordChange(light("a-last", 11.0f), a);
    list.recordChange(light("c-gone", 30.0f), c);
    list.recordRemoval(c);
    list.applyChanges();
    EXPECT_FALSE(list.hasPendingChanges());
    EXPECT_EQ(list.items, (std::vector<Lights*>{a, d}));
    EXPECT_EQ(a->name, "a-last");
    EXPECT_EQ(a->intensity, 11.0f);
    EXPECT_EQ(d->name, "d-edited");
    list.applyChanges();  // nothing pending: no notification
    EXPECT_EQ(list.calls, 1);
}

// The edit dock's path: an edited copy recolours a texture; removing the colour in use falls back
// to the default; a texture added by the editor is found by an edited object. Each resolve
// prepares the colours in use, each once.
TEST(SceneData, ApplyingEditsReresolvesEveryReference) {
    SceneData scene;
    scene.addStandardMaterials();
    auto* obj = new rtObjSphere<1>;
    obj->texname = "missing";
    scene.addItem(obj);
    scene.resolve();
    auto* main = static_cast<TextureSingle*>(scene.textures.items[0]);
    EXPECT_EQ(obj->texture, main);  // the default texture
    ColDiscrete* colb = scene.colors.items[2];
    EXPECT_FALSE(scene.applyPendingChanges());
    auto* edited = static_cast<TextureSingle*>(main->clone());
    edited->colorName = "colb";
    scene.textures.recordChange(edited, main);
    EXPECT_TRUE(scene.applyPendingChanges());
    EXPECT_EQ(main->color, colb);
    // Only the colours textures draw with are prepared (2000 unused ones once took 20 s a frame).
    EXPECT_EQ(scene.shadedColors, std::vector<ColDiscrete*>{colb});
    scene.lights.recordAddition(light("lamp"));
    EXPECT_TRUE(scene.hasPendingChanges());  // a light alone is a change too
    scene.colors.recordRemoval(colb);
    EXPECT_TRUE(scene.applyPendingChanges());
    EXPECT_EQ(main->color, scene.colors.items[0]);
    auto* extra = new TextureSingle;
    extra->texname = "extra";
    scene.textures.recordAddition(extra);
    auto* objEdit = new rtObjSphere<1>;
    objEdit->texname = "extra";
    scene.objects.recordChange(objEdit, obj);
    scene.applyPendingChanges();
    EXPECT_EQ(obj->texture, extra);
    EXPECT_EQ(scene.shadedColors, std::vector<ColDiscrete*>{scene.colors.items[0]});  // once
}
