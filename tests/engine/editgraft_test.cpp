// Edits of a big scene grafted into its tree: after every kind of object edit (moved, resized,
// added, removed, moved out of the scene's box) the document draws, at every packet size, at
// rest and at 0.9c, the picture that a document built from the edited scene's text draws; and
// the edits that need a build get one.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "accel/kdtree.h"
#include "engine/docrt.h"
#include "scene/coldiscrete.h"
#include "scene/rendersettings.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

namespace {

constexpr int kW = 64, kH = 48;

// Numbers as a scene file keeps them (six significant digits), so that the document read back
// from the edited scene's text holds the same floats as the edited one.
float kept(float v) { return QString::number(v, 'g', 6).toFloat(); }

struct Cloud {
    std::mt19937 random{20261211};
    float uniform(float lo, float hi) {
        return kept(std::uniform_real_distribution<float>(lo, hi)(random));
    }
    // A place well inside the view of an observer at the origin looking along z.
    Vec4f inView() {
        const float z = uniform(4, 30);
        return Vec4f(kept(z * uniform(-0.4f, 0.4f)), kept(z * uniform(-0.3f, 0.3f)), z, 0.0f);
    }

    // Spheres and boxes ahead of the observer, sparse enough that the wall behind them shows
    // between them and edited objects come into sight.
    QByteArray scene(int spheres, int boxes) {
        std::string text =
            "<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>0;0;1;0</lookat>"
            "<dirx>1;0;0;0</dirx><diry>0;1;0;0</diry></renderSettings>"
            "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname>"
            "</newcolor><newcolor><wavelength>(460;200)(530;150)</wavelength>"
            "<colname>cool</colname></newcolor>"
            "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>"
            "<newtexturequad><texname>checker</texname><colora>warm</colora><colorb>cool</colorb>"
            "</newtexturequad>"
            "<plane><pos>-60;-45;65;0</pos><x>120;0;0;0</x><y>0;90;0;0</y><sx>9</sx><sy>9</sy>"
            "<texname>checker</texname></plane>";
        const auto number = [](float v) { return QString::number(v, 'g', 6).toStdString(); };
        for (int i = 0; i < spheres; ++i) {
            text += "<sphere><center>" + number(uniform(-40, 40)) + ";" + number(uniform(-30, 30)) +
                    ";" + number(uniform(5, 60)) + ";0</center><radius>" +
                    number(uniform(0.05f, 0.2f)) + "</radius><texname>" +
                    (i % 2 ? "plain" : "checker") + "</texname></sphere>";
        }
        for (int i = 0; i < boxes; ++i) {
            text += "<cube><pos>" + number(uniform(-40, 40)) + ";" + number(uniform(-30, 30)) +
                    ";" + number(uniform(5, 60)) + ";0</pos><x>" + number(uniform(0.1f, 0.4f)) +
                    ";0;0;0</x><y>0;" + number(uniform(0.1f, 0.4f)) + ";" +
                    number(uniform(-0.1f, 0.1f)) + ";0</y><z>0;0;" + number(uniform(0.1f, 0.4f)) +
                    ";0</z><texxy>checker</texxy><texyz>plain</texyz><texzx>checker</texzx>"
                    "</cube>";
        }
        return QByteArray::fromStdString(text + "</tavolinfile>");
    }

