// Fuzz target: arbitrary bytes as a scene file. What parses is resolved as the document does on
// a load, put into a kd-tree and rendered as a tiny frame on this thread, so that geometry from a
// hostile file goes through the build, the traversal and the shading.
#include <QByteArray>

#include "engine/pixelbuffer.h"
#include "engine/timert.h"
#include "fuzz/fuzzsupport.h"
#include "accel/kdtree.h"
#include "base/programmingerror.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"

namespace {
constexpr int kSide = 8;  // the frame is kSide x kSide pixels
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RenderSettings settings;
    SceneData scene;
    Reader::ReaderXml reader;
    reader.registerSettings(&settings);
    reader.registerScene(&scene);
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                     qsizetype(size));
    if (!reader.parseText(bytes)) {
        if (reader.errorText().isEmpty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    try {
        scene.resolve();  // the document refuses objects that name textures when there are none
    } catch (const ProgrammingError&) {
        return 0;
    }

    // One tree for the whole run, rebuilt per input as the document does: its black-hole path
    // table is regenerated only when the observer's distance or the hole changes, which keeps
    // inputs with light bending from spending most of the run on the same table.
    static KDTree& tree = *new KDTree;
    tree.reset();
    tree.addInterval(scene.objects.items, 0);

    // The packet size, speed and light bending follow from the input's length, so that every
    // input is replayed exactly as it ran.
    static const int kBundles[3] = {1, 2, 4};
    settings.maxBundleSize = kBundles[size % 3];
    settings.speed = (size / 3) % 2 ? 0.6f : 0.0f;
    settings.lightBending = (size / 6) % 4 == 0;

    PixelBuffer buffer;
    if (!buffer.setSize(kSide, kSide, 1)) __builtin_trap();
    TimeRT engine;
    engine.raytracePic(&settings, &scene, &tree, &buffer);
    {
        fuzz::WorkerRounding rounding;
        while (!engine.runTask()) {
        }
        engine.tasksFinished();
    }
    return 0;
}
