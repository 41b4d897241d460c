// Saving users' files: a short write (the disk "fills" after a few bytes) or any other failure
// leaves the old file byte for byte and names the reason, in every writer; a success replaces
// the file, keeps its permissions, and follows a link. The debug log: the last 1000 messages.
#include "engine/safefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "engine/debuglog.h"
#include "engine/flypathfile.h"
#include "engine/recorder.h"
#include "tests/engine/shortwrite.h"

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

TEST(SafeFile, FailuresNameThePathAndTheSystemsReason) {
    QTemporaryDir dir;
    const std::pair<QString, const char*> cases[] = {
        {dir.filePath("missing/folder/a.txt"), "No such file or directory"},
        {dir.path(), "Is a directory"},
        {"/dev/null", "not a regular file"},
        {"", "no file name given"},
    };
    for (const auto& [path, reason] : cases) {
        QString error;
        EXPECT_FALSE(SafeFile::write(path, "x", &error)) << path.toStdString();
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
        EXPECT_TRUE(error.contains(path)) << error.toStdString();
    }
    for (const auto& [name, ok] : {std::pair{"dir/OUT.PNG", true}, std::pair{"out.jpg", true},
                                   std::pair{"scene.tavolin", false}, std::pair{"out", false}}) {
        QString error;
        EXPECT_EQ(SafeFile::checkPictureName(name, &error), ok) << name;
        EXPECT_EQ(error.contains(name), !ok) << error.toStdString();
    }
}

TEST(SafeFile, ReplacingKeepsPermissionsAndTheLink) {
    QTemporaryDir dir;
    const QString real = dir.filePath("real.txt"), link = dir.filePath("link.txt");
    ASSERT_TRUE(SafeFile::write(real, "one"));
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(SafeFile::write(link, "two"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(real), "two");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// (The picture's short write is the command line's test.)
TEST(SafeFile, EveryWriterKeepsTheOldFileUnderAShortWrite) {
    std::vector<FlyPathPoint> points(400);
    for (size_t i = 0; i < points.size(); ++i) points[i].time = 0.01 * double(i);
    Recorder path;
    ASSERT_TRUE(path.setPoints(points));
    using Writer = std::function<bool(const QString&, QString&)>;
    const std::pair<const char*, Writer> writers[] = {
        {"path.txt", [&](const QString& f, QString& e) { return FlyPathFile::save(f, path, e); }},
        {"Log.txt", [&](const QString& f, QString& e) { return DebugLog::writeLog(f, &e); }},
    };
    for (const auto& [name, write] : writers) {
        QTemporaryDir dir;
        const QString file = dir.filePath(name);
        const QByteArray old = "the user's previous file";
        ASSERT_TRUE(SafeFile::write(file, old));
        const auto o =
            shortwrite::runLimited(1000, [&](QString& text) { return write(file, text); });
        ASSERT_TRUE(o.ran) << name;
        EXPECT_FALSE(o.ok) << name;
        EXPECT_EQ(o.text, "Could not write " + file + ": File too large") << name;
        EXPECT_EQ(readAll(file), old) << name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        QString error;
        EXPECT_TRUE(write(file, error)) << error.toStdString();  // without the limit: replaced
        EXPECT_GT(readAll(file).size(), 1000) << name;
    }
}
