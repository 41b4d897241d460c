// The one way this program writes a user's file (scene, fly path, picture, film frame, log):
// the bytes go to a temporary file in the target's folder, every write and the final flush to
// the disk are checked, and only then is the temporary renamed over the target. A failure
// removes the temporary, leaves any old file byte for byte as it was, and gives a reason in the
// system's words with the path.
//
// Why not QSaveFile: behind a QTextStream a short write on a full disk went unnoticed and
// commit() still succeeded; here each write(2) result is looked at.
#pragma once

#include <QByteArray>
#include <QString>

class QImage;

namespace SafeFile {

// Writes bytes to path atomically. False with *error (if given) set to a sentence naming the
// path and the system's reason. A symbolic link is followed (the link stays, its target is
// replaced); an existing file keeps its permissions, a new one gets those the umask allows.
bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Checks a picture's name before anything is rendered: its suffix must name a format this
// program can write, and it must not be a scene (".tavolin") or fly-path (".flypath") file,
// which a typo like "-o scene.tavolin" would otherwise destroy. False with *error set.
bool checkPictureName(const QString& path, QString* error = nullptr);

// Checks, before any work, that path could be written: its folder exists and may be written
// to, and the name is not that of a directory or of something other than a plain file.
bool checkWritable(const QString& path, QString* error = nullptr);

// Encodes the image in the format of the name's suffix (best quality) and writes it as above.
// Running out of memory while encoding is a failure with a message, not an exception.
bool writeImage(const QString& path, const QImage& image, QString* error = nullptr);

}  // namespace SafeFile
