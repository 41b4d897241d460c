// Shared pieces of the widget tests: modal-box answers, a stand-in help viewer, and driving the
// views' frame loop with a standalone reference render to compare against.
#pragma once

#include <QtTest>
#include <QtWidgets>
#include <vector>

#include "engine/docrt.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "ui/helppages.h"
#include "views/glview.h"
#include "views/mainview.h"

// Records each message box's title and text and presses its first button.
class ModalAnswerer : public QObject {
public:
    ModalAnswerer() {
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            titles << box->windowTitle();
            texts << box->text();
            box->buttons().isEmpty() ? box->done(0) : box->buttons().front()->click();
        });
        timer.start(20);
    }

    QStringList titles;
    QStringList texts;

private:
    QTimer timer;
};

inline bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return false;
    file.close();
    return !executable || file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A stand-in help viewer: logs "pid", each "arg", "xdg" (its XDG_DATA_HOME) and each line "in";
// ends when asked for quit.html, as if the user closed it.
inline bool writeStandInViewer(const QString& path, const QString& log) {
    const QString script =
        "#!/bin/sh\nlog='%1'\necho \"pid $$\" >> \"$log\"\n"
        "for a in \"$@\"; do echo \"arg $a\" >> \"$log\"; done\n"
        "echo \"xdg $XDG_DATA_HOME\" >> \"$log\"\n"
        "while IFS= read -r line; do\n  echo \"in $line\" >> \"$log\"\n"
        "  case \"$line\" in *quit.html) exit 0;; esac\ndone\n";
    return writeFile(path, script.arg(log).toLocal8Bit(), true);
}

template <typename Kind = rtObjSphere<1>>
Kind* objectNamed(DocRT& doc, const QString& name) {
    for (rtObjBase* object : doc.getSceneData()->objects.items)
        if (object->name == name) return dynamic_cast<Kind*>(object);
    return nullptr;
}

struct HelpRecorder {
    QStringList pages;
    HelpRecorder() {
        setHelpPageHandler([this](const QString& page) { pages << page; });
    }
    ~HelpRecorder() { setHelpPageHandler(HelpPageHandler()); }
};

// QTEST_MAIN with the offscreen platform unless QT_QPA_PLATFORM names another.
#define TAVOLIN_UI_TEST_MAIN(TestClass)                     \
    int main(int argc, char** argv) {                       \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) \
            qputenv("QT_QPA_PLATFORM", "offscreen");        \
        QApplication app(argc, argv);                       \
        TestClass test;                                     \
        QTEST_SET_MAIN_SOURCE_PATH                          \
        return QTest::qExec(&test, argc, argv);             \
    }

namespace viewtest {

// Runs the event loop until done() or the time-out; the milliseconds it took, or -1.
template <typename Done>
qint64 waitUntil(Done done, int timeoutMs = 60000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return t.elapsed();
}

inline void spin(int ms) {
    QElapsedTimer t;
    t.start();
    waitUntil([&] { return t.elapsed() >= ms; });
}

inline bool waitFrames(MainView& view, long n) {
    const long target = view.framesStarted() + n;
    return waitUntil([&] { return view.framesStarted() >= target; }) >= 0;
}

// Holds the frame loop once the running frame has ended: every buffer holds a finished frame.
inline bool holdFrames(MainView& view) {
    view.suspendRendering();
    return waitUntil([&] { return view.isFramePending(); }) >= 0 && !view.isRendering();
}

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

struct BuiltInView {
    DocRT doc;
    MainView main;
    static DocRT* builtIn(DocRT& doc) {
        doc.requestBuiltInScene();
        return &doc;
    }
    explicit BuiltInView(int w = 0, int h = 0) : main(nullptr, builtIn(doc)) {
        if (w == 0) return;
        main.resize(w, h);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
    }
};

inline std::vector<uint32_t> pixelsOf(GlView* view) {
    const PixelBuffer& b = view->engine()->ownPixelBuffer();
    return std::vector<uint32_t>(b.data(), b.data() + size_t(b.width()) * b.height());
}

// Moves the mouse over a widget without moving the X pointer that parallel tests share.
inline void hover(QWidget* widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(widget->mapToGlobal(pos)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

}  // namespace viewtest
