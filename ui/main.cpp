// Program entry of the desktop program: the main window around the rendered scene.
#include <QApplication>
#include <cstdio>

#include "base/traceoutput.h"
#include "ui/appicon.h"
#include "ui/commandline.h"
#include "ui/mainwindow.h"

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = parseCommandLine(arguments);
    if (line.exitNow) {
        std::fputs(qPrintable(line.output), stdout);
        std::fputs(qPrintable(line.error), stderr);
        return line.exitCode;
    }
    // The renderer's trace lines (several kilobytes a second) only when asked for.
    TraceOutput::setEnabled(line.trace);

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavolin"));
    appicon::install();
    // Desktops match the window to the installed entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("tavolin"));
    MainWindow::installErrorReporter();
    MainWindow window;
    // A file that cannot be read has been reported; the default scene stays.
    if (!line.file.isEmpty()) window.openFile(line.file);
    window.show();
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, &QCoreApplication::quit);
    return app.exec();
}
