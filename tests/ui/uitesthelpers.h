// Shared pieces of the widget tests: an offscreen start unless a platform is named, a watcher
// that answers the modal boxes a dialog opens, a stand-in help viewer, and driving the frame loop
// of the views from a test with a standalone reference render to compare against.
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

// Answers modal boxes as they appear: records each message box's title and text and presses its
// first button; a colour dialog gets `color` and is accepted, or is rejected when color is invalid.
class ModalAnswerer : public QObject {
public:
    explicit ModalAnswerer(QColor color_ = QColor()) : color(color_) {
        QObject::connect(&timer, &QTimer::timeout, this, [this] { answer(); });
        timer.start(20);
    }

    QStringList titles;
    QStringList texts;
    int colorDialogs = 0;

private:
    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->isVisible()) {
            titles << box->windowTitle();
            texts << box->text();
            box->buttons().isEmpty() ? box->done(0) : box->buttons().front()->click();
        } else if (auto* dlg = qobject_cast<QColorDialog*>(modal); dlg && dlg->isVisible()) {
            ++colorDialogs;
            dlg->setCurrentColor(color);
            color.isValid() ? dlg->accept() : dlg->reject();
        }
    }

    QColor color;
    QTimer timer;
};

// With TAVOLIN_UI_SHOTS naming a folder, saves a picture of the widget there as name.png, for
// looking at the layouts under a real X server.
inline void saveShotIfAsked(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("TAVOLIN_UI_SHOTS");
    if (!folder.isEmpty()) widget->grab().save(QDir(folder).filePath(name + ".png"));
}

// Writes a new file (an executable one if asked); whether that worked.
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

// A stand-in for Qt's help viewer at path: it appends its process id, its arguments, its
// XDG_DATA_HOME and every line it receives to log ("pid ...", "arg ...", "xdg ...", "in ..."),
// and ends by itself when asked for quit.html, as if the user closed it.
inline bool writeStandInViewer(const QString& path, const QString& log) {
    const QString script =
        "#!/bin/sh\nlog='%1'\necho \"pid $$\" >> \"$log\"\n"
        "for a in \"$@\"; do echo \"arg $a\" >> \"$log\"; done\n"
        "echo \"xdg $XDG_DATA_HOME\" >> \"$log\"\n"
        "while IFS= read -r line; do\n  echo \"in $line\" >> \"$log\"\n"
        "  case \"$line\" in *quit.html) exit 0;; esac\ndone\n";
    return writeFile(path, script.arg(log).toLocal8Bit(), true);
}

// The scene's object of that name and kind, or null.
template <typename Kind = rtObjSphere<1>>
Kind* objectNamed(DocRT& doc, const QString& name) {
    for (rtObjBase* object : doc.getSceneData()->objects.items)
        if (object->name == name) return dynamic_cast<Kind*>(object);
    return nullptr;
}

// Records the help pages requested while it lives.
struct HelpRecorder {
    QStringList pages;
    HelpRecorder() {
        setHelpPageHandler([this](const QString& page) { pages << page; });
    }
    ~HelpRecorder() { setHelpPageHandler(HelpPageHandler()); }
};

// The offscreen platform warns on every dock or dialog resize; nothing to learn from it. Call
// from initTestCase, after the test library has installed its own handler.
inline void quietOffscreenWarnings() {
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (!message.contains(QLatin1String("propagateSizeHints")) && previous)
                previous(type, context, message);
        });
}

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

// Runs the event loop until done() or the time-out; the time it took in milliseconds, or -1.
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

// Runs the event loop until the frame loop has started n more frames.
inline bool waitFrames(MainView& view, long n) {
    const long target = view.framesStarted() + n;
    return waitUntil([&] { return view.framesStarted() >= target; }) >= 0;
}

// Holds the frame loop and waits until the running frame has ended and the next step waits:
// every engine's buffer then holds a finished frame and no worker runs.
inline bool holdFrames(MainView& view) {
    view.suspendRendering();
    return waitUntil([&] { return view.isFramePending(); }) >= 0 && !view.isRendering();
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

// A main view of the built-in scene; shown at w x h when w is given.
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

// Moves the mouse over a widget without moving the display's pointer. QTest::mouseMove moves the
// real pointer, which every test on the same virtual X server shares: a test running beside
// another would see the other's moves.
inline void hover(QWidget* widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(widget->mapToGlobal(pos)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

inline QStringList menuTexts(const QMenu& menu) {
    QStringList texts;
    for (QAction* a : menu.actions()) texts << a->text();
    return texts;
}

}  // namespace viewtest
