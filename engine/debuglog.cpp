// Ring buffer of timestamped debug messages and its file output.
#include "engine/debuglog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QTextStream>
#include <array>

struct DebugLog::State {
    std::array<QString, kSize> entries;
    int next = 0;
    QElapsedTimer clock;
};

DebugLog::State& DebugLog::state() {
    static State s;
    return s;
}

void DebugLog::logMessage(const QString& text) {
    State& s = state();
    if (!s.clock.isValid()) s.clock.start();
    s.entries[s.next] = QString::number(s.clock.elapsed()) + QStringLiteral(": ") + text;
    s.next = (s.next + 1) % kSize;
}

bool DebugLog::writeLog(const QString& fileName) {
    QSaveFile file(fileName);
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    logMessage(QStringLiteral("write File called!"));
    if (!opened) return false;

    const State& s = state();
    QTextStream out(&file);
    // Newest first: from the slot before the index backwards round to the index (the oldest).
    for (int n = 1; n <= kSize; ++n) out << s.entries[(s.next - n + kSize) % kSize] << '\n';
    out.flush();
    if (out.status() != QTextStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString DebugLog::defaultLogPath() { return QDir::homePath() + QStringLiteral("/Log.txt"); }

void DebugLog::reset() {
    State& s = state();
    for (QString& e : s.entries) e.clear();
    s.next = 0;
    s.clock.invalidate();
}
