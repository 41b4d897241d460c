// Shared by the document and picture tests: error reports, scene files written on the fly, trace
// output off for a test's duration, and one picture traced on the calling thread.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/timert.h"
#include "scene/rendersettings.h"

namespace doctest {

constexpr uint32_t kStale = 0x12345678u;  // alpha 0x12: shading and background never write it

// Collects the (title, text) pairs DocRT reports while it lives.
struct ErrorCapture {
    QStringList titles, texts;
    ErrorCapture() {
        DocRT::setErrorReporter([this](const QString& title, const QString& text) {
            titles << title;
            texts << text;
        });
    }
    ~ErrorCapture() { DocRT::setErrorReporter(nullptr); }
};

inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    return path;
}

struct TraceOutputOff {
    const bool was = TraceOutput::enabled();
    TraceOutputOff() { TraceOutput::setEnabled(false); }
    ~TraceOutputOff() { TraceOutput::setEnabled(was); }
};

inline QString dataFile(const char* name) { return QStringLiteral(TAVOLIN_TEST_DATA "/") + name; }

inline void load(DocRT& doc, const QString& path) {
    EXPECT_TRUE(doc.loadFile(path)) << path.toStdString();
    doc.applyPendingChanges();
}

// The w x h picture of doc's scene with settings s (antialiasing level, reduced to w x h), traced
// on this thread by engine (or a fresh one) into a buffer first filled with kStale.
inline std::vector<uint32_t> trace(DocRT& doc, RenderSettings& s, int w, int h,
                                   TimeRT* engine = nullptr, int level = 1) {
    PixelBuffer buffer;
    EXPECT_TRUE(buffer.setSize(w, h, level));
    std::fill_n(buffer.data(), buffer.pixelCount(), kStale);
    TimeRT local;
    TimeRT& e = engine ? *engine : local;
    e.raytracePic(&s, doc.getSceneData(), doc.getTree(), &buffer);
    while (!e.runTask()) {
    }
    EXPECT_TRUE(level == 1 || buffer.downsample(level));
    return std::vector<uint32_t>(buffer.data(), buffer.data() + buffer.pixelCount());
}

// The largest difference of two pixels' colour channels.
inline int channelDifference(uint32_t a, uint32_t b) {
    int d = 0;
    for (int s = 0; s < 24; s += 8)
        d = std::max(d, std::abs(int((a >> s) & 0xff) - int((b >> s) & 0xff)));
    return d;
}

}  // namespace doctest
