// Writes the blocks of a long item list on every processor at once. A scene of a million
// objects writes 140 MB of text, and every applied edit writes the whole scene once for undo, on
// the GUI thread; the items' text is independent of one another, so runs of items are written
// side by side, each into UTF-8 bytes of its own, and reach the stream in their order: the text
// is the same byte for byte as written in one go.
#pragma once

#include <QTextStream>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>

namespace Reader {

// Writes items [begin, end) to out.
using WriteItems = std::function<void(size_t begin, size_t end, QTextStream& out)>;

// writeItems over [0, count), in order, into stream, on this many threads (0: one per
// processor). Short lists, streams without a device (a QString) or not in UTF-8, and a single
// thread write in one go on this thread. writeItems must only read the items: several threads
// run it at once. What it throws reaches the caller once every thread has stopped.
void writeInRuns(size_t count, QTextStream& stream, const WriteItems& writeItems, int threads = 0);

// Items per run (the shortest list written in runs is two runs long).
constexpr size_t kWriteRunItems = 8192;

// A text written ahead of need (the undo text of an edit not yet made) is given up when the scene
// is replaced first. While a WriteStop lives, writeInRuns on its thread looks at the flag before
// each list and each wave of runs, and throws WriteStopped once it is set: the writer stops
// within a wave, a few milliseconds, instead of writing on through a million objects.
class WriteStop {
public:
    explicit WriteStop(const std::atomic<bool>& stop);
    ~WriteStop();
    WriteStop(const WriteStop&) = delete;
    WriteStop& operator=(const WriteStop&) = delete;

private:
    const std::atomic<bool>* outer;
};

struct WriteStopped : std::exception {
    const char* what() const noexcept override { return "the text was no longer wanted"; }
};

}  // namespace Reader