    size_t index(size_t count) {
        return std::uniform_int_distribution<size_t>(1, count - 1)(random);
    }
};

// The first object of doc's scene of this kind at or after index i, or null.
template <class T>
T* kindAt(DocRT& doc, size_t i) {
    std::vector<rtObjBase*>& items = doc.getSceneData()->objects.items;
    for (; i < items.size(); ++i)
        if (auto* object = dynamic_cast<T*>(items[i])) return object;
    return nullptr;
}

// Records, as the edit dock does, a change of the object (a copy changed by change).
template <class T, class Change>
void recordChange(DocRT& doc, T* object, Change change) {
    ASSERT_NE(object, nullptr);
    T* copy = static_cast<T*>(object->clone());
    change(*copy);
    copy->update();
    doc.getSceneData()->objects.recordChange(copy, object);
}

// The tree holds every object of the scene with a finite box, each only in leaves whose cells
// its box reaches: an edited or removed object's old entries are gone.
void expectEachObjectInItsCells(DocRT& doc, const char* step) {
    const KDTree& tree = *doc.getTree();
    const KdNode* nodes = tree.nodeBase();
    rtObjBase* const* entries = tree.leafBase();
    std::set<const rtObjBase*> held;
    size_t misplaced = 0;
    struct Visit {
        uint32_t node;
        BoundingBox cell;
    };
    std::vector<Visit> todo{{uint32_t(tree.rootNode() - nodes), tree.sceneBox()}};
    while (!todo.empty()) {
        const Visit v = todo.back();
        todo.pop_back();
        const KdNode n = nodes[v.node];
        if (n.isBounds()) {
            todo.push_back({n.boundsChild(), v.cell});
        } else if (n.isLeaf()) {
            for (uint32_t i = 0; i < n.objectCount(); ++i) {
                const rtObjBase* object = entries[n.firstEntry() + i];
                held.insert(object);
                const BoundingBox b = object->boundingBox();
                for (int a = 0; a < 3; ++a) {
                    const float slack =
                        1e-4f * (1.0f + std::fabs(v.cell.max[a]) + std::fabs(v.cell.min[a]));
                    misplaced +=
                        b.max[a] < v.cell.min[a] - slack || b.min[a] > v.cell.max[a] + slack;
                }
            }
        } else {
            Visit lower = {n.lowerChild(), v.cell}, upper = {n.lowerChild() + 1, v.cell};
            lower.cell.max[n.axis()] = n.split();
            upper.cell.min[n.axis()] = n.split();
            todo.push_back(lower);
            todo.push_back(upper);
        }
    }
    EXPECT_EQ(misplaced, 0u) << step;
    size_t missing = 0;
    for (const rtObjBase* object : doc.getSceneData()->objects.items)
        missing += hasFiniteExtent(object->boundingBox()) && !held.count(object);
    EXPECT_EQ(missing, 0u) << step;
}

// doc's pictures at each packet size, at rest and at 0.9c.
std::vector<std::vector<uint32_t>> pictures(DocRT& doc) {
    std::vector<std::vector<uint32_t>> all;
    RenderSettings& s = *doc.getSettings();
    for (float speed : {0.0f, 0.9f}) {
        for (int packet : {1, 2, 4}) {
            s.speed = speed;
            s.maxBundleSize = packet;
            all.push_back(trace(doc, s, kW, kH));
        }
    }
    return all;
}

// Opens the scene file at its observer's place.
void open(DocRT& doc, const QString& path) {
    load(doc, path);
    doc.loadStartPosition();
    doc.applyPendingChanges();
}

// doc's scene as a document reads it from its text, with a tree built for it, seen from where
// doc is; drawn is doc's pictures.
void expectDrawnAsBuilt(DocRT& doc, const QTemporaryDir& dir, const char* step,
                        const std::vector<std::vector<uint32_t>>& drawn) {
    DocRT built;
    load(built, writeFile(dir, "built.tavolin", doc.sceneUtf8()));
    built.observerFrame() = doc.observerFrame();
    built.applyPendingChanges();
    ASSERT_EQ(built.getSceneData()->objects.items.size(), doc.getSceneData()->objects.items.size())
        << step;
    EXPECT_EQ(built.objectsGraftedSinceBuild(), 0u);
    const auto expected = pictures(built);
    for (size_t i = 0; i < expected.size(); ++i) {
        size_t differing = 0;
        for (size_t p = 0; p < expected[i].size(); ++p) differing += drawn[i][p] != expected[i][p];
        EXPECT_EQ(differing, 0u) << step << ", picture " << i << " (speed " << (i < 3 ? 0 : 0.9)
                                 << ", packet " << (1 << (i % 3)) / 1 << ")";
    }
}

}  // namespace

