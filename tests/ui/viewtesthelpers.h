// Helpers of the view tests: driving the frame loop from a test and a standalone reference render.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <vector>

#include "engine/docrt.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "engine/views/glview.h"
#include "engine/views/mainview.h"

namespace viewtest {

inline void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

// Runs the event loop until the frame loop has started n more frames.
inline bool waitFrames(MainView& view, long n, int timeoutMs = 60000) {
    const long target = view.framesStarted() + n;
    QElapsedTimer t;
    t.start();
    while (view.framesStarted() < target && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return view.framesStarted() >= target;
}

// Holds the frame loop and waits until the running frame has ended and the next step waits:
// every engine's buffer then holds a finished frame and no worker runs.
inline bool holdFrames(MainView& view, int timeoutMs = 60000) {
    view.suspendRendering();
    QElapsedTimer t;
    t.start();
    while (!view.isFramePending() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return view.isFramePending() && !view.isRendering();
}

// Renders one frame of the document's scene with the given settings on a pool of its own.
inline std::vector<uint32_t> referenceRender(DocRT& doc, RenderSettings& settings, int w, int h) {
    TimeRT engine;
    engine.width = w;
    engine.height = h;
    engine.raytracePic(&settings, doc.getSceneData(), doc.getTree(), nullptr);
    {
        ThreadBase pool(1);
        pool.addTasks(&engine);
        pool.startRendering(true);
    }
    const PixelBuffer& b = engine.ownPixelBuffer();
    return std::vector<uint32_t>(b.data(), b.data() + size_t(b.width()) * b.height());
}

inline std::vector<uint32_t> pixelsOf(GlView* view) {
    const PixelBuffer& b = view->engine()->ownPixelBuffer();
    return std::vector<uint32_t>(b.data(), b.data() + size_t(b.width()) * b.height());
}

inline QStringList menuTexts(const QMenu& menu) {
    QStringList texts;
    for (QAction* a : menu.actions()) texts << (a->isSeparator() ? "|" + a->text() : a->text());
    return texts;
}

}  // namespace viewtest
