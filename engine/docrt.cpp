// The document: loading, saving, the built-in scene, and applying requests between frames.
//
// Two choices of ours:
// - A failed load while an earlier successful load still waits to be applied keeps the earlier
//   load: the pending scene is only replaced by a scene that was read completely.
// - Errors a user's file or edit can reach (an object whose texture cannot be resolved because
//   the scene has no texture at all, a tree build that fails) refuse the load or keep the scene
//   renderable, with a message, instead of ending the program.
// - Recorded edits that would leave objects without any texture or textures without any colour
//   are dropped as a whole ("Scene not changed"); the edit dock refuses them before they are
//   recorded, so this only guards against a caller that does not ask first.
#include "engine/docrt.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>
#include <new>
#include <system_error>

#include "accel/kdtree.h"
#include "base/programmingerror.h"
#include "engine/safefile.h"
#include "scene/colorcol.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/rtobjsphere.h"
#include "scene/runwriter.h"
#include "scene/scenedata.h"
#include "scene/texturecol.h"
#include "scene/texturesingle.h"

namespace {
DocRT::ErrorReporter& errorReporter() {
    static DocRT::ErrorReporter reporter;
    return reporter;
}

// Multiplies a direction by the single-precision reciprocal square root of its squared length.
void normalize4(Vec4f& v) {
    const float inv = 1.0f / std::sqrt(dot4(v, v));
    v = v * inv;
}
}  // namespace

void DocRT::setErrorReporter(ErrorReporter reporter) { errorReporter() = std::move(reporter); }

void DocRT::reportError(const QString& title, const QString& text) {
    if (errorReporter()) {
        errorReporter()(title, text);
        return;
    }
    std::fprintf(stderr, "%s\n%s\n", qPrintable(title), qPrintable(text));
}

DocRT::DocRT()
    : settings(new RenderSettings()),
      sceneData(new SceneData()),
      tree(new KDTree()),
      eye(defaultEye()) {
    clock.start();
}

DocRT::~DocRT() {
    settleSnapshot();  // it reads the scene
    delete settings;
    delete sceneData;
    delete tree;
    delete pendingSettings;
    delete pendingScene;
    delete restoredScene;
}

ColorCol& DocRT::colors() const { return sceneData->colors; }
TextureCol& DocRT::textures() const { return sceneData->textures; }

Vec4f DocRT::position() const {
    return Vec4f(frame.m[ObserverFrame::Position][1], frame.m[ObserverFrame::Position][2],
                 frame.m[ObserverFrame::Position][3], 0.0f);
}

Vec4f DocRT::lookat() const {
    return Vec4f(frame.m[ObserverFrame::Forward][1], frame.m[ObserverFrame::Forward][2],
                 frame.m[ObserverFrame::Forward][3], 0.0f);
}

DocRT::ReadScene::ReadScene() = default;
DocRT::ReadScene::ReadScene(ReadScene&&) noexcept = default;
DocRT::ReadScene& DocRT::ReadScene::operator=(ReadScene&&) noexcept = default;
DocRT::ReadScene::~ReadScene() = default;

DocRT::ReadScene DocRT::readScene(const QString& fileName,
                                  const std::function<void(int)>& progress) {
    ReadScene read;
    Reader::ReaderXml reader(fileName);
    reader.setProgress(progress);
    auto newSettings = std::make_unique<RenderSettings>();
    auto newScene = std::make_unique<SceneData>();
    reader.registerSettings(newSettings.get());
    reader.registerScene(newScene.get());

    if (!reader.parse()) {
        read.problem = reader.errorText();
        return read;
    }
    if (progress) progress(100);  // read; what follows (the tree build) cannot tell how far
    // A file whose objects have no texture at all to be drawn with is refused now.
    read.problem = newScene->missingTextureProblem();
    if (!read.problem.isEmpty()) return read;
    auto newTree = std::make_unique<KDTree>();
    try {
        newScene->resolve();
        newScene->placeAtHole(newSettings->bhpos, newSettings->bhradius);
        newTree->addInterval(newScene->objects.items, 0);
    } catch (const ProgrammingError& e) {
        read.problem = QString::fromStdString(e.what());
        return read;
    }
    read.warnings = newScene->referenceWarnings();
    read.settings = std::move(newSettings);
    read.scene = std::move(newScene);
    read.tree = std::move(newTree);
    return read;
}

