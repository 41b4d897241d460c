// User files: at the limit read whole, past it refused with path and reason, buffer untouched.
// (Pipes, devices, folders and missing files: tests/engine/hostilescene_test.cpp.)
#include "scene/userfile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

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
