#include "scene/runwriter.h"

#include <QByteArray>
#include <QIODevice>
#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "base/sidebyside.h"

namespace Reader {

namespace {

thread_local const std::atomic<bool>* stopFlag = nullptr;

void throwIfStopped() {
    if (stopFlag && stopFlag->load(std::memory_order_relaxed)) throw WriteStopped();
}

}  // namespace

WriteStop::WriteStop(const std::atomic<bool>& stop) : outer(stopFlag) { stopFlag = &stop; }

WriteStop::~WriteStop() { stopFlag = outer; }

// Runs of kWriteRunItems: enough that starting a thread is lost in the writing (a run of
// spheres is about a megabyte of text), few enough that the runs in flight hold little memory.
void writeInRuns(size_t count, QTextStream& stream, const WriteItems& writeItems, int threadCount) {
    const size_t threads =
        threadCount > 0 ? size_t(threadCount) : std::max(1u, std::thread::hardware_concurrency());
    constexpr size_t kRunItems = kWriteRunItems;
    throwIfStopped();
    QIODevice* device = stream.device();
    if (threads < 2 || count < 2 * kRunItems || !device ||
        stream.encoding() != QStringConverter::Utf8) {
        // In one go on this thread, a run at a time only so that a stop is seen.
        for (size_t begin = 0; begin < count; begin += kRunItems) {
            if (begin > 0) throwIfStopped();
            writeItems(begin, std::min(count, begin + kRunItems), stream);
        }
        return;
    }
    stream.flush();  // what came before the items goes first
    std::vector<QByteArray> runs(threads);
    std::vector<std::exception_ptr> failures(threads);
    // One wave of runs at a time, one run per thread, so that the text in flight stays a few
    // megabytes however long the list.
    for (size_t wave = 0; wave < count; wave += threads * kRunItems) {
        if (wave > 0) throwIfStopped();
        const auto writeRun = [&](int run) {
            const size_t k = size_t(run);
            runs[k].clear();
            const size_t begin = wave + k * kRunItems;
            if (begin >= count) return;
            try {
                QTextStream out(&runs[k], QIODevice::WriteOnly);
                writeItems(begin, std::min(count, begin + kRunItems), out);
                out.flush();
            } catch (...) {
                failures[k] = std::current_exception();
            }
        };
        runSideBySide(int(threads), writeRun);
        for (const std::exception_ptr& failure : failures)
            if (failure) std::rethrow_exception(failure);
        for (const QByteArray& run : runs) device->write(run);
    }
}

}  // namespace Reader
