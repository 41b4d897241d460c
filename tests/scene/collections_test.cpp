// Change lists, named collections and the scene container: the visible sequence the editor lists,
// the order in which recorded edits are applied, default lookups and resolving.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "scene/coldiscrete.h"
#include "scene/dataelem.h"
#include "scene/lights.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/texturecol.h"
#include "scene/texturesingle.h"

namespace {

// A sphere of the given name drawn with the texture of the given name.
rtObjSphere<1>* sphere(const char* name, const char* texname) {
    auto* s = new rtObjSphere<1>;
    s->name = name;
    s->texname = texname;
    return s;
}

Lights* light(const char* name, float intensity = 0.5f) {
    auto* l = new Lights;
    l->name = name;
    l->intensity = intensity;
    return l;
}

ColDiscrete* colour(const char* name, float wavelength = 600.0f) {
    auto* c = new ColDiscrete(name);
    c->addLine(wavelength, 1.0f);
    return c;
}

TextureSingle* texture(const char* name) {
    auto* t = new TextureSingle;
    t->texname = name;
    return t;
}

// Counts itemsChanged calls and the item count seen then.
template <class T>
class CountingVec : public ChangedElemVec<T> {
public:
    int calls = 0;
    size_t sizeSeen = 0;
    void itemsChanged() override {
        ++calls;
        sizeSeen = this->items.size();
    }
};

std::vector<QString> namesOf(const std::vector<Lights*>& v) {
    std::vector<QString> out;
    for (const Lights* l : v) out.push_back(l->name);
    return out;
}

}  // namespace

// ---------------------------------------------------------------- ChangedElemVec

TEST(ChangedElemVec, VisibleSequenceSkipsRemovalsAndListsAdditionsLast) {
    ChangedElemVec<Lights> list;
    Lights *a = light("a"), *b = light("b"), *c = light("c"), *d = light("d"), *e = light("e");
    list.append(a);
    list.append(b);
    list.append(c);
    list.recordAddition(d);
    list.recordAddition(e);
    list.recordRemoval(b);
    list.recordRemoval(e);
    EXPECT_EQ(namesOf(list.visibleEntries()), (std::vector<QString>{"a", "c", "d"}));
    EXPECT_EQ(list.getElem(0), std::make_pair(a, a));
    EXPECT_EQ(list.getElem(1), std::make_pair(c, c));
    EXPECT_EQ(list.getElem(2), std::make_pair(d, d));
}

TEST(ChangedElemVec, ApplyAddsThenChangesThenRemoves) {
    CountingVec<Lights> list;
    Lights *a = light("a", 1.0f), *b = light("b", 2.0f);
    list.append(a);
    list.append(b);
    EXPECT_FALSE(list.hasPendingChanges());

    Lights *d = light("d", 4.0f), *e = light("e", 5.0f);
    list.recordAddition(d);
    list.recordAddition(e);
    EXPECT_TRUE(list.hasPendingChanges());
    // A change of an added item works because additions come first.
    list.recordChange(light("d-edited", 40.0f), d);
    list.recordChange(light("a-first", 10.0f), a);
    list.recordChange(light("a-last", 11.0f), a);
    // Removing an added item frees it; a double removal and an unknown entry are ignored.
    list.recordRemoval(e);
    list.recordRemoval(b);
    list.recordRemoval(b);
    Lights stranger;
    list.recordRemoval(&stranger);

    list.applyChanges();
    EXPECT_FALSE(list.hasPendingChanges());
    EXPECT_TRUE(list.pendingChanges().empty());
    EXPECT_TRUE(list.pendingAdditions().empty());
    EXPECT_TRUE(list.pendingRemovals().empty());
    ASSERT_EQ(list.items.size(), 2u);
    EXPECT_EQ(list.items[0], a);
    EXPECT_EQ(list.items[1], d);
    EXPECT_EQ(a->name, "a-last");
    EXPECT_EQ(a->intensity, 11.0f);
    EXPECT_EQ(d->name, "d-edited");
    EXPECT_EQ(d->intensity, 40.0f);
    EXPECT_EQ(list.calls, 1);
    EXPECT_EQ(list.sizeSeen, 2u);

    list.applyChanges();  // nothing pending: no notification
    EXPECT_EQ(list.calls, 1);
}

TEST(ChangedElemVec, ChangeOfAnItemRemovedInTheSameBatchIsHarmless) {
    CountingVec<Lights> list;
    Lights* a = light("a");
    list.append(a);
    list.recordChange(light("a2"), a);
    list.recordRemoval(a);
    list.applyChanges();
    EXPECT_TRUE(list.items.empty());
    EXPECT_EQ(list.calls, 1);
}

// ---------------------------------------------------------------- ItemCollection

TEST(ItemCollection, LookupFallsBackToTheFirstItem) {
    ColorCol colors;
    ColDiscrete* first = colour("first");
    ColDiscrete* second = colour("second");
    colors.add(first, first->name);
    colors.add(second, second->name);
    EXPECT_EQ(colors.get("second"), second);
    EXPECT_EQ(colors.get("first"), first);
    EXPECT_EQ(colors.get("third"), first);
    EXPECT_EQ(colors.get(""), first);
}

TEST(ItemCollection, RepeatedNameKeepsTheFirstButListsBoth) {
    ColorCol colors;
    colors.add(colour("base"), "base");
    ColDiscrete* one = colour("dup", 500.0f);
    ColDiscrete* two = colour("dup", 700.0f);
    colors.add(one, "dup");
    colors.add(two, "dup");
    EXPECT_EQ(colors.get("dup"), one);
    ASSERT_EQ(colors.items.size(), 3u);
    EXPECT_EQ(colors.items[2], two);
    // Rebuilding the map after an edit keeps the same rule.
    colors.recordRemoval(colors.items[0]);
    colors.applyChanges();
    EXPECT_EQ(colors.get("dup"), one);
    EXPECT_EQ(colors.get("base"), one);  // gone: the new first item stands in
}

// ---------------------------------------------------------------- SceneData

TEST(SceneData, ApplyingEditsReresolvesEveryReference) {
    SceneData scene;
    scene.addStandardMaterials();
    auto* obj = sphere("o", "maintex");
    auto* unknown = sphere("u", "missing");
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
    auto* extra = texture("extra");
    scene.textures.recordAddition(extra);
    auto* objEdit = sphere("o", "extra");
    scene.objects.recordChange(objEdit, obj);
    scene.applyPendingChanges();
    EXPECT_EQ(obj->texture, extra);
    EXPECT_EQ(extra->color, scene.colors.items[0]);
}
