// A scene read on a thread of its own (the window opening a big file) while this thread draws the
// document: once taken over, its tree, built on the reader's thread, draws exactly what a tree
// built in place draws, moving bodies included.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <thread>
#include <vector>

#include "tests/engine/doctesthelpers.h"

namespace {

constexpr int kW = 64, kH = 48;

// Spheres at rest ahead, and a cube and a sphere flying across the view.
const QByteArray kScene =
    "<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>1;0;0;0</lookat>"
    "<dirx>0;0;-1;0</dirx><diry>0;1;0;0</diry></renderSettings>"
    "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname></newcolor>"
    "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>"
    "<sphere><center>9;2;1;0</center><radius>1</radius><texname>plain</texname></sphere>"
    "<sphere><center>12;-3;-2;0</center><radius>1.5</radius><texname>plain</texname></sphere>"
    "<sphere><center>6;0;2;0</center><radius>0.8</radius><texname>plain</texname>"
    "<velocity>0;-0.6;0;0</velocity></sphere>"
    "<cube><pos>5;-1;-2;0</pos><x>1;0;0;0</x><y>0;1;0;0</y><z>0;0;1;0</z>"
    "<texxy>plain</texxy><texyz>plain</texyz><texzx>plain</texzx>"
    "<velocity>0;0.7;0;0</velocity></cube></tavolinfile>";

}  // namespace

TEST(SceneRead, TreeBuiltOnTheReadersThreadDrawsAsOneBuiltInPlace) {
    doctest::TraceOutputOff quiet;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = doctest::writeFile(dir, QStringLiteral("flying.tavolin"), kScene);

    DocRT doc;
    doc.requestBuiltInScene();
    doc.applyPendingChanges();  // drawn while the file is read
    DocRT::ReadScene read;
    std::thread reader([&] { read = DocRT::readScene(file); });
    const std::vector<uint32_t> builtIn = doctest::trace(doc, *doc.getSettings(), kW, kH);
    reader.join();
    ASSERT_TRUE(read.problem.isEmpty()) << read.problem.toStdString();
    ASSERT_TRUE(doc.takeScene(std::move(read), file));
    doc.applyPendingChanges();

    for (const bool travel : {false, true})
        for (const int packet : {1, 4}) {
            RenderSettings s = *doc.getSettings();
            s.lightTravelTime = travel;
            s.maxBundleSize = packet;
            const std::vector<uint32_t> adopted = doctest::trace(doc, s, kW, kH);
            // The same items restored as an undo does: a tree built in place.
            ASSERT_TRUE(doc.restoreSceneText(doc.sceneText()));
            doc.applyPendingChanges();
            const std::vector<uint32_t> rebuilt = doctest::trace(doc, s, kW, kH);
            const long shown = std::count_if(rebuilt.begin(), rebuilt.end(),
                                             [&](uint32_t p) { return p != rebuilt.front(); });
            EXPECT_GT(shown, kW * kH / 20) << "the bodies are in view";
            EXPECT_TRUE(adopted == rebuilt) << "light travel time " << travel << ", packet "
                                            << packet;
            EXPECT_FALSE(adopted == builtIn);
        }
}
