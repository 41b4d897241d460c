// A real short write (or allocation failure) without root: the soft limit on file size
// (RLIMIT_FSIZE) or address space (RLIMIT_AS) is lowered while the work runs, in this process (a
// forked child of this threaded program may inherit a held lock and hang).
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QString>
#include <csignal>
#include <functional>

namespace shortwrite {

struct Outcome {
    bool ran = false;  // the limit could be set
    bool ok = false;   // what the work returned
    QString text;      // the error text it produced
};

// Runs work (returning success, filling an error text) with a resource limited, by default files.
inline Outcome runLimited(rlim_t limit, const std::function<bool(QString&)>& work,
                          int resource = RLIMIT_FSIZE) {
    Outcome o;
    struct rlimit old;
    if (::getrlimit(resource, &old) != 0 || (old.rlim_max != RLIM_INFINITY && old.rlim_max < limit))
        return o;
    // A write past the file-size limit would otherwise end the process with SIGXFSZ.
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit lowered = {limit, old.rlim_max};
    if (::setrlimit(resource, &lowered) == 0) {
        o.ran = true;
        o.ok = work(o.text);
        ::setrlimit(resource, &old);
    }
    std::signal(SIGXFSZ, oldHandler);
    return o;
}

}  // namespace shortwrite
