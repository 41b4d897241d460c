// Blackbody colours in scene files: their own tag after the original ones, found by name like any
// colour, written with temperature and luminance only, and read back into the same lines.
#include <gtest/gtest.h>

#include <QTextStream>

#include "scene/colblackbody.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"

namespace {

QByteArray save(RenderSettings& settings, SceneData& scene) {
    Reader::ReaderXml writer;
    writer.registerSettings(&settings);
    writer.registerScene(&scene);
    QByteArray out;
    QTextStream stream(&out);
    writer.write(stream);
    stream.flush();
    return out;
}

}  // namespace

TEST(BlackbodyFile, WrittenLastWithItsPropertiesAndReadBack) {
    RenderSettings settings;
    SceneData scene;
    scene.addItem(new ColBlackbody(QStringLiteral("sun"), 5800.0f, 0.75f));
    const QByteArray text = save(settings, scene);
    EXPECT_TRUE(
        text.contains("  <newblackbody>\n    <temperature>5800</temperature>\n"
                      "    <luminance>0.75</luminance>\n    <colname>sun</colname>\n"
                      "  </newblackbody>\n</tavolinfile>\n"))
        << text.toStdString();
    EXPECT_FALSE(text.contains("(205;")) << "no spectrum text for blackbody colours";

    RenderSettings settings2;
    SceneData loaded;
    Reader::ReaderXml reader;
    reader.registerSettings(&settings2);
    reader.registerScene(&loaded);
    ASSERT_TRUE(reader.parseText(text)) << reader.errorText().toStdString();
    ColDiscrete* found = loaded.colors.get(QStringLiteral("sun"));
    auto* body = dynamic_cast<ColBlackbody*>(found);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->temperature, 5800.0f);
    EXPECT_EQ(body->count(), 561);
    const ColBlackbody reference(QStringLiteral("sun"), 5800.0f, 0.75f);
    EXPECT_EQ(body->intensities, reference.intensities);
    EXPECT_EQ(save(settings2, loaded), text);
}

TEST(BlackbodyFile, AttributesAndEmptyBlocksAndPlainColoursUnchanged) {
    RenderSettings settings;
    SceneData scene;
    Reader::ReaderXml reader;
    reader.registerSettings(&settings);
    reader.registerScene(&scene);
    ASSERT_TRUE(
        reader.parseText("<tavolinfile><newblackbody temperature=\"3000\" colname=\"ember\">"
                         "</newblackbody><newblackbody></newblackbody>"
                         "<newcolor><colname>c</colname></newcolor></tavolinfile>"));
    auto* ember = dynamic_cast<ColBlackbody*>(scene.colors.get(QStringLiteral("ember")));
    ASSERT_NE(ember, nullptr);
    EXPECT_EQ(ember->temperature, 3000.0f);
    EXPECT_EQ(ember->luminance, 1.0f);
    EXPECT_GT(ember->count(), 500);
    EXPECT_EQ(dynamic_cast<ColBlackbody*>(scene.colors.get(QStringLiteral("c"))), nullptr);
    // "newcolor" does not write blackbody colours, and a plain colour is no blackbody.
    const QByteArray text = save(settings, scene);
    EXPECT_EQ(text.count("<newcolor>"), 2);  // "default" and "c"
    EXPECT_EQ(text.count("<newblackbody>"), 2);
}
