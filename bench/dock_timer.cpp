// dock_timer: the edit dock on a big scene, as a user meets it: how long the GUI thread is held
// opening the dock, loading the scene again while it is open, choosing an item, applying an edit
// (straight after the load, and once the dock has written the undo text ahead), opening the
// item list and undoing the edit, and how much the process's memory grows with the dock. Runs
// on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
//
//   dock_timer SCENE
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/scenesnapshot.h"
#include "ui/dockeditobjects.h"

namespace {

// The process's resident memory now, in MB.
double residentMB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * 4096.0 / 1048576.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dock_timer SCENE\n");
        return 1;
    }
    TraceOutput::setEnabled(false);
    const QString file = QString::fromLocal8Bit(argv[1]);
    DocRT doc;
    if (!doc.loadFile(file)) return 2;
    doc.applyPendingChanges();
    const double before = residentMB();

    QWidget window;
    QElapsedTimer clock;
    const auto held = [&] { return double(clock.nsecsElapsed()) / 1e6; };
    clock.start();
    auto* dock = new DockEditObjects(&window, &doc);
    (new QVBoxLayout(&window))->addWidget(dock);
    window.show();
    app.processEvents();
    const double opening = held();
    QComboBox* items = dock->itemCombo();
    std::printf("%d items listed; memory %.1f MB before the dock, %.1f MB with it\n",
                items->count(), before, residentMB());

    // The scene loaded again: its reading and tree are the reader's; the swap and the dock's
    // refresh are the GUI thread's.
    DocRT::ReadScene read = DocRT::readScene(file);
    clock.restart();
    if (!doc.takeScene(std::move(read), file)) return 2;
    doc.applyPendingChanges();
    app.processEvents();
    const double reloading = held();

    clock.restart();
    items->setCurrentIndex(items->count() / 2);
    app.processEvents();
    const double choosing = held();

    clock.restart();
    dock->applyButton()->click();
    app.processEvents();
    const double applying = held();

    // The document takes the edit over at its next frame: the scene's text before it for the
    // undo stack (the text after it is written aside, while frames go on), the tree again. A
    // second edit at once waits for that text; a third, once it is written, finds it ready.
    std::vector<std::pair<SceneSnapshot, SceneSnapshot>> edits;
    QObject::connect(
        &doc, &DocRT::sceneEdited,
        [&](const SceneSnapshot& b, const SceneSnapshot& a) { edits.emplace_back(b, a); });
    clock.restart();
    doc.applyPendingChanges();
    app.processEvents();
    const double takingOver = held();
    dock->applyButton()->click();
    clock.restart();
    doc.applyPendingChanges();
    app.processEvents();
    const double takingOverAgain = held();
    edits.back().second.wait();
    dock->applyButton()->click();
    clock.restart();
    doc.applyPendingChanges();
    app.processEvents();
    const double takingOverLater = held();

    // The scene loaded once more, and edited once the dock has written its text ahead (while
    // the user picks the item and types): the first edit finds its text before it ready.
    read = DocRT::readScene(file);
    if (!doc.takeScene(std::move(read), file)) return 2;
    doc.applyPendingChanges();
    app.processEvents();
    QElapsedTimer ahead;
    ahead.start();
    doc.sceneSnapshot().wait();
    const double writingAhead = double(ahead.nsecsElapsed()) / 1e6;
    items->setCurrentIndex(items->count() / 2);
    app.processEvents();
    dock->applyButton()->click();
    clock.restart();
    doc.applyPendingChanges();
    app.processEvents();
    const double takingOverAhead = held();

    clock.restart();
    items->showPopup();
    app.processEvents();
    const double listing = held();
    items->hidePopup();

    std::printf(
        "GUI thread held: opening the dock %.1f ms, a load %.1f ms, choosing an item %.1f "
        "ms, applying %.1f ms, the document taking the edit over %.1f ms (the next edit at "
        "once %.1f ms, once the text is written %.1f ms; a first edit once the dock has "
        "written the text ahead, %.1f ms after the load, %.1f ms), opening the list %.1f ms; "
        "memory at the end %.1f MB\n",
        opening, reloading, choosing, applying, takingOver, takingOverAgain, takingOverLater,
        writingAhead, takingOverAhead, listing, residentMB());
    if (edits.size() != 4) return 3;

    // The last edit undone, as the undo stack does it, with a frame step every 20 ms: a big
    // scene's text is read aside, and the GUI thread is held by the call, the frame steps and
    // the dock's refresh once the scene is taken over.
    const SceneData* edited = doc.getSceneData();
    QElapsedTimer undoing;
    undoing.start();
    clock.restart();
    if (!doc.restoreSnapshot(edits.back().first)) return 3;
    double undoHeld = held();
    while (doc.getSceneData() == edited) {
        QThread::msleep(20);
        clock.restart();
        doc.applyPendingChanges();
        app.processEvents();
        undoHeld += held();
    }
    std::printf("an undo: in place after %.1f ms, the GUI thread held %.1f ms of it\n",
                double(undoing.nsecsElapsed()) / 1e6, undoHeld);

    const SceneSnapshot& text = edits[0].second;
    std::printf(
        "the text kept for undoing: %.1f MB packed (%.1f MB as a string); the second "
        "edit's text before it %s the first's after it\n",
        double(text.storedBytes()) / 1048576.0, double(text.text().size()) * 2.0 / 1048576.0,
        edits[1].first.sharesTextWith(text) ? "shares memory with" : "is a copy of");
    return 0;
}