TEST(EditGraft, EveryKindOfObjectEditDrawsWhatABuildDraws) {
    TraceOutputOff quiet;
    ErrorCapture errors;
    QTemporaryDir dir;
    Cloud cloud;
    DocRT doc;
    open(doc, writeFile(dir, "cloud.tavolin", cloud.scene(19500, 1500)));
    const size_t objects = doc.getSceneData()->objects.items.size();
    ASSERT_GE(objects, DocRT::kGraftEditsFromObjects);

    const struct {
        const char* what;
        std::function<void()> record;
    } steps[] = {
        {"spheres moved into view",
         [&] {
             // Two to be crowded round later.
             for (size_t i : {11, 12})
                 recordChange(doc, kindAt<rtObjSphere<1>>(doc, i), [&](rtObjSphere<1>& s) {
                     s.center = Vec4f(0.25f + 0.5f * float(i - 11), 0.5f, 8.0f, 0.0f);
                     s.radius = 0.4f;
                 });
             for (int k = 0; k < 6; ++k)
                 recordChange(doc, kindAt<rtObjSphere<1>>(doc, cloud.index(objects)),
                              [&](rtObjSphere<1>& s) {
                                  s.center = cloud.inView();
                                  s.radius = cloud.uniform(0.3f, 0.8f);
                              });
         }},
        {"boxes moved and resized",
         [&] {
             for (int k = 0; k < 4; ++k)
                 recordChange(doc, kindAt<rtObjCube>(doc, cloud.index(objects)), [&](rtObjCube& c) {
                     c.pos = cloud.inView();
                     c.x = Vec4f(cloud.uniform(1, 2), 0, 0, 0);
                     c.y = Vec4f(0, cloud.uniform(1, 2), cloud.uniform(-1, 1), 0);
                     c.z = Vec4f(0, 0, cloud.uniform(1, 2), 0);
                     c.sz = cloud.uniform(1, 3);
                 });
         }},
        {"objects added",
         [&] {
             SceneData& scene = *doc.getSceneData();
             for (int k = 0; k < 5; ++k) {
                 rtObjBase* model = scene.objects.items[cloud.index(objects)];
                 rtObjBase* added = model->clone();
                 if (auto* s = dynamic_cast<rtObjSphere<1>*>(added)) {
                     s->center = cloud.inView();
                     s->radius = cloud.uniform(0.5f, 1);
                 }
                 if (auto* c = dynamic_cast<rtObjCube*>(added)) {
                     c->pos = cloud.inView();
                     c->x = Vec4f(1, 0, 0, 0);
                     c->y = Vec4f(0, 1, 0, 0);
                 }
                 added->update();
                 scene.objects.recordAddition(added);
             }
         }},
        {"objects in view removed, and one added and removed at once",
         [&] {
             SceneData& scene = *doc.getSceneData();
             const size_t count = scene.objects.items.size();
             // The last ones: the added spheres and boxes in view.
             for (size_t k = count - 3; k < count; ++k)
                 scene.objects.recordRemoval(scene.objects.items[k]);
             rtObjBase* ghost = scene.objects.items[1]->clone();
             scene.objects.recordAddition(ghost);
             scene.objects.recordRemoval(ghost);
         }},
        {"a crowd in one leaf, where objects are changed and removed",
         [&] {
             SceneData& scene = *doc.getSceneData();
             rtObjSphere<1>* away = kindAt<rtObjSphere<1>>(doc, 11);
             rtObjSphere<1>* gone = kindAt<rtObjSphere<1>>(doc, 12);
             const Vec4f spot = away->center;
             recordChange(doc, away, [&](rtObjSphere<1>& s) { s.center = cloud.inView(); });
             scene.objects.recordRemoval(gone);
             for (int k = 0; k < 12; ++k) {
                 auto* s = static_cast<rtObjSphere<1>*>(gone->clone());
                 s->center = spot + Vec4f(kept(0.01f * float(k)), 0, 0, 0);
                 s->radius = 0.8f;
                 s->update();
                 scene.objects.recordAddition(s);
             }
         }},
        {"a sphere moved out of the scene's box, one changed twice",
         [&] {
             recordChange(doc, kindAt<rtObjSphere<1>>(doc, 7), [](rtObjSphere<1>& s) {
                 s.center = Vec4f(0.5f, 0.25f, 60.0f, 0.0f);
                 s.radius = 6.0f;
             });
             rtObjSphere<1>* twice = kindAt<rtObjSphere<1>>(doc, 99);
             recordChange(doc, twice, [&](rtObjSphere<1>& s) { s.center = cloud.inView(); });
             recordChange(doc, twice, [&](rtObjSphere<1>& s) {
                 s.center = Vec4f(-0.5f, -0.25f, 5.0f, 0.0f);
                 s.radius = 0.75f;
             });
         }},
    };
    size_t grafted = 0;
    std::vector<std::vector<uint32_t>> before = pictures(doc);
    for (const auto& step : steps) {
        step.record();
        doc.applyPendingChanges();
        EXPECT_GT(doc.objectsGraftedSinceBuild(), grafted) << step.what << ": built instead";
        grafted = doc.objectsGraftedSinceBuild();
        const auto drawn = pictures(doc);
        // The edit shows: the test sees what it changes.
        size_t changed = 0;
        for (size_t p = 0; p < drawn[0].size(); ++p) changed += drawn[0][p] != before[0][p];
        EXPECT_GT(changed, size_t(kW)) << step.what;
        expectEachObjectInItsCells(doc, step.what);
        expectDrawnAsBuilt(doc, dir, step.what, drawn);
        before = drawn;
    }
    EXPECT_TRUE(errors.titles.isEmpty()) << errors.texts.join("\n").toStdString();
}

