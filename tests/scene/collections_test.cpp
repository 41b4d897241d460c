// Change lists, named collections and the scene container: the visible sequence the editor lists,
// the order in which recorded edits are applied, default lookups and resolving.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/coldiscrete.h"
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

// Counts itemsChanged calls and the item count seen then.
class CountingVec : public ChangedElemVec<Lights> {
public:
    int calls = 0;
    size_t sizeSeen = 0;
    void itemsChanged() override {
        ++calls;
        sizeSeen = items.size();
    }
};

}  // namespace

// The editor lists the items without those recorded for removal, then the additions. Applying
// adds, then changes (so a change of an added item works; the last change of an item wins),
// then removes (removing an added item frees it; a double removal, an unknown entry and a change
// of an item removed in the same batch are harmless), and notifies once.
TEST(ChangedElemVec, VisibleSequenceAndApplyOrder) {
    CountingVec list;
    Lights *a = light("a", 1.0f), *b = light("b", 2.0f), *c = light("c", 3.0f);
    list.append(a);
    list.append(b);
    list.append(c);
    EXPECT_FALSE(list.hasPendingChanges());
    Lights *d = light("d", 4.0f), *e = light("e", 5.0f);
    list.recordAddition(d);
    list.recordAddition(e);
    EXPECT_TRUE(list.hasPendingChanges());
    list.recordRemoval(e);
    list.recordRemoval(b);
    list.recordRemoval(b);
    Lights stranger;
    list.recordRemoval(&stranger);
    std::vector<std::string> visible;
    for (const Lights* l : list.visibleEntries()) visible.push_back(l->name.toStdString());
    EXPECT_EQ(visible, (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_EQ(list.getElem(0), std::make_pair(a, a));
    EXPECT_EQ(list.getElem(1), std::make_pair(c, c));
    EXPECT_EQ(list.getElem(2), std::make_pair(d, d));
    list.recordChange(light("d-edited", 40.0f), d);
    list.recordChange(light("a-first", 10.0f), a);
    list.recordChange(light("a-last", 11.0f), a);
    list.recordChange(light("c-gone", 30.0f), c);
    list.recordRemoval(c);

    list.applyChanges();
    EXPECT_FALSE(list.hasPendingChanges());
    EXPECT_TRUE(list.pendingChanges().empty());
    EXPECT_TRUE(list.pendingAdditions().empty());
    EXPECT_TRUE(list.pendingRemovals().empty());
    EXPECT_EQ(list.items, (std::vector<Lights*>{a, d}));
    EXPECT_EQ(a->name, "a-last");
    EXPECT_EQ(a->intensity, 11.0f);
    EXPECT_EQ(d->name, "d-edited");
    EXPECT_EQ(d->intensity, 40.0f);
    EXPECT_EQ(list.calls, 1);
    EXPECT_EQ(list.sizeSeen, 2u);
    list.applyChanges();  // nothing pending: no notification
    EXPECT_EQ(list.calls, 1);
}

// A name not found, or empty, gives the first item; a repeated name keeps the first item of that
// name but lists both, also once the map is rebuilt after an edit.
TEST(ItemCollection, LookupFallsBackToTheFirstItemAndRepeatedNamesKeepTheFirst) {
    ColorCol colors;
    auto* base = new ColDiscrete("base");
    auto* one = new ColDiscrete("dup");
    auto* two = new ColDiscrete("dup");
    for (ColDiscrete* c : {base, one, two}) colors.add(c, c->name);
    EXPECT_EQ(colors.get("base"), base);
    EXPECT_EQ(colors.get("dup"), one);
    EXPECT_EQ(colors.get("third"), base);
    EXPECT_EQ(colors.get(""), base);
    ASSERT_EQ(colors.items.size(), 3u);
    EXPECT_EQ(colors.items[2], two);
    colors.recordRemoval(base);
    colors.applyChanges();
    EXPECT_EQ(colors.get("dup"), one);
    EXPECT_EQ(colors.get("base"), one);  // gone: the new first item stands in
}

TEST(SceneData, ApplyingEditsReresolvesEveryReference) {
    SceneData scene;
    scene.addStandardMaterials();
    auto* obj = new rtObjSphere<1>;
    obj->texname = "maintex";
    auto* unknown = new rtObjSphere<1>;
    unknown->texname = "missing";
    scene.addItem(obj);
    scene.addItem(unknown);
    scene.resolve();
    EXPECT_EQ(obj->texture, scene.textures.items[0]);
    EXPECT_EQ(unknown->texture, scene.textures.items[0]);  // the default texture
    auto* main = static_cast<TextureSingle*>(scene.textures.items[0]);
    ColDiscrete* cola = scene.colors.items[1];
    ColDiscrete* colb = scene.colors.items[2];
    EXPECT_EQ(main->color, cola);
    EXPECT_FALSE(scene.applyPendingChanges());

    // The edit dock's path: recolour the texture through an edited copy.
    auto* edited = static_cast<TextureSingle*>(main->clone());
    edited->colorName = "colb";
    scene.textures.recordChange(edited, main);
    EXPECT_TRUE(scene.hasPendingChanges());
    EXPECT_TRUE(scene.applyPendingChanges());
    EXPECT_FALSE(scene.hasPendingChanges());
    EXPECT_EQ(main->color, colb);

    // Removing the colour in use: the texture falls back to "default", no dangling pointer.
    scene.lights.recordAddition(light("lamp"));
    EXPECT_TRUE(scene.hasPendingChanges());  // a light alone is a change too
    scene.colors.recordRemoval(colb);
    EXPECT_TRUE(scene.applyPendingChanges());
    EXPECT_EQ(main->color, scene.colors.items[0]);
    EXPECT_EQ(scene.colors.items.size(), 2u);
    EXPECT_EQ(scene.lights.items.size(), 1u);

    // A texture added by the editor is found by name once applied, also by an edited object.
    auto* extra = new TextureSingle;
    extra->texname = "extra";
    scene.textures.recordAddition(extra);
    auto* objEdit = new rtObjSphere<1>;
    objEdit->texname = "extra";
    scene.objects.recordChange(objEdit, obj);
    scene.applyPendingChanges();
    EXPECT_EQ(obj->texture, extra);
    EXPECT_EQ(extra->color, scene.colors.items[0]);
}
