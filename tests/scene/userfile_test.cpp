// User files: at the limit read whole, past it refused with path and reason, buffer untouched.
// Scene files have a limit of their own, far above the fly paths': the program's own text of a
// scene of a million objects must read back. (Pipes, devices, folders and missing files:
// tests/engine/hostilescene_test.cpp.)
#include "scene/userfile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "scene/readerxml.h"
#include "scene/scenedata.h"

TEST(UserFile, ReadsPlainFilesAndRefusesOversizedOnes) {
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.tavolin"), huge = dir.filePath("huge.tavolin");
    {
        QFile f(plain), g(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && g.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 'a'));
        ASSERT_TRUE(g.resize(UserFile::kMaxBytes + 1));  // sparse: no disk space
    }
    QByteArray bytes = "untouched";
    QString error;
    EXPECT_FALSE(UserFile::read(huge, bytes, error));
    EXPECT_TRUE(error.startsWith("Could not read " + huge + ": ")) << error.toStdString();
    EXPECT_TRUE(error.contains("larger than 64 MiB")) << error.toStdString();
    EXPECT_FALSE(UserFile::read(plain, bytes, error, 4999));
    EXPECT_EQ(bytes, "untouched");
    EXPECT_TRUE(UserFile::read(plain, bytes, error, 5000));
    EXPECT_EQ(bytes, QByteArray(5000, 'a'));
}

// A scene file past the fly paths' limit is read (and then judged by its text); one past the
// scenes' own limit is refused before a byte is read.
TEST(UserFile, SceneFilesHaveTheirOwnLimit) {
    QTemporaryDir dir;
    const struct {
        qint64 size;
        const char* error;  // what the reading says
    } cases[] = {
        {UserFile::kMaxBytes + 1, "Fatal error: "},
        {UserFile::kMaxSceneBytes + 1, "larger than 1024 MiB"},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath("big.tavolin");
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(c.size));  // sparse zeros
        }
        SceneData scene;
        Reader::ReaderXml reader(path);
        reader.registerScene(&scene);
        EXPECT_FALSE(reader.parse());
        EXPECT_TRUE(reader.errorText().contains(c.error)) << reader.errorText().toStdString();
        EXPECT_FALSE(reader.errorText().contains("MiB") && *c.error == 'F')
            << reader.errorText().toStdString();
    }
}