bool DocRT::loadFile(const QString& fileName, const std::function<void(int)>& progress) {
    return takeScene(readScene(fileName, progress), fileName);
}

bool DocRT::takeScene(ReadScene&& read, const QString& fileName) {
    if (!read.problem.isEmpty() || !read.scene || !read.settings || !read.tree) {
        reportError(tr("Error reading file ") + fileName, read.problem);
        return false;
    }
    warnings = read.warnings;

    delete pendingSettings;
    disposal.dispose(pendingScene);
    pendingSettings = read.settings.release();
    pendingScene = read.scene.release();
    disposal.dispose(std::move(pendingTree));
    pendingTree = std::move(read.tree);
    eyeChanged = false;
    pendingAction = LoadedScene;
    pendingSettings->settingsToFrame(frame);
    emit updateEyes();
    if (!warnings.isEmpty()) emit sceneWarnings(fileName, warnings);
    return true;
}

bool DocRT::saveFile(const QString& fileName, QString* error) {
    if (pendingAction == NothingPending) settleRestore();  // an undo under way is what is shown
    SceneData* scene = sceneData;
    RenderSettings stored(*settings);
    std::unique_ptr<SceneData> builtIn;
    if (pendingAction == LoadedScene && pendingScene && pendingSettings) {
        scene = pendingScene;
        stored = *pendingSettings;
    } else if (pendingAction == BuiltInScene) {
        builtIn = std::make_unique<SceneData>();
        makeBuiltInScene(*builtIn, stored);
        scene = builtIn.get();
    } else if (restoredScene) {
        scene = restoredScene;
    }
    Reader::ReaderXml writer(fileName);
    // The observer's time belongs to the viewing, not to the scene: files store time 0.
    stored.start.w = 0.0f;
    writer.registerSettings(&stored);
    writer.registerScene(scene);
    QByteArray text;
    {
        QTextStream stream(&text, QIODevice::WriteOnly);
        writer.write(stream);
        stream.flush();
    }
    QString reason;
    if (SafeFile::write(fileName, text, &reason)) return true;
    if (error)
        *error = reason;
    else
        reportError(tr("Error saving file ") + fileName, reason);
    return false;
}

void DocRT::setEye(const Eye& newEye) {
    const Eye before = nextFrameEye();
    eye = newEye;
    eyeChanged = true;
    if (newEye != before) emit eyeEdited(before, newEye);
}

void DocRT::restoreEye(const Eye& newEye) {
    eye = newEye;
    eyeChanged = true;
    emit updateEyes();
}

const Eye& DocRT::nextFrameEye() const {
    if (eyeChanged) return eye;
    if (pendingAction == LoadedScene && pendingSettings) return pendingSettings->eye;
    return settings->eye;
}

void DocRT::setBackground(const uint8_t rgba[4]) {
    for (int i = 0; i < 4; ++i) requestedBackground[i] = rgba[i];
    backgroundChanged = true;
}

void DocRT::setMaxBundleSize(int n) {
    requestedBundleSize = n;
    maxBundleSizeChanged = true;
}

void DocRT::background(uint8_t rgba[4]) const {
    for (int i = 0; i < 4; ++i)
        rgba[i] = backgroundChanged ? requestedBackground[i] : settings->background[i];
}

int DocRT::maxBundleSize() const {
    return maxBundleSizeChanged ? requestedBundleSize : settings->maxBundleSize;
}

void DocRT::loadStartPosition() { startPositionRequested = true; }

bool DocRT::setObserverTime(double t) { return observerClock.setTime(t, clockMs()); }

void DocRT::setObserverTimeFrozen(bool frozen) { observerClock.setFrozen(frozen, clockMs()); }

void DocRT::holdObserverTime(bool hold) {
    if (hold)
        observerClock.hold(clockMs());
    else
        observerClock.release(clockMs());
}

