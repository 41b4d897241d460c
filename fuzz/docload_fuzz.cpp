// Fuzz target: the document loading a scene from a file, the way File > Open and tavolin-render
// do. The input is written to a file and loaded into a document that already holds a scene.
// A first byte 'D', 'M' or 'F' instead names a folder, a missing file or a named pipe (which
// must be refused at once, not waited on). A refusal must be reported exactly once, name the
// file, and leave the document's scene as it was; an accepted file is reported nowhere, is
// taken over at the next frame and builds a kd-tree.
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "engine/docrt.h"
#include "fuzz/fuzzsupport.h"
#include "accel/kdtree.h"

namespace {

QTemporaryDir* folder = nullptr;
int reports = 0;
QString reportedTitle;
QString reportedText;

// The path the document is asked to load for this input.
QString prepare(const uint8_t* data, size_t size) {
    const QString dir = folder->path();
    if (size == 1 && data[0] == 'D') return dir;
    if (size == 1 && data[0] == 'M') return dir + QStringLiteral("/missing.tavolin");
    if (size == 1 && data[0] == 'F') return dir + QStringLiteral("/pipe.tavolin");
    const QString path = dir + QStringLiteral("/scene.tavolin");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
    if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        __builtin_trap();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    folder = new QTemporaryDir;
    if (!folder->isValid()) __builtin_trap();
    const QByteArray pipe = (folder->path() + QStringLiteral("/pipe.tavolin")).toLocal8Bit();
    if (mkfifo(pipe.constData(), 0600) != 0) __builtin_trap();
    DocRT::setErrorReporter([](const QString& title, const QString& text) {
        ++reports;
        reportedTitle = title;
        reportedText = text;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DocRT doc;
    doc.requestBuiltInScene();
    doc.applyPendingChanges();
    const QString before = doc.sceneText();
    const QString path = prepare(data, size);

    reports = 0;
    if (!doc.loadFile(path)) {
        if (reports != 1 || reportedText.isEmpty()) __builtin_trap();
        if (!reportedTitle.contains(path)) __builtin_trap();  // says which file
        if (doc.pendingActionCode() != DocRT::NothingPending) __builtin_trap();
        if (doc.applyPendingChanges() || doc.sceneText() != before) __builtin_trap();
        return 0;
    }
    if (reports != 0 || doc.pendingActionCode() != DocRT::LoadedScene) __builtin_trap();
    if (!doc.applyPendingChanges()) __builtin_trap();
    // A scene that was accepted is prepared (resolved, put into the tree) without a complaint.
    if (reports != 0) __builtin_trap();
    return 0;
}
