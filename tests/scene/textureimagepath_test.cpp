// Image-texture file names that are not absolute are found beside the scene file, whatever the
// working directory: a scene and its images can be moved together.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"
#include "scene/textureimage.h"

namespace {

// A one-pixel picture of the given colour at path (folders made as needed).
void writePixel(const QString& path, QRgb colour) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(1, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, colour);
    ASSERT_TRUE(image.save(path));
}

// Reads the scene file and resolves it as the document does after loading.
TextureImage* loadImageTexture(const QString& sceneFile, SceneData& scene) {
    RenderSettings settings;
    Reader::ReaderXml reader(sceneFile);
    reader.registerSettings(&settings);
    reader.registerScene(&scene);
    EXPECT_TRUE(reader.parse()) << reader.errorText().toStdString();
    scene.resolve();
    return dynamic_cast<TextureImage*>(scene.textures.get(QStringLiteral("picture")));
}

// Restores the working directory whatever the test does.
struct WorkingDirectory {
    QString saved = QDir::currentPath();
    ~WorkingDirectory() { QDir::setCurrent(saved); }
};

}  // namespace

TEST(TextureImagePath, RelativeNamesAreFoundBesideTheSceneFileFromAnyWorkingDirectory) {
    WorkingDirectory keep;
    QTemporaryDir sceneDir, elsewhere;
    ASSERT_TRUE(sceneDir.isValid() && elsewhere.isValid());
    writePixel(sceneDir.filePath(QStringLiteral("images/wall.png")), qRgb(200, 10, 30));
    // The same relative name under the working directory is another picture: it must not win.
    writePixel(elsewhere.filePath(QStringLiteral("images/wall.png")), qRgb(5, 250, 5));
    const QString absolute = elsewhere.filePath(QStringLiteral("absolute.png"));
    writePixel(absolute, qRgb(7, 8, 9));

    const struct {
        QString name;
        QRgb expected;
    } cases[] = {{QStringLiteral("images/wall.png"), qRgb(200, 10, 30)},
                 {QStringLiteral("./images/../images/wall.png"), qRgb(200, 10, 30)},
                 {absolute, qRgb(7, 8, 9)}};
    for (const auto& c : cases) {
        const QString sceneFile = sceneDir.filePath(QStringLiteral("scene.tavolin"));
        QFile file(sceneFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<tavolinfile><newtextureimage><texname>picture</texname>"
                   "<imagefilename>" +
                   c.name.toUtf8() + "</imagefilename></newtextureimage></tavolinfile>");
        file.close();

        ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
        SceneData scene;
        TextureImage* texture = loadImageTexture(sceneFile, scene);
        ASSERT_NE(texture, nullptr);
        ASSERT_TRUE(texture->hasImage()) << c.name.toStdString();
        EXPECT_EQ(texture->imageWord(0, 0) & 0xffffffu, c.expected & 0xffffffu)
            << c.name.toStdString();
        // The file keeps the name as written: saved again, the scene still moves as one.
        EXPECT_EQ(texture->imageFileName, c.name);
    }
}

TEST(TextureImagePath, ASceneNotReadFromAFileTakesNamesAsTheyStand) {
    WorkingDirectory keep;
    QTemporaryDir here;
    ASSERT_TRUE(here.isValid());
    writePixel(here.filePath(QStringLiteral("tile.png")), qRgb(90, 80, 70));
    ASSERT_TRUE(QDir::setCurrent(here.path()));
    TextureImage texture;
    texture.imageFileName = QStringLiteral("tile.png");
    EXPECT_EQ(texture.imagePath(), QStringLiteral("tile.png"));
    ASSERT_TRUE(texture.loadImage());
    EXPECT_EQ(texture.imageWord(0, 0) & 0xffffffu, qRgb(90, 80, 70) & 0xffffffu);
}
