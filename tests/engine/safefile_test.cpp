// Saving users' files: a short write (the disk "fills" after a few bytes) or any other failure
// leaves the old file byte for byte and names the reason, in every writer; a success replaces
// the file, keeps its permissions, and follows a link. The debug log: the ring of the last 1000
// messages written newest first.
#include "engine/safefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>

#include "engine/debuglog.h"
#include "engine/flypathfile.h"
#include "engine/pixelbuffer.h"
#include "engine/recorder.h"
#include "tests/engine/shortwrite.h"

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The file's lines; a file of n lines each ending in a line feed gives exactly n entries.
QStringList readLines(const QString& name) {
    QString text = QString::fromUtf8(readAll(name));
    if (!text.endsWith('\n')) return {QStringLiteral("<missing final line feed>")};
    text.chop(1);
    return text.split('\n');
}

bool isStamped(const QString& line, const QString& text) {
    static const QRegularExpression stamp(QStringLiteral("^\\d+: (.*)$"));
    const QRegularExpressionMatch m = stamp.match(line);
    return m.hasMatch() && m.captured(1) == text;
}

// Writes the log into a fresh folder and reads it back; a log always has 1000 lines.
QStringList writtenLog() {
    QTemporaryDir dir;
    EXPECT_TRUE(dir.isValid());
    EXPECT_TRUE(DebugLog::writeLog(dir.filePath("Log.txt")));
    const QStringList lines = readLines(dir.filePath("Log.txt"));
    EXPECT_EQ(lines.size(), 1000);
    return lines.size() == 1000 ? lines : QStringList(1000, QStringLiteral("<bad log>"));
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

TEST(SafeFile, PictureNamesAreCheckedBeforeRendering) {
    const std::pair<const char*, bool> cases[] = {
        {"out.png", true},        {"dir/OUT.PNG", true},  {"out.jpg", true},
        {"out.bmp", true},        {"scene.tavolin", false}, {"path.flypath", false},
        {"out", false},           {"out.unknownsuffix", false},
    };
    for (const auto& [name, ok] : cases) {
        QString error;
        EXPECT_EQ(SafeFile::checkPictureName(name, &error), ok) << name;
        EXPECT_EQ(error.isEmpty(), ok) << error.toStdString();
        EXPECT_EQ(error.contains(name), !ok) << error.toStdString();
    }
}

TEST(SafeFile, EveryWriterKeepsTheOldFileUnderAShortWrite) {
    std::vector<FlyPathPoint> points(400);
    for (size_t i = 0; i < points.size(); ++i) points[i].time = 0.01 * double(i);
    Recorder path;
    ASSERT_TRUE(path.setPoints(points));
    PixelBuffer picture;
    ASSERT_TRUE(picture.setSize(200, 150, 1));
    for (int r = 0; r < 150; ++r)
        for (int c = 0; c < 200; ++c) picture.setPixel(c, r, uint32_t(r * 7919 + c * 104729));
    for (int i = 0; i < 50; ++i) DebugLog::logMessage(QStringLiteral("message %1").arg(i));

    using Writer = std::function<bool(const QString&, QString&)>;
    const Writer savePicture = [&](const QString& f, QString& e) { return picture.save(f, &e); };
    const std::pair<const char*, Writer> writers[] = {
        {"path.txt", [&](const QString& f, QString& e) { return FlyPathFile::save(f, path, e); }},
        {"shot.png", savePicture},
        {"shot.bmp", savePicture},
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
        // Without the limit the same writer replaces the file.
        QString error;
        EXPECT_TRUE(write(file, error)) << error.toStdString();
        EXPECT_GT(readAll(file).size(), 1000) << name;
    }
}

// The write call logs itself first; a fresh log is that line and empty ones, a full one the
// last 999 messages before it, newest first; a failed write is logged all the same.
TEST(DebugLog, KeepsTheLastThousandNewestFirst) {
    DebugLog::reset();
    QStringList lines = writtenLog();
    EXPECT_TRUE(isStamped(lines[0], "write File called!")) << lines[0].toStdString();
    EXPECT_EQ(lines.mid(1), QStringList(999, QString()));

    DebugLog::reset();
    QTemporaryDir dir;
    EXPECT_FALSE(DebugLog::writeLog(dir.filePath("no/such/folder/Log.txt")));
    for (int i = 0; i < 1500; ++i) DebugLog::logMessage(QStringLiteral("m%1").arg(i));
    lines = writtenLog();
    EXPECT_TRUE(isStamped(lines[0], "write File called!"));
    // The 1500 messages and the failed write before them: m1499 down to m501.
    for (int n = 1; n < 1000; ++n)
        ASSERT_TRUE(isStamped(lines[n], QStringLiteral("m%1").arg(1500 - n)))
            << n << ": " << lines[n].toStdString();
    DebugLog::reset();
    EXPECT_FALSE(DebugLog::writeLog(dir.filePath("no/such/folder/Log.txt")));
    lines = writtenLog();
    EXPECT_TRUE(isStamped(lines[1], "write File called!"));
    EXPECT_TRUE(lines[2].isEmpty());
}
