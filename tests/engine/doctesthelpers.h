// Shared by the document tests: the error reports a load produces, scene files written on the
// fly, and trace output switched off for a test's duration.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "engine/docrt.h"
#include "base/traceoutput.h"

namespace doctest {

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
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    return path;
}

struct TraceOutputOff {
    const bool was = TraceOutput::enabled();
    TraceOutputOff() { TraceOutput::setEnabled(false); }
    ~TraceOutputOff() { TraceOutput::setEnabled(was); }
};

}  // namespace doctest
