// The desktop program's command line: `tavolin [--trace] [FILE]`, `--help` and `--version`.
// Read before the window system is reached, so that --help and --version work without a display.
#pragma once

#include <QString>
#include <QStringList>

struct CommandLine {
    bool trace = false;  // trace lines on standard output, off unless asked for
    QString file;        // the scene to open instead of the default one; empty for the default
    // Set when the program is to end at once with exitCode, after printing output (standard
    // output: help, version) or error (standard error: what was wrong, then the usage).
    bool exitNow = false;
    int exitCode = 0;
    QString output;
    QString error;
};

// arguments as QCoreApplication::arguments() gives them, the program's name first.
CommandLine parseCommandLine(const QStringList& arguments);
