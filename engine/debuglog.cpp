// Ring buffer of timestamped debug messages and its file output.
#include "engine/debuglog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <array>

#include "engine/safefile.h"

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

bool DebugLog::writeLog(const QString& fileName, QString* error) {
    logMessage(QStringLiteral("write File called!"));
    const State& s = state();
    QByteArray text;
    {
        QTextStream out(&text, QIODevice::WriteOnly);
        // Newest first: from the slot before the index backwards round to the index (the oldest).
        for (int n = 1; n <= kSize; ++n) out << s.entries[(s.next - n + kSize) % kSize] << '\n';
    }
    return SafeFile::write(fileName, text, error);
}

QString DebugLog::defaultLogPath() { return QDir::homePath() + QStringLiteral("/Log.txt"); }

void DebugLog::reset() {
    State& s = state();
    for (QString& e : s.entries) e.clear();
    s.next = 0;
    s.clock.invalidate();
}
