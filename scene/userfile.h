// Reading a file the user named (a scene, a fly path): only a plain file, and only up to a
// size limit, so that a pipe, a device like /dev/zero or a runaway file can neither hang the
// program nor fill its memory. Messages name the path and give the system's reason.
#pragma once

#include <QByteArray>
#include <QString>

namespace UserFile {

// The largest scene or fly-path file read: 64 MiB. The largest scenes shipped are well under
// one MiB; a million spheres written out by the program take about 150 MiB in memory, which
// is as far as a file of this size can lead.
constexpr qint64 kMaxBytes = qint64(64) << 20;

// Reads the whole file into bytes. False with error set ("Could not read PATH: reason") for a
// missing or unreadable file, a directory, anything that is not a regular file, or a file
// larger than limit bytes; bytes are then left as they were.
bool read(const QString& path, QByteArray& bytes, QString& error, qint64 limit = kMaxBytes);

}  // namespace UserFile