bool DocRT::applyPendingChanges() {
    if (eyeChanged) {
        eyeChanged = false;
        settings->eye = eye;
    }
    if (startPositionRequested) {
        startPositionRequested = false;
        frame = startFrame;
    }
    if (backgroundChanged) {
        backgroundChanged = false;
        for (int i = 0; i < 4; ++i) settings->background[i] = requestedBackground[i];
    }
    if (maxBundleSizeChanged) {
        maxBundleSizeChanged = false;
        settings->maxBundleSize = requestedBundleSize;
    }

    if (pendingAction == NothingPending) {
        settings->frameToSettings(frame);
        // An undo's scene read aside is taken over once read; edits recorded meanwhile were
        // made on the scene it replaces, and wait for it rather than be applied to that.
        if (restoring.valid() &&
            (sceneData->hasPendingChanges() ||
             restoring.wait_for(std::chrono::seconds(0)) == std::future_status::ready))
            settleRestore();
        if (restoredScene) {
            settleSnapshot();
            disposal.dispose(sceneData);
            sceneData = restoredScene;
            restoredScene = nullptr;
            contentChanged();
            const Vec4f& hole = settings->bhpos;
            const bool sameHole = restoredHole.x == hole.x && restoredHole.y == hole.y &&
                                  restoredHole.z == hole.z && restoredHole.w == hole.w &&
                                  restoredHoleRadius == settings->bhradius;
            if (restoredTree && sameHole) {
                tree->adoptBuild(*restoredTree, sceneData->objects.items);
                disposal.dispose(std::move(restoredTree));
                treeHoldsScene = true;
                graftedSinceBuild = 0;
            } else {
                disposal.dispose(std::move(restoredTree));
                rebuildTree();  // read aside for another black hole, or not read aside
            }
        } else if (sceneData->hasPendingChanges()) {
            applySceneEdits();
        }
        const int now = clockMs();
        if (recorder.mode() == Recorder::Recording) {
            FlyPathPoint point;
            point.frame = frame;
            point.speed = settings->speed;
            point.time = now / 1000.0;
            point.observerTime = observerClock.time(now);
            recorder.addPoint(point);
        } else if (recorder.mode() == Recorder::Playing && recorder.isWithin(now)) {
            const FlyPathPoint state = recorder.stateAt(now / 1000.0, false);
            frame = state.frame;
            settings->speed = state.speed;
            observerClock.setTime(state.observerTime, now);
        }
        settings->start.w = float(observerClock.time(now));
        return false;
    }

    // A loaded or new scene replaces whatever an undo was about to restore.
    settleSnapshot();
    dropRestore();
    disposal.dispose(restoredScene);
    restoredScene = nullptr;
    if (pendingAction == LoadedScene) {
        if (!pendingScene || !pendingSettings || !pendingTree) {
            pendingAction = NothingPending;  // never take over a scene that is not there
            return false;
        }
        disposal.dispose(sceneData);
        delete settings;
        sceneData = pendingScene;
        settings = pendingSettings;
        pendingScene = nullptr;
        pendingSettings = nullptr;
        tree->adoptBuild(*pendingTree, sceneData->objects.items);
        disposal.dispose(std::move(pendingTree));  // the old tree's nodes and lists now
        treeHoldsScene = true;
        graftedSinceBuild = 0;
        settings->settingsToFrame(startFrame);
        startPositionRequested = false;
        contentChanged();
    } else if (pendingAction == BuiltInScene) {
        buildBuiltInScene();
        contentChanged();
    }

    recorder.clear();
    // A loaded scene came with its tree (read and built on the reader's thread).
    if (pendingAction != LoadedScene) rebuildTree();
    pendingAction = NothingPending;
    settings->settingsToFrame(frame);
    // A new scene is seen from its beginning: its moving bodies at their reference events.
    observerClock.setTime(0.0, clockMs());
    settings->start.w = 0.0f;
    return true;
}

DocRT::SceneCounts DocRT::countsAfterPendingEdits() const {
    SceneCounts counts;
    counts.objects = int(sceneData->objects.visibleEntries().size());
    counts.textures = int(sceneData->textures.visibleEntries().size());
    counts.colors = int(sceneData->colors.visibleEntries().size());
    return counts;
}

QString DocRT::whatSceneLacks(const SceneCounts& counts) {
    if (counts.objects > 0 && counts.textures == 0)
        return tr("The scene's objects need at least one texture.");
    if (counts.colors == 0) return tr("The scene needs at least one colour.");
    return QString();
}

