// Debug log: the ring of the last 1000 messages written newest first.
#include "engine/debuglog.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

namespace {

// The file's lines; a file of n lines each ending in a line feed gives exactly n entries.
QStringList readLines(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(file.readAll());
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
