// load_timer: times the stages of opening a scene file the way the document does it (read and
// parse, resolve the textures, build the kd-tree) and reports the process's peak memory and the
// heap bytes the loaded scene holds per object. Then it opens the file as the window does (read
// and built on a thread of its own) into a document that holds the scene already, and reports
// how long the GUI thread is held: taking the read scene over and the frame step that swaps it in
// (the old scene freed). BUILD_THREADS sets the threads of the timed tree builds (default: every
// processor). With OLD_SCENE the document holds that scene when SCENE replaces it (else SCENE
// itself, whose names then stay held).
//
//   load_timer SCENE [REPEATS [BUILD_THREADS [OLD_SCENE]]]
#include <malloc.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <thread>

#include "accel/kdtree.h"
#include "base/bigbuffer.h"
#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/scenesnapshot.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/rtobjbase.h"
#include "scene/scenedata.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The heap's statistics plus the huge pages that objects and the tree build's lists are mapped in.
size_t heapInUse() { return mallinfo2().uordblks + mallinfo2().hblkhd + bigbuffer::bytesMapped(); }

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: load_timer SCENE [REPEATS [BUILD_THREADS [OLD_SCENE]]]\n");
        return 1;
    }
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 1;
    const int buildThreads = argc > 3 ? std::atoi(argv[3]) : 0;
    for (int r = 0; r < repeats; ++r) {
        const size_t heapBefore = heapInUse();
        auto start = std::chrono::steady_clock::now();
        RenderSettings settings;
        SceneData scene;
        {
            Reader::ReaderXml reader(QString::fromLocal8Bit(argv[1]));
            reader.registerSettings(&settings);
            reader.registerScene(&scene);
            if (!reader.parse()) {
                std::fprintf(stderr, "%s\n", qPrintable(reader.errorText()));
                return 2;
            }
        }
        const double parse = secondsSince(start);
        const size_t heapScene = heapInUse() - heapBefore;
        start = std::chrono::steady_clock::now();
        scene.resolve();
        const double resolve = secondsSince(start);
        start = std::chrono::steady_clock::now();
        KDTree tree;
        if (buildThreads > 0) tree.setBuildThreads(buildThreads);
        tree.addInterval(scene.objects.items, 0);
        const double build = secondsSince(start);
        const size_t heapAll = heapInUse() - heapBefore;
        const size_t objects = scene.objects.items.size();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%zu objects: parse %.3f s, resolve %.3f s, tree %.3f s, total %.3f s, "
                    "scene heap %.1f B/object (%.1f with the tree), tree nodes %zu, leaf entries %zu, "
                    "peak RSS %.1f MB\n",
                    objects, parse, resolve, build, parse + resolve + build,
                    objects ? double(heapScene) / double(objects) : 0.0,
                    objects ? double(heapAll) / double(objects) : 0.0, tree.nodeArray().size(),
                    tree.leaves().size(), double(usage.ru_maxrss) / 1024.0);
    }
    // The window's way: the document holds the scene already, as when one big scene replaces
    // another.
    TraceOutput::setEnabled(false);
    const QString file = QString::fromLocal8Bit(argv[1]);
    DocRT doc;
    if (!doc.loadFile(argc > 4 ? QString::fromLocal8Bit(argv[4]) : file)) return 2;
    doc.applyPendingChanges();
    auto start = std::chrono::steady_clock::now();
    DocRT::ReadScene read = DocRT::readScene(file);
    const double reading = secondsSince(start);
    start = std::chrono::steady_clock::now();
    if (!doc.takeScene(std::move(read), file)) return 2;
    doc.applyPendingChanges();
    const double held = secondsSince(start);
    std::printf("opened as the window does: %.3f s on the reader's thread, GUI thread held "
                "%.1f ms\n",
                reading, held * 1000.0);
    // What every applied edit and every save does once: the scene's text, and packed for undo.
    start = std::chrono::steady_clock::now();
    const QByteArray text = doc.sceneUtf8();
    const double writing = secondsSince(start);
    start = std::chrono::steady_clock::now();
    const SceneSnapshot packed = SceneSnapshot::ofUtf8(text);
    const double packing = secondsSince(start);
    std::printf("the scene's text: written in %.3f s (%.1f MB), packed in %.3f s (%.1f MB)\n",
                writing, double(text.size()) / 1e6, packing, double(packed.storedBytes()) / 1e6);
    // What an undo does: the packed text read back into a scene, which a frame step takes over
    // with a tree built for it; a big one is read aside while frames go on (a frame step every
    // 20 ms here), and the GUI thread is held only by the call and the steps.
    start = std::chrono::steady_clock::now();
    if (!doc.restoreSnapshot(packed)) return 2;
    double undoHeld = secondsSince(start);
    const auto undoStart = start;
    const SceneData* before = doc.getSceneData();
    for (;;) {
        const auto step = std::chrono::steady_clock::now();
        doc.applyPendingChanges();
        undoHeld += secondsSince(step);
        if (doc.getSceneData() != before) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf("an undo: in place after %.3f s, the GUI thread held %.1f ms of it\n",
                secondsSince(undoStart), undoHeld * 1000.0);
    return 0;
}