QString DocRT::sceneText() const { return QString::fromUtf8(sceneUtf8()); }

QByteArray DocRT::sceneUtf8() const { return utf8Of(sceneData); }

// Written as UTF-8 directly: a million objects' text is 260 MB as a string, half that in UTF-8.
QByteArray DocRT::utf8Of(SceneData* scene) {
    Reader::ReaderXml writer;
    writer.registerScene(scene);
    QByteArray text;
    QTextStream stream(&text);
    writer.write(stream);
    stream.flush();
    return text;
}

// Written aside: the render threads read the same items meanwhile, and whatever changes them
// (applyPendingChanges) waits for it first.
SceneSnapshot DocRT::sceneSnapshot() const {
    if (lastSnapshot.isNull() || lastSnapshotGeneration != contentGeneration) {
        lastSnapshot = SceneSnapshot::writtenAside([scene = sceneData] { return utf8Of(scene); });
        lastSnapshotGeneration = contentGeneration;
    }
    snapshotStop.reset();  // given out: whoever holds it will ask for its text
    return lastSnapshot;
}

void DocRT::prepareSceneSnapshot() {
    if (!lastSnapshot.isNull() && lastSnapshotGeneration == contentGeneration) return;
    // The scene shown goes once an undo read aside is taken over: no edit will start from it.
    if (restoring.valid()) return;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    lastSnapshot = SceneSnapshot::writtenAside([scene = sceneData, stop] {
        const Reader::WriteStop stopping(*stop);
        return utf8Of(scene);
    });
    lastSnapshotGeneration = contentGeneration;
    snapshotStop = std::move(stop);
}

void DocRT::settleSnapshot() {
    if (snapshotStop) {
        snapshotStop->store(true);
        lastSnapshot.wait();
        lastSnapshot = SceneSnapshot();  // stopped, or written for a scene about to go
        snapshotStop.reset();
    }
    lastSnapshot.wait();
}

// Emitted as soon as the items have changed, before anything that may report (and so run the
// event loop under a message box): what lists the items must not be drawn from those gone.
void DocRT::contentChanged() {
    ++contentGeneration;
    emit sceneContentChanged();
}

bool DocRT::restoreSceneText(const QString& text) { return restoreSceneUtf8(text.toUtf8()); }

bool DocRT::restoreSnapshot(const SceneSnapshot& snapshot) {
    if (snapshot.storedBytes() < restoreAsideBytes) return restoreSceneUtf8(snapshot.utf8());
    const Vec4f hole = settings->bhpos;
    const float holeRadius = settings->bhradius;
    std::future<ReadScene> read;
    try {
        read = std::async(std::launch::async, [snapshot, hole, holeRadius] {
            return readRestored(snapshot, hole, holeRadius);
        });
    } catch (const std::system_error&) {
        return restoreSceneUtf8(snapshot.utf8());  // no thread to be had: read it here
    }
    dropRestore();
    disposal.dispose(restoredScene);
    restoredScene = nullptr;
    restoring = std::move(read);
    restoringHole = hole;
    restoringHoleRadius = holeRadius;
    dropPendingEdits();
    return true;
}

DocRT::ReadScene DocRT::readRestored(const SceneSnapshot& snapshot, Vec4f hole, float holeRadius) {
    ReadScene read;
    // Whatever goes wrong is reported when the frame step takes the undo over, never thrown
    // there.
    try {
        std::unique_ptr<SceneData> scene = sceneOfText(snapshot.utf8(), read.problem);
        if (!scene) return read;
        auto newTree = std::make_unique<KDTree>();
        scene->placeAtHole(hole, holeRadius);
        newTree->addInterval(scene->objects.items, 0);
        read.scene = std::move(scene);
        read.tree = std::move(newTree);
    } catch (const ProgrammingError& e) {
        read.problem = QString::fromStdString(e.what());
    } catch (const std::bad_alloc&) {
        read.problem = tr("There is not enough memory.");
    } catch (const std::exception& e) {
        read.problem = QString::fromLocal8Bit(e.what());
    }
    return read;
}

