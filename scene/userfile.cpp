// Bounded reading of user files with every refusal in the system's words.
#include "scene/userfile.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("UserFile", text); }

bool fail(QString& error, const QString& path, const QString& reason) {
    error = tr("Could not read %1: %2").arg(path, reason);
    return false;
}

QString systemReason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    const int fd;
};

}  // namespace

namespace UserFile {

bool read(const QString& path, QByteArray& bytes, QString& error, qint64 limit) {
    if (path.isEmpty()) return fail(error, QStringLiteral("\"\""), tr("no file name given"));
    // Without O_NONBLOCK, opening a pipe nobody writes to would wait forever; the type is
    // checked on the open descriptor, so the file cannot be swapped in between.
    const Descriptor file(::open(QFile::encodeName(path).constData(),
                                 O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.fd < 0) return fail(error, path, systemReason(errno));
    struct stat st;
    if (::fstat(file.fd, &st) != 0) return fail(error, path, systemReason(errno));
    if (S_ISDIR(st.st_mode)) return fail(error, path, systemReason(EISDIR));
    if (!S_ISREG(st.st_mode))
        return fail(error, path, tr("not a regular file (a pipe, a device or a socket)"));
    const QString tooLarge =
        tr("the file is larger than %1 MiB, the most a file of its kind may have").arg(limit >> 20);
    if (st.st_size > limit) return fail(error, path, tooLarge);

    // Read until the end, not just st_size bytes: a file that grows meanwhile is caught too.
    QByteArray read;
    read.resize(qsizetype(st.st_size) + 1);
    qsizetype have = 0;
    for (;;) {
        if (have == read.size()) {
            if (have > limit) return fail(error, path, tooLarge);
            read.resize(std::min<qsizetype>(read.size() * 2, qsizetype(limit) + 1));
        }
        const ssize_t n = ::read(file.fd, read.data() + have, size_t(read.size() - have));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(error, path, systemReason(errno));
        }
        if (n == 0) break;
        have += n;
    }
    if (have > limit) return fail(error, path, tooLarge);
    read.truncate(have);
    bytes.swap(read);
    return true;
}

}  // namespace UserFile
