// The document: the scene, the render settings with the observer, the kd-tree, the observer's
// moving frame, the document clock and the fly-path recorder. Every change (a loaded scene, a new
// eye, edits, recording) is stored as a request and applied between two frames by
// applyPendingChanges(), so that settings, scene and tree stay constant while a frame renders.
// GUI thread only; the document takes no lock.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "base/disposal.h"
#include "engine/observerclock.h"
#include "engine/recorder.h"
#include "engine/scenesnapshot.h"
#include "geometry/observerframe.h"
#include "geometry/vec4f.h"
#include "scene/eye.h"

class ColorCol;
class KDTree;
class SceneData;
class TextureCol;
struct RenderSettings;
class rtObjBase;

class alignas(16) DocRT : public QObject {
    Q_OBJECT
public:
    enum PendingAction { NothingPending = 0, LoadedScene = 1, BuiltInScene = 4 };

    // Reports a user-facing error (title, text): a message box in the desktop program, standard
    // error in the headless renderer. Without a reporter the text goes to standard error.
    using ErrorReporter = std::function<void(const QString& title, const QString& text)>;
    static void setErrorReporter(ErrorReporter reporter);
    static void reportError(const QString& title, const QString& text);

    DocRT();
    ~DocRT() override;

    // Reads a scene file into a pending scene; false (after reporting the error) when it cannot
    // be read, leaving the current scene, observer and fly path untouched.
    // progress, when given, hears how far the reading has come in percent.
    bool loadFile(const QString& fileName, const std::function<void(int)>& progress = {});

    // loadFile in two halves, so that a window can read a big scene on a thread of its own and
    // stay live. readScene reads the file, resolves the scene and builds its tree; it touches
    // nothing of any document and reports nothing, so it may run on any thread. takeScene (GUI
    // thread) then makes the result the pending scene, or reports why it could not be read,
    // exactly as loadFile does. progress hears 100 once the file is read, before the tree build.
    struct ReadScene {
        ReadScene();
        ReadScene(ReadScene&&) noexcept;
        ReadScene& operator=(ReadScene&&) noexcept;
        ~ReadScene();
        std::unique_ptr<RenderSettings> settings;
        std::unique_ptr<SceneData> scene;
        std::unique_ptr<KDTree> tree;  // of scene's objects, placed at the settings' black hole
        QStringList warnings;          // as loadWarnings() gives them
        QString problem;               // why the file cannot be opened; empty when it can
    };
    static ReadScene readScene(const QString& fileName,
                               const std::function<void(int)>& progress = {});
    bool takeScene(ReadScene&& read, const QString& fileName);
    // What the last successful load found that still renders but is likely a mistake (names
    // that are not defined, names defined twice), one sentence each; also announced by
    // sceneWarnings() so that the window can show them.
    const QStringList& loadWarnings() const { return warnings; }
    // Writes the settings and the scene atomically (SafeFile): a failure leaves an existing
    // file as it was and returns false with the reason, naming the file, in *error. Without an
    // error pointer the failure is reported through the error reporter, so that it is never
    // silent. What is written is what the window shows from the next frame on: a loaded scene,
    // an undo's or the new built-in scene still waiting for the frame step, else the current
    // one; a save made at once after Open, Undo or New must not write the scene before it.
    // (Edits recorded in the dock but not yet applied are not written: applying them puts them
    // on the undo stack, which marks the document changed again.)
    bool saveFile(const QString& fileName, QString* error = nullptr);
    // Applies everything requested since the last frame; true when a loaded or built-in scene
    // was taken over.
    bool applyPendingChanges();

    // ---- what the edit dock may do, and undoing what it did

