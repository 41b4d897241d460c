// Reading user files: plain files up to the limit are read whole; pipes, devices, folders,
// missing and oversized files are refused at once with the path and the system's reason.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "scene/userfile.h"

TEST(UserFile, ReadsPlainFilesAndRefusesEverythingElseAtOnce) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.tavolin");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
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
    const struct {
        QString path;
        const char* reason;  // empty: read
    } cases[] = {
        {plain, ""},
        {dir.filePath("missing.tavolin"), "No such file or directory"},
        {dir.path(), "Is a directory"},
        {fifo, "not a regular file"},          // once hung forever
        {"/dev/zero", "not a regular file"},   // once grew without bound
        {huge, "larger than 64 MiB"},
    };
    QElapsedTimer clock;
    clock.start();
    for (const auto& c : cases) {
        QByteArray bytes = "untouched";
        QString error;
        const bool ok = UserFile::read(c.path, bytes, error);
        EXPECT_EQ(ok, *c.reason == 0) << c.path.toStdString();
        if (ok) {
            EXPECT_EQ(bytes, QByteArray(5000, 'a'));
        } else {
            EXPECT_EQ(bytes, "untouched");
            EXPECT_TRUE(error.startsWith("Could not read " + c.path + ": ") &&
                        error.contains(c.reason))
                << error.toStdString();
        }
    }
    // A file that grows past a small limit while read is refused as well.
    QByteArray bytes;
    QString error;
    EXPECT_FALSE(UserFile::read(plain, bytes, error, 4999));
    EXPECT_TRUE(UserFile::read(plain, bytes, error, 5000));
    EXPECT_LT(clock.elapsed(), 5000);
}
