// Reading a file the user named (a scene, a fly path): only a plain file, and only up to a
// size limit, so that a pipe, a device like /dev/zero or a runaway file can neither hang the
// program nor fill its memory. Messages name the path and give the system's reason.
#pragma once

#include <QByteArray>
#include <QString>

namespace UserFile {

// The largest fly-path file read: 64 MiB.
constexpr qint64 kMaxBytes = qint64(64) << 20;
// The largest scene file read: 1 GiB. The program writes every property of every item, one to
// a line: a million spheres take 137 MB, a million boxes 280 to 500 MB, so that whatever it
// saves of a scene it can read (a million objects, ReaderXml::kMaxItems) it reads back.
constexpr qint64 kMaxSceneBytes = qint64(1) << 30;

// Reads the whole file into bytes. False with error set ("Could not read PATH: reason") for a
// missing or unreadable file, a directory, anything that is not a regular file, or a file
// larger than limit bytes; bytes are then left as they were.
bool read(const QString& path, QByteArray& bytes, QString& error, qint64 limit = kMaxBytes);

}  // namespace UserFile