    // How many objects, textures and colours the scene lists once its recorded edits are applied.
    struct SceneCounts {
        int objects = 0;
        int textures = 0;
        int colors = 0;
    };
    SceneCounts countsAfterPendingEdits() const;
    // Why a scene of these counts cannot be drawn (objects without any texture, no colour for
    // textures); empty when it can. Objects and textures fall back on the first texture or
    // colour for a name they do not find, so one of each is all they need.
    static QString whatSceneLacks(const SceneCounts& counts);
    // The scene's items (not the render settings) as scene-file text, and that text in UTF-8.
    QString sceneText() const;
    QByteArray sceneUtf8() const;
    // sceneText() packed, written only when the items have changed since the last snapshot: the
    // text after one edit is the one before the next, in the same memory. Written aside, while
    // frames go on; the next change of the items (applyPendingChanges) waits for it.
    SceneSnapshot sceneSnapshot() const;
    // Starts writing sceneSnapshot()'s text aside ahead of need, unless it is written or being
    // written already: the edit dock asks when it is shown, so that the first edit of a big
    // scene does not wait for the text before it. A load, a new scene or an undo that comes
    // before any edit stops it (within a few milliseconds) instead of waiting for it.
    void prepareSceneSnapshot();
    // Requests the scene's items to be replaced by those of text (from sceneText()) at the next
    // frame, keeping the settings and the observer; recorded edits not yet applied are dropped.
    // False, with the document unchanged, when the text does not make a drawable scene.
    bool restoreSceneText(const QString& text);
    // The same for an undo's or a redo's snapshot. A big one (packed into restoreAsideBytes or
    // more) is read, resolved and given its tree on a thread of its own while the frames of
    // the scene before it go on, so that an undo does not hold the window for seconds; the
    // first frame step that finds it done takes it over, and one with edits recorded waits for
    // it (the edits are dropped with the scene they were made on, as with any undo). A save
    // waits for it too. True then at once; a text that cannot be read is reported when it is
    // found out (never for the program's own snapshots).
    bool restoreSnapshot(const SceneSnapshot& snapshot);
    // Whether an undo's scene is still being read aside.
    bool restoreUnderWay() const { return restoring.valid(); }
    // Big enough to be read aside: 512 KiB packed, some 4 MB of text or 30,000 spheres.
    qsizetype restoreAsideBytes = qsizetype(512) << 10;

    RenderSettings* getSettings() const { return settings; }
    SceneData* getSceneData() const { return sceneData; }
    KDTree* getTree() const { return tree; }
    ColorCol& colors() const;
    TextureCol& textures() const;
    Recorder& getRecorder() { return recorder; }
    ObserverFrame& observerFrame() { return frame; }
    Vec4f position() const;
    Vec4f lookat() const;
    // Milliseconds since the document was created: frame times, observer time, recorder times.
    int clockMs() const { return int(clock.elapsed()); }

    // ---- the observer's time T (seconds, scene frame), the start.w of every frame

    // A document state, not stored in scene files: every frame step (applyPendingChanges)
    // writes it into the settings' start.w. It starts frozen at 0 (the headless renderer's still
    // picture); a newly taken-over scene starts at 0 again, frozen or running as before. While
    // a fly path is recorded every point keeps T; while one plays, T follows the recording.
    double observerTime() const { return observerClock.time(clockMs()); }
    // False, and T unchanged, for a time that is not finite.
    bool setObserverTime(double t);
    bool isObserverTimeFrozen() const { return observerClock.isFrozen(); }
    void setObserverTimeFrozen(bool frozen);
    // The live loop stops T while it holds its frames back (menus, modal dialogs), so that the
    // picture goes on where it stopped.
    void holdObserverTime(bool hold);
    bool isObserverTimeHeld() const { return observerClock.isHeld(); }

    // Requests, applied at the next frame.
    void setEye(const Eye& eye);
    // setEye without announcing an edit, then updateEyes(): undo and redo of an eye edit.
    void restoreEye(const Eye& eye);
    const Eye& requestedEye() const { return eye; }
    // The eye the next frame renders with: the requested one while it waits, else that of a
    // loaded scene waiting to be taken over, else the current settings' eye. The eye dialog
    // shows it when it opens and when the document announces updateEyes().
    const Eye& nextFrameEye() const;
    void setBackground(const uint8_t rgba[4]);
    void setMaxBundleSize(int n);
    void requestBuiltInScene() { pendingAction = BuiltInScene; }
    int pendingActionCode() const { return pendingAction; }
    // The requested value while one is pending, else the current one.
    void background(uint8_t rgba[4]) const;
    int maxBundleSize() const;