void DocRT::settleRestore() {
    if (!restoring.valid()) return;
    ReadScene read = restoring.get();
    if (!read.problem.isEmpty() || !read.scene || !read.tree) {
        reportError(tr("The scene could not be restored"), read.problem);
        return;
    }
    disposal.dispose(restoredScene);
    restoredScene = read.scene.release();
    disposal.dispose(std::move(restoredTree));
    restoredTree = std::move(read.tree);
    restoredHole = restoringHole;
    restoredHoleRadius = restoringHoleRadius;
}

void DocRT::dropRestore() {
    // The future of std::async waits for its thread when it goes: on the disposal thread then.
    if (restoring.valid())
        disposal.dispose(std::make_unique<std::future<ReadScene>>(std::move(restoring)));
    disposal.dispose(std::move(restoredTree));
}

void DocRT::dropPendingEdits() {
    const bool dropsEdits = sceneData->hasPendingChanges();
    sceneData->objects.discardPendingChanges();
    sceneData->textures.discardPendingChanges();
    sceneData->colors.discardPendingChanges();
    sceneData->lights.discardPendingChanges();
    // What lists the dropped edits (the edit dock) lists the scene again now, not at the next
    // frame: its new items and edited copies are gone.
    if (dropsEdits) contentChanged();
}

std::unique_ptr<SceneData> DocRT::sceneOfText(const QByteArray& text, QString& problem) {
    auto scene = std::make_unique<SceneData>();
    Reader::ReaderXml reader;
    reader.registerScene(scene.get());
    if (!reader.parseText(text)) {
        problem = reader.errorText();
        return nullptr;
    }
    SceneCounts counts;
    counts.objects = int(scene->objects.items.size());
    counts.textures = int(scene->textures.items.size());
    counts.colors = int(scene->colors.items.size());
    problem = whatSceneLacks(counts);
    if (!problem.isEmpty()) return nullptr;
    scene->resolve();
    return scene;
}

bool DocRT::restoreSceneUtf8(const QByteArray& text) {
    QString problem;
    std::unique_ptr<SceneData> scene = sceneOfText(text, problem);
    if (!scene) return false;
    dropRestore();
    disposal.dispose(restoredScene);
    restoredScene = scene.release();
    dropPendingEdits();
    return true;
}

void DocRT::applySceneEdits() {
    const QString lack = whatSceneLacks(countsAfterPendingEdits());
    if (!lack.isEmpty()) {
        sceneData->objects.discardPendingChanges();
        sceneData->textures.discardPendingChanges();
        sceneData->colors.discardPendingChanges();
        sceneData->lights.discardPendingChanges();
        contentChanged();
        reportError(tr("Scene not changed"), lack);
        return;
    }
    // The last edit's after, unless changed since, written before anything changes.
    const SceneSnapshot before = sceneSnapshot();
    before.wait();
    const EditFootprint footprint = editFootprint();
    bool applied = true;
    try {
        sceneData->applyPendingChanges();
    } catch (const ProgrammingError&) {
        // rebuildTree resolves again, reports why, and leaves the tree empty.
        applied = false;
    }
    contentChanged();
    if (!applied || !graftEdit(footprint)) rebuildTree();
    emit sceneEdited(before, sceneSnapshot());
}

DocRT::EditFootprint DocRT::editFootprint() const {
    EditFootprint footprint;
    const auto& objects = sceneData->objects;
    for (const auto& change : objects.pendingChanges()) footprint.changed.push_back(change.second);
    footprint.added = objects.pendingAdditions();
    footprint.removed = objects.pendingRemovals();
    footprint.texturesKept = !sceneData->textures.hasPendingChanges();
    return footprint;
}

namespace {

// A leaf that would take more grafted objects than this is built anew in its cell; a graft
// that would put an object into more leaves than this gives way to a build (a big plane or
// box across the scene is better placed by one).
constexpr int kEditGraftPerLeaf = 8;
constexpr int kEditGraftLeavesPerObject = 256;

std::vector<rtObjBase*> sortedUnique(std::vector<rtObjBase*> list) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

}  // namespace

