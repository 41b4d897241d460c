// Fly paths as small text files, so that a recording can be kept, edited by hand, and rendered
// as a film on other machines. GUI thread or any thread that owns the recorder.
//
// Format, version 2 (UTF-8 / ASCII text, one record per line, fields separated by blanks):
//
//   tavolin-flypath 2
//   # any line starting with '#' is a comment; blank lines are ignored
//   TIME OBSERVERTIME SPEED F00 F01 F02 F03 F10 F11 ... F33
//
// TIME is the point's film time in seconds and OBSERVERTIME the observer's scene-frame time T in
// seconds (doubles, written with 17 significant digits), SPEED the observer's speed as a
// fraction of light speed and Frc the 16 floats of the observer frame, row r, column c (row 0 =
// 1, position; rows 1-3 = unused, right, up, forward), each written with 9 significant digits.
// Both precisions round-trip bit for bit. Film times must not descend; every number must be
// finite, the observer's time also in single precision (it becomes start.w); the speed must lie
// strictly between -1 and 1 (also in single precision: 0.99999999 rounds to 1). Files are read
// as UserFile reads them: regular files up to 64 MiB. A file with the header and no point is an
// empty fly path.
//
// Version 1 (header "tavolin-flypath 1", lines TIME SPEED F00 ... F33) was written before the
// observer had a clock of its own; it still loads, and its points get the observer's time equal
// to their film time: the film then plays as a recording made with the clock running from 0,
// which is what the live program shows while flying. Saving always writes version 2.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "engine/flypathpoint.h"

class Recorder;

class FlyPathFile {
public:
    static constexpr int kVersion = 2;
    // Fields of a point line: film time, observer's time, speed and the 16 frame floats; version
    // 1 lines lack the observer's time.
    static constexpr int kFieldCount = 19;
    static constexpr int kVersion1FieldCount = 18;
    static const char* const kMagic;  // "tavolin-flypath"

    // The file text of the points.
    static QByteArray format(const std::vector<FlyPathPoint>& points);
    // Reads the text; on failure returns false with "line N: reason" (or "empty file") in error
    // and leaves points untouched.
    static bool parse(const QByteArray& text, std::vector<FlyPathPoint>& points, QString& error);

    // Writes the recorder's points atomically (SafeFile): on failure an old file stays as it
    // was, and error names the file and the system's reason.
    static bool save(const QString& fileName, const Recorder& recorder, QString& error);
    // Replaces the recorder's points by the file's, only when the whole file is valid; otherwise
    // returns false with "FILE, line N: reason" and the recording stays as it was.
    static bool load(const QString& fileName, Recorder& recorder, QString& error);
};
