// Fuzz target: saving a loaded scene and loading it again. Whatever the document accepts from a
// file it must be able to save, and the saved file must load again and save to the same bytes:
// a user who saves and reopens gets the scene back, not a refusal or a slowly drifting copy.
#include <QFile>
#include <QTemporaryDir>

#include "engine/docrt.h"
#include "fuzz/fuzzsupport.h"

namespace {

QTemporaryDir* folder = nullptr;
int reports = 0;

QByteArray contents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) __builtin_trap();
    return file.readAll();
}

// Loads path into a fresh document and saves it to savedPath; false when the load is refused.
bool loadAndSave(const QString& path, const QString& savedPath, QString& sceneText) {
    DocRT doc;
    if (!doc.loadFile(path)) return false;
    doc.applyPendingChanges();
    sceneText = doc.sceneText();
    QString error;
    if (!doc.saveFile(savedPath, &error)) __builtin_trap();  // a loaded scene always saves
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    folder = new QTemporaryDir;
    if (!folder->isValid()) __builtin_trap();
    DocRT::setErrorReporter([](const QString&, const QString&) { ++reports; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString input = folder->filePath(QStringLiteral("input.tavolin"));
    const QString first = folder->filePath(QStringLiteral("first.tavolin"));
    const QString second = folder->filePath(QStringLiteral("second.tavolin"));
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
        if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            __builtin_trap();
    }
    QString firstText, secondText;
    if (!loadAndSave(input, first, firstText)) return 0;
    reports = 0;
    if (!loadAndSave(first, second, secondText)) __builtin_trap();  // the saved file loads
    if (reports != 0) __builtin_trap();
    if (secondText != firstText) __builtin_trap();              // the same scene
    if (contents(second) != contents(first)) __builtin_trap();  // and the same file
    return 0;
}