bool DocRT::graftEdit(const EditFootprint& footprint) {
    const size_t objectCount = sceneData->objects.items.size();
    if (!treeHoldsScene || !footprint.texturesKept || objectCount < kGraftEditsFromObjects ||
        !tree->movingBodies().empty())
        return false;
    // Changed objects were changed in place: their entries stand where they were before.
    std::vector<rtObjBase*> dropped = footprint.changed;
    dropped.insert(dropped.end(), footprint.removed.begin(), footprint.removed.end());
    dropped = sortedUnique(std::move(dropped));
    const std::vector<rtObjBase*> removed = sortedUnique(footprint.removed);
    std::vector<rtObjBase*> touched;  // changed or added, and still in the scene
    for (const auto* list : {&footprint.changed, &footprint.added})
        for (rtObjBase* object : *list)
            if (!std::binary_search(removed.begin(), removed.end(), object))
                touched.push_back(object);
    touched = sortedUnique(std::move(touched));
    // The tree drifts from what a build makes as objects are grafted: a build now and then
    // (every 2,000 objects' edits for 200,000 objects) keeps it as fast to trace.
    const size_t count = touched.size() + removed.size();
    if (graftedSinceBuild + count > std::max<size_t>(64, objectCount / 100)) return false;

    try {
        sceneData->resolve();
    } catch (const ProgrammingError&) {
        return false;  // the build reports it
    }
    sceneData->placeAtHole(settings->bhpos, settings->bhradius);
    if (count == 0) return true;  // colours or lights: the tree holds the same objects
    std::vector<rtObjBase*> extras;
    for (rtObjBase* object : touched) {
        // Moving bodies are set apart by a build. Every kind of object is its own primitive
        // (a box makes its faces here); one that is not is left to a build.
        if (object->isMoving()) return false;
        const size_t before = extras.size();
        object->collectPrimitives(extras);
        if (extras.size() != before + 1 || extras.back() != object) return false;
    }
    KDTree grafted;
    if (!grafted.graft(*tree, extras, kEditGraftPerLeaf, kEditGraftLeavesPerObject, dropped))
        return false;
    tree->adoptBuild(grafted, sceneData->objects.items);
    graftedSinceBuild += count;
    return true;
}

void DocRT::rebuildTree() {
    tree->reset();
    treeHoldsScene = false;
    graftedSinceBuild = 0;
    try {
        sceneData->resolve();
    } catch (const ProgrammingError& e) {
        // Objects may still point at removed textures: draw nothing rather than follow them.
        reportError(tr("Scene not changed"), QString::fromStdString(e.what()));
        tree->addInterval({}, 0);
        return;
    }
    sceneData->placeAtHole(settings->bhpos, settings->bhradius);
    try {
        tree->addInterval(sceneData->objects.items, 0);
        treeHoldsScene = true;
    } catch (const ProgrammingError& e) {
        // Keep the program renderable: an empty tree shows the background.
        reportError(tr("Scene could not be prepared"), QString::fromStdString(e.what()));
        tree->reset();
        tree->addInterval({}, 0);
    }
}

void DocRT::buildBuiltInScene() {
    // A new document: nothing of the scene before it stays.
    disposal.dispose(sceneData);
    sceneData = new SceneData();
    makeBuiltInScene(*sceneData, *settings);
}

void DocRT::makeBuiltInScene(SceneData& scene, RenderSettings& settings) {
    settings = RenderSettings();
    scene.addStandardMaterials();
    auto* single = new TextureSingle();
    single->texname = QStringLiteral("mainsingle");
    single->colorName = QStringLiteral("cola");
    scene.addItem(single);

    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k) {
                auto* sphere = new rtObjSphere<1>();
                sphere->radius = 0.5f;
                sphere->texname = QStringLiteral("mainsingle");
                sphere->center = Vec4f(1.04f * i - 0.52f, 1.04f * j - 0.52f,
                                       1.04f * k - 0.52f - 5.0f, 0.0f);
                sphere->update();
                scene.objects.append(sphere);
            }
    scene.resolve();
    settings.bhradius = 1.0f;
    settings.bhpos = Vec4f(0, 0, 0, 0);

    settings.start = Vec4f(0.001f, -0.201f, -3.3601f, 0.0f);
    settings.lookat = Vec4f(0, 0, -1000, 0);
    settings.dirx = Vec4f(1000, 0, 0, 0);
    settings.diry = Vec4f(0, 1000, 0, 0);
    normalize4(settings.dirx);
    normalize4(settings.diry);
    normalize4(settings.lookat);
}
