// Atomic writing: a short write or any failure leaves the old file as it was and names the
// reason; a success replaces the file, keeps its permissions, and follows a link.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "engine/safefile.h"
#include "tests/engine/shortwrite.h"

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList filesIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace

TEST(SafeFile, FailuresNameThePathAndTheSystemsReason) {
    QTemporaryDir dir;
    const struct {
        QString path;
        const char* reason;
    } cases[] = {
        {dir.filePath("missing/folder/a.txt"), "No such file or directory"},
        {dir.path(), "Is a directory"},
        {"/dev/null", "not a regular file"},
        {"", "no file name given"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(SafeFile::write(c.path, "x", &error)) << c.path.toStdString();
        EXPECT_TRUE(error.contains(c.reason)) << error.toStdString();
        EXPECT_TRUE(error.contains(c.path)) << error.toStdString();
    }
}

TEST(SafeFile, ReplacingKeepsPermissionsAndTheLink) {
    QTemporaryDir dir;
    const QString real = dir.filePath("real.txt");
    ASSERT_TRUE(SafeFile::write(real, "one"));
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    const QString link = dir.filePath("link.txt");
    ASSERT_TRUE(QFile::link(real, link));

    ASSERT_TRUE(SafeFile::write(link, "two"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(real), "two");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(SafeFile, PictureNamesAreCheckedBeforeRendering) {
    const struct {
        const char* name;
        bool ok;
    } cases[] = {
        {"out.png", true},       {"dir/OUT.PNG", true},       {"out.jpg", true},
        {"out.bmp", true},       {"scene.tavolin", false},    {"path.flypath", false},
        {"out", false},          {"out.unknownsuffix", false},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_EQ(SafeFile::checkPictureName(c.name, &error), c.ok) << c.name;
        EXPECT_EQ(error.isEmpty(), c.ok) << error.toStdString();
        if (!c.ok) {
            EXPECT_TRUE(error.contains(c.name)) << error.toStdString();
        }
    }
}
