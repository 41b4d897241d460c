// The process-wide debug log: a ring of the last 1000 messages of the engine and the views,
// each stamped with the milliseconds since the first message, written to a file on request.
// GUI thread only: it takes no lock.
#pragma once

#include <QString>

class DebugLog {
public:
    static constexpr int kSize = 1000;

    // Stores "<elapsed ms>: text" in the next slot; the clock starts at the first message.
    static void logMessage(const QString& text);

    // Logs "write File called!", then writes all 1000 slots newest first, one line each (empty
    // slots give empty lines), atomically. False with the reason in *error when the file cannot
    // be written; an old log then stays as it was.
    static bool writeLog(const QString& fileName, QString* error = nullptr);

    // Where the main window writes the log: Log.txt in the user's home folder.
    static QString defaultLogPath();

    // Back to the state at first use: all slots empty, index 0, clock not started. Tests only.
    static void reset();

private:
    struct State;
    static State& state();
};