    // Objects whose edits were grafted into the scene's tree since it was last built (0 after
    // a build): an edit that changes a few objects of a big scene puts them into the tree as
    // it stands instead of building it anew (a second for 200,000 objects).
    size_t objectsGraftedSinceBuild() const { return graftedSinceBuild; }
    // The fewest objects a scene must have for its edits to be grafted; smaller scenes build
    // in a few tens of milliseconds, and the tree stays the one a build makes.
    static constexpr size_t kGraftEditsFromObjects = 20000;

signals:
    void updateEyes();
    // setEye() asked for an eye other than the one the next frame would have used: an edit of
    // the document (the scene file stores its eye), from before to after.
    void eyeEdited(const Eye& before, const Eye& after);
    // A scene was read with warnings (see loadWarnings()).
    void sceneWarnings(const QString& fileName, const QStringList& warnings);
    // The scene's items changed, or the edits recorded for them were dropped: whatever lists
    // them (the edit dock) lists them again.
    void sceneContentChanged();
    // The edit dock's recorded edits were applied: the scene's items before and after, as
    // sceneSnapshot() gives them. Not emitted for loaded or restored scenes.
    void sceneEdited(const SceneSnapshot& before, const SceneSnapshot& after);

public slots:
    void loadStartPosition();

private:
    void buildBuiltInScene();
    // The scene and settings of a new document, into fresh records.
    static void makeBuiltInScene(SceneData& scene, RenderSettings& settings);
    void rebuildTree();
    // The objects that the recorded edits touch, taken before they are applied.
    struct EditFootprint {
        std::vector<rtObjBase*> changed, added, removed;
        bool texturesKept = false;  // no texture added, changed or removed
    };
    EditFootprint editFootprint() const;
    // Puts an applied edit's objects into the tree as it stands (KDTree::graft), its changed
    // and removed objects' old entries left out; false, the tree untouched, where the edit
    // needs a build: small scenes, moving bodies, texture edits (a box's faces keep their
    // textures), many objects grafted since the last build, or a graft that would spread.
    bool graftEdit(const EditFootprint& footprint);
    // Applies the recorded edits, or drops them with a message when they would leave the scene
    // without what it needs.
    void applySceneEdits();
    bool restoreSceneUtf8(const QByteArray& text);
    // The scene of an undo's text, resolved; null with problem set when it makes no scene.
    static std::unique_ptr<SceneData> sceneOfText(const QByteArray& text, QString& problem);
    static QByteArray utf8Of(SceneData* scene);
    // Emits sceneContentChanged, the items' snapshot out of date from now on.
    void contentChanged();

    RenderSettings* settings = nullptr;
    SceneData* sceneData = nullptr;
    QElapsedTimer clock;
    ObserverClock observerClock;
    Recorder recorder;
    int pendingAction = NothingPending;
    KDTree* tree = nullptr;
    RenderSettings* pendingSettings = nullptr;
    SceneData* pendingScene = nullptr;
    std::unique_ptr<KDTree> pendingTree;  // pendingScene's, built with it
    // Scenes and trees the document is done with are freed here, not on the GUI thread: a big
    // scene's names and objects take a third of a second to give back.
    Disposal disposal;
    // Whether the tree holds the scene's items (built for them or grafted up to them), and
    // how many objects have been grafted into it since its build.
    bool treeHoldsScene = false;
    size_t graftedSinceBuild = 0;
    SceneData* restoredScene = nullptr;  // from restoreSceneText, waiting for the next frame
    // An undo's scene being read aside (restoreSnapshot), and the black hole its disk was placed
    // at; once read it becomes restoredScene with restoredTree.
    std::future<ReadScene> restoring;
    Vec4f restoringHole;
    float restoringHoleRadius = 0.0f;
    std::unique_ptr<KDTree> restoredTree;  // restoredScene's when read aside; else built later
    Vec4f restoredHole;
    float restoredHoleRadius = 0.0f;
    // The scene, its tree and nothing else from an undo's text, placed at the black hole: what
    // restoreSceneUtf8 and the frame step do, for any thread.
    static ReadScene readRestored(const SceneSnapshot& snapshot, Vec4f hole, float holeRadius);
    // Waits for the scene being read aside and makes it restoredScene; a failure is reported.
    void settleRestore();
    // Lets go of the scene being read aside or waiting with its tree: freed once read.
    void dropRestore();
    // Drops the recorded edits not yet applied, as an undo does; tells the lists if there were.
    void dropPendingEdits();
    // Counts the changes of the scene's items; the snapshot last written, and at which count.
    uint64_t contentGeneration = 0;
    mutable SceneSnapshot lastSnapshot;
    mutable uint64_t lastSnapshotGeneration = 0;
    // Set while lastSnapshot was written ahead of need and not given out yet: it may be stopped.
    mutable std::shared_ptr<std::atomic<bool>> snapshotStop;
    // Waits for lastSnapshot before the items change, stopping it first if nobody holds it.
    void settleSnapshot();
    ObserverFrame frame;
    Eye eye;
    bool eyeChanged = false;
    uint8_t requestedBackground[4] = {0, 0, 0, 255};
    bool backgroundChanged = false;
    int requestedBundleSize = 2;
    bool maxBundleSizeChanged = false;
    bool startPositionRequested = false;
    ObserverFrame startFrame;
    QStringList warnings;
};
