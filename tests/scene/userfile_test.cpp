// Reading user files: plain files up to the limit are read whole; oversized files are refused at
// once with the path and the reason, leaving the buffer alone. (Pipes, devices, folders and
// missing files are refused with their messages when a document loads them:
// tests/engine/hostilescene_test.cpp.)
#include "scene/userfile.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

TEST(UserFile, ReadsPlainFilesAndRefusesOversizedOnesAtOnce) {
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.tavolin");
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 'a'));
    }
    // A sparse file one byte past the limit costs no disk space.
    const QString huge = dir.filePath("huge.tavolin");
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(UserFile::kMaxBytes + 1));
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray bytes = "untouched";
    QString error;
    EXPECT_FALSE(UserFile::read(huge, bytes, error));
    EXPECT_EQ(bytes, "untouched");
    EXPECT_TRUE(error.startsWith("Could not read " + huge + ": ") &&
                error.contains("larger than 64 MiB"))
        << error.toStdString();
    EXPECT_TRUE(UserFile::read(plain, bytes, error));
    EXPECT_EQ(bytes, QByteArray(5000, 'a'));
    // A file past a small limit is refused as well; one at the limit is read.
    bytes = "untouched";
    EXPECT_FALSE(UserFile::read(plain, bytes, error, 4999));
    EXPECT_EQ(bytes, "untouched");
    EXPECT_TRUE(UserFile::read(plain, bytes, error, 5000));
    EXPECT_LT(clock.elapsed(), 5000);
}
