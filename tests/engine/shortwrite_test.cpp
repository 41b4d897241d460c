// Every writer of a user's file, under a real short write (the disk "fills" after a few
// bytes): each one fails, says why, and leaves the previous file byte for byte.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
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

void fillLongPath(Recorder& r) {
    std::vector<FlyPathPoint> points(400);
    for (size_t i = 0; i < points.size(); ++i) {
        points[i].time = 0.01 * double(i);
        points[i].speed = 0.5f;
        points[i].frame.m[0][3] = -0.001f * float(i);
    }
    r.setPoints(points);
}

}  // namespace

TEST(ShortWrite, EveryWriterKeepsTheOldFile) {
    Recorder path;
    fillLongPath(path);
    PixelBuffer picture;
    ASSERT_TRUE(picture.setSize(200, 150, 1));
    for (int r = 0; r < 150; ++r)
        for (int c = 0; c < 200; ++c) picture.setPixel(c, r, uint32_t(r * 7919 + c * 104729));
    for (int i = 0; i < 50; ++i) DebugLog::logMessage(QStringLiteral("message %1").arg(i));

    const struct {
        const char* file;
        std::function<bool(const QString&, QString&)> write;
    } writers[] = {
        {"path.txt",
         [&](const QString& f, QString& e) { return FlyPathFile::save(f, path, e); }},
        {"shot.png", [&](const QString& f, QString& e) { return picture.save(f, &e); }},
        {"shot.bmp", [&](const QString& f, QString& e) { return picture.save(f, &e); }},
        {"Log.txt", [&](const QString& f, QString& e) { return DebugLog::writeLog(f, &e); }},
    };
    for (const auto& w : writers) {
        QTemporaryDir dir;
        const QString file = dir.filePath(w.file);
        const QByteArray old = "the user's previous file";
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        const auto o = shortwrite::runLimited(1000, [&](QString& text) {
            return w.write(file, text);
        });
        ASSERT_TRUE(o.ran) << w.file;
        EXPECT_FALSE(o.ok) << w.file;
        EXPECT_EQ(o.text, "Could not write " + file + ": File too large") << w.file;
        EXPECT_EQ(readAll(file), old) << w.file;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QString(w.file)});

        // Without the limit the same writer replaces the file.
        QString error;
        EXPECT_TRUE(w.write(file, error)) << error.toStdString();
        EXPECT_GT(readAll(file).size(), 1000) << w.file;
    }
}
