// Atomic file writing with every system call checked.
#include "engine/safefile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes handed to one write(2): large enough to be quick, small enough that a slow disk still
// reports progress through errno rather than one huge call.
constexpr size_t kChunk = size_t(1) << 20;

QString tr(const char* text) { return QCoreApplication::translate("SafeFile", text); }

bool fail(QString* error, const QString& path, const QString& reason) {
    if (error) *error = tr("Could not write %1: %2").arg(path, reason);
    return false;
}

QString systemReason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// The permission bits a file created by open(2) with mode 0666 would get.
mode_t newFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return mode_t(0666) & ~mask;
    }();
    return mode;
}

// write(2) until everything is out; 0 or the errno of the failure. A return of 0 bytes (which
// POSIX allows for a full device) counts as "no space".
int writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::min(size, kChunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        data += n;
        size -= size_t(n);
    }
    return 0;
}

}  // namespace

namespace SafeFile {

bool write(const QString& path, const QByteArray& bytes, QString* error) {
    if (path.isEmpty()) return fail(error, QStringLiteral("\"\""), tr("no file name given"));
    QString target = path;
    const QFileInfo link(path);
    if (link.isSymLink()) target = link.symLinkTarget();
    const QFileInfo info(target);
    const QByteArray targetName = QFile::encodeName(info.absoluteFilePath());

    mode_t mode = newFileMode();
    struct stat old;
    if (::stat(targetName.constData(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) return fail(error, path, systemReason(EISDIR));
        // Renaming over a device or a pipe would replace it with a plain file.
        if (!S_ISREG(old.st_mode)) return fail(error, path, tr("not a regular file"));
        mode = old.st_mode & 07777;
    }

    QByteArray temp =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) +
        ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(error, path, systemReason(errno));

    int code = writeAll(fd, bytes.constData(), size_t(bytes.size()));
    if (code == 0 && ::fchmod(fd, mode) != 0) code = errno;
    // The data must be on the disk before the rename makes it the file: a crash in between
    // would otherwise leave an empty file under the old name.
    if (code == 0 && ::fsync(fd) != 0) code = errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code == 0 && ::rename(temp.constData(), targetName.constData()) != 0) code = errno;
    if (code != 0) {
        ::unlink(temp.constData());
        return fail(error, path, systemReason(code));
    }
    return true;
}

bool checkPictureName(const QString& path, QString* error) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("tavolin") || suffix == QLatin1String("flypath")) {
        if (error)
            *error = tr("%1 is a scene or fly-path file name, not a picture; choose a name "
                        "ending in .png, .jpg or another picture format")
                         .arg(path);
        return false;
    }
    if (suffix.isEmpty() || !QImageWriter::supportedImageFormats().contains(suffix.toLatin1())) {
        if (error)
            *error = tr("%1: the picture format \"%2\" is not supported; use a name ending in "
                        ".png, .jpg, .bmp or .ppm")
                         .arg(path, suffix);
        return false;
    }
    return true;
}

bool checkWritable(const QString& path, QString* error) {
    if (path.isEmpty()) return fail(error, QStringLiteral("\"\""), tr("no file name given"));
    const QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    struct stat st;
    if (::stat(folder.constData(), &st) != 0) return fail(error, path, systemReason(errno));
    if (!S_ISDIR(st.st_mode)) return fail(error, path, systemReason(ENOTDIR));
    if (::access(folder.constData(), W_OK | X_OK) != 0) return fail(error, path, systemReason(errno));
    if (::stat(QFile::encodeName(info.absoluteFilePath()).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fail(error, path, systemReason(EISDIR));
        if (!S_ISREG(st.st_mode)) return fail(error, path, tr("not a regular file"));
    }
    return true;
}

bool writeImage(const QString& path, const QImage& image, QString* error) {
    if (!checkPictureName(path, error)) return false;
    if (image.isNull()) return fail(error, path, tr("not enough memory for the picture"));
    QByteArray bytes;
    try {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, QFileInfo(path).suffix().toLower().toLatin1());
        writer.setQuality(100);
        if (!writer.write(image)) return fail(error, path, writer.errorString());
    } catch (const std::bad_alloc&) {
        return fail(error, path, tr("not enough memory to encode the picture"));
    }
    return write(path, bytes, error);
}

}  // namespace SafeFile
