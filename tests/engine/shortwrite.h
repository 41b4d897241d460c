// A real short write (or a real allocation failure) without root: the work runs in a forked child whose files may not grow
// past a byte limit (RLIMIT_FSIZE), so write(2) stops part way with EFBIG as on a full disk.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace shortwrite {

struct Outcome {
    bool ran = false;  // the child finished and reported
    bool ok = false;   // what the work returned
    QString text;      // the error text it produced
};

// Runs work (returning success and filling an error text) with a resource limited: by default
// files to limit bytes; RLIMIT_AS gives an allocation failure instead.
inline Outcome runLimited(rlim_t limit, const std::function<bool(QString&)>& work,
                          int resource = RLIMIT_FSIZE) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing us
        const struct rlimit lim = {limit, limit};
        QString text;
        const bool ok = ::setrlimit(resource, &lim) == 0 && work(text);
        const QByteArray out = QByteArray(ok ? "1" : "0") + text.toUtf8();
        // The pipe is not limited by RLIMIT_FSIZE; one write of a short message is atomic.
        const bool sent = ::write(fds[1], out.constData(), size_t(out.size())) == out.size();
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray got;
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(fds[0], chunk, sizeof chunk)) > 0) got.append(chunk, int(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome o;
    o.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !got.isEmpty();
    if (o.ran) {
        o.ok = got[0] == '1';
        o.text = QString::fromUtf8(got.mid(1));
    }
    return o;
}

}  // namespace shortwrite