// Edits that a graft cannot take, or that would pass the objects a tree takes between builds
// (a hundredth of the scene), build the tree anew, and the next edit is grafted again; a small
// scene is always built, and so is a scene with moving bodies.
TEST(EditGraft, EditsThatNeedABuildGetOne) {
    TraceOutputOff quiet;
    ErrorCapture errors;
    QTemporaryDir dir;
    Cloud cloud;
    const QString big = writeFile(dir, "big.tavolin", cloud.scene(20500, 0));
    const QString small = writeFile(dir, "small.tavolin", cloud.scene(19000, 0));
    const auto moveSpheres = [&](DocRT& doc, int count) {
        for (int k = 0; k < count; ++k)
            recordChange(doc, kindAt<rtObjSphere<1>>(doc, size_t(1 + k)),
                         [&](rtObjSphere<1>& s) { s.center = cloud.inView(); });
    };
    const struct {
        const char* what;
        const QString* scene;
        std::function<void(DocRT&)> record;
        bool grafted;
        bool thenGrafted;  // one sphere moved next
    } cases[] = {
        {"one sphere moved", &big, [&](DocRT& d) { moveSpheres(d, 1); }, true, true},
        {"a scene under the size", &small, [&](DocRT& d) { moveSpheres(d, 1); }, false, false},
        {"half the objects the tree takes between builds", &big,
         [&](DocRT& d) { moveSpheres(d, int(d.getSceneData()->objects.items.size() / 200)); }, true,
         true},
        {"all the objects the tree takes between builds", &big,
         [&](DocRT& d) { moveSpheres(d, int(d.getSceneData()->objects.items.size() / 100)); }, true,
         false},
        {"more objects than the tree takes between builds", &big,
         [&](DocRT& d) { moveSpheres(d, int(d.getSceneData()->objects.items.size() / 100) + 1); },
         false, true},
        {"a sphere set moving", &big,
         [&](DocRT& d) {
             recordChange(d, kindAt<rtObjSphere<1>>(d, 3),
                          [](rtObjSphere<1>& s) { s.setVelocity(Vec4f(0.5f, 0, 0, 0)); });
         },
         false, false},
        {"a texture changed with a sphere", &big,
         [&](DocRT& d) {
             moveSpheres(d, 1);
             SceneData& scene = *d.getSceneData();
             Texture* texture = scene.textures.items.front();
             scene.textures.recordChange(texture->clone(), texture);
         },
         false, true},
        {"a sphere as big as the scene", &big,
         [&](DocRT& d) {
             recordChange(d, kindAt<rtObjSphere<1>>(d, 5), [](rtObjSphere<1>& s) {
                 s.center = Vec4f(0, 0, 20, 0);
                 s.radius = 30.0f;
             });
         },
         false, true},
    };
    for (const auto& c : cases) {
        DocRT doc;
        open(doc, *c.scene);
        c.record(doc);
        doc.applyPendingChanges();
        EXPECT_EQ(doc.objectsGraftedSinceBuild() > 0, c.grafted) << c.what;
        expectDrawnAsBuilt(doc, dir, c.what, pictures(doc));
        moveSpheres(doc, 1);
        doc.applyPendingChanges();
        EXPECT_EQ(doc.objectsGraftedSinceBuild() > 0, c.thenGrafted) << c.what << ", then";
    }
    EXPECT_TRUE(errors.titles.isEmpty()) << errors.texts.join("\n").toStdString();
}

// Edits of colours alone keep the tree as it is (a build would start the grafts' count again);
// a texture edit builds it anew.
TEST(EditGraft, EditsOfColoursKeepTheTree) {
    TraceOutputOff quiet;
    ErrorCapture errors;
    QTemporaryDir dir;
    Cloud cloud;
    DocRT doc;
    open(doc, writeFile(dir, "big.tavolin", cloud.scene(20500, 0)));
    SceneData& scene = *doc.getSceneData();
    recordChange(doc, kindAt<rtObjSphere<1>>(doc, 1),
                 [&](rtObjSphere<1>& s) { s.center = cloud.inView(); });
    doc.applyPendingChanges();
    ASSERT_EQ(doc.objectsGraftedSinceBuild(), 1u);

    ColDiscrete* colour = scene.colors.items.back();
    auto* changed = new ColDiscrete(*colour);
    ASSERT_TRUE(changed->fromSpectrumText("(500;300)(520;100)"));
    scene.colors.recordChange(changed, colour);
    doc.applyPendingChanges();
    EXPECT_EQ(doc.objectsGraftedSinceBuild(), 1u);
    expectDrawnAsBuilt(doc, dir, "a colour changed", pictures(doc));

    Texture* texture = scene.textures.items.front();
    scene.textures.recordChange(texture->clone(), texture);
    doc.applyPendingChanges();
    EXPECT_EQ(doc.objectsGraftedSinceBuild(), 0u);
    EXPECT_TRUE(errors.titles.isEmpty()) << errors.texts.join("\n").toStdString();
}
