// Program entry of the desktop program: the main window around the rendered scene.
#include <QApplication>

#include "ui/mainwindow.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    MainWindow::installErrorReporter();
    MainWindow window;
    window.show();
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, &QCoreApplication::quit);
    return app.exec();
}
