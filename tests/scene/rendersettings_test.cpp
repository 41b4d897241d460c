// Render settings: aspect factors, the Doppler read-out, and the optional eye of scene files.
#include <gtest/gtest.h>

#include <cmath>

#include <QFile>
#include <QTextStream>
#include <memory>

#include "scene/dataelem.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"

TEST(RenderSettings, AspectFactorsScaleTheShorterSide) {
    float sx, sy;
    RenderSettings::aspectFactors(200, 100, sx, sy);
    EXPECT_EQ(sx, 1.0f);
    EXPECT_EQ(sy, 0.5f);
    RenderSettings::aspectFactors(100, 400, sx, sy);
    EXPECT_EQ(sx, 0.25f);
    EXPECT_EQ(sy, 1.0f);
}

TEST(RenderSettings, DopplerReadOutIsGammaAtTheCentre) {
    RenderSettings s;
    s.speed = 0.6f;
    EXPECT_NEAR(s.dopplerAt(0, 0), 1.25f, 1e-6);
    // (beta r / t + 1) gamma with r = hypot(u, v), t = sqrt(u^2 + v^2 + 1).
    const double r = std::hypot(0.3, 0.4), t = std::sqrt(0.25 + 1.0);
    EXPECT_NEAR(s.dopplerAt(0.3f, 0.4f), (0.6 * r / t + 1.0) * 1.25, 1e-5);
}

namespace {

struct Scene {
    RenderSettings settings;
    SceneData data;
};

std::unique_ptr<Scene> parseScene(const QByteArray& text, bool* ok = nullptr) {
    auto scene = std::make_unique<Scene>();
    Reader::ReaderXml reader;
    reader.registerSettings(&scene->settings);
    reader.registerScene(&scene->data);
    const bool parsed = reader.parseText(text);
    if (ok) *ok = parsed;
    return scene;
}

QByteArray saveScene(Scene& scene) {
    Reader::ReaderXml writer;
    writer.registerSettings(&scene.settings);
    writer.registerScene(&scene.data);
    QByteArray out;
    QTextStream stream(&out);
    writer.write(stream);
    stream.flush();
    return out;
}

QByteArray fileBytes(const char* path) {
    QFile f(QString::fromUtf8(path));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    return f.readAll();
}

QByteArray withEye(const char* eyeText) {
    return QByteArray("<tavolinfile>\n  <renderSettings>\n    <bhradius>0.5</bhradius>\n    <eye>") +
           eyeText + "</eye>\n  </renderSettings>\n</tavolinfile>\n";
}

}  // namespace

// Every preset and an edited eye survive a save and a load; the element is the last line of
// the render settings, and only an eye other than the default one writes it.
TEST(RenderSettingsEye, EveryEyeSurvivesARoundTrip) {
    std::vector<Eye> eyes;
    for (const EyePreset& preset : eyePresets()) eyes.push_back(preset.eye);
    Eye edited = defaultEye();
    edited.channel[1] = EyeChannel(412.5f, 633.25f, 1001.75f);
    eyes.push_back(edited);
    for (const Eye& eye : eyes) {
        Scene scene;
        scene.settings.eye = eye;
        const QByteArray saved = saveScene(scene);
        const bool named = eye != defaultEye();
        EXPECT_EQ(saved.contains("    <eye>"), named);
        if (named) {
            EXPECT_TRUE(saved.contains("</eye>\n  </renderSettings>\n"));
        }
        bool ok = false;
        auto back = parseScene(saved, &ok);
        ASSERT_TRUE(ok) << saved.toStdString();
        EXPECT_TRUE(back->settings.eye == eye) << saved.toStdString();
        EXPECT_EQ(back->settings.eye.kind, eye.kind);
        EXPECT_EQ(saveScene(*back), saved);
    }
    // The CIE eye by its name; the curves by their nine wavelengths, red first.
    auto cie = parseScene(withEye("cie1931"));
    EXPECT_EQ(cie->settings.eye.kind, EyeKind::Cie1931);
    auto curves = parseScene(withEye(" 400;500;600; 500;600;700 ;600;700;800\n    "));
    EXPECT_EQ(curves->settings.eye.kind, EyeKind::ThreeCurve);
    EXPECT_EQ(curves->settings.eye.channel[0], EyeChannel(400, 500, 600));
    EXPECT_EQ(curves->settings.eye.channel[2], EyeChannel(600, 700, 800));
}

TEST(RenderSettingsEye, UnreadableEyesStopTheLoad) {
    for (const char* text : {"", "cie", "CIE1931", "400;500;600", "400;500;600;500;600;700;600;700",
                             "400;500;600;500;600;700;600;700;800;900",
                             "400;500;600;500;500;700;600;700;800",  // peak not above lo
                             "400;500;600;500;600;700;600;900;800",  // hi below peak
                             "400;500;600;500;600;700;600;700;x", "400;500;inf;500;600;700;600;700;800"}) {
        bool ok = true;
        auto scene = parseScene(withEye(text), &ok);
        EXPECT_FALSE(ok) << text;
        EXPECT_EQ(scene->settings.eye, defaultEye()) << text;
    }
}
