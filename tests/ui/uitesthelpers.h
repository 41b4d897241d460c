// Shared pieces of the widget tests: an offscreen start unless a platform is named, and a
// watcher that answers the modal boxes a dialog opens (message boxes, the colour dialog).
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QColorDialog>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QtTest>

#include "ui/helppages.h"

// Answers modal boxes as they appear: records each message box's title and text and presses
// its first button; a colour dialog gets `color` and is accepted, or rejected when color is
// invalid.
class ModalAnswerer : public QObject {
public:
    explicit ModalAnswerer(QColor color_ = QColor()) : color(color_) {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { answer(); });
        timer.start();
    }

    QStringList titles;
    QStringList texts;
    int colorDialogs = 0;

private:
    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (box->isVisible() && box != lastBox) {
                lastBox = box;
                titles << box->windowTitle();
                texts << box->text();
                QAbstractButton* button =
                    box->buttons().isEmpty() ? nullptr : box->buttons().front();
                if (button)
                    button->click();
                else
                    box->done(0);
            }
        } else if (auto* dlg = qobject_cast<QColorDialog*>(modal)) {
            if (dlg->isVisible() && dlg != lastColor) {
                lastColor = dlg;
                ++colorDialogs;
                if (color.isValid()) {
                    dlg->setCurrentColor(color);
                    dlg->accept();
                } else {
                    dlg->reject();
                }
            }
        }
    }

    QColor color;
    QTimer timer;
    QPointer<QMessageBox> lastBox;
    QPointer<QColorDialog> lastColor;
};

// With TAVOLIN_UI_SHOTS naming a folder, saves a picture of the widget there as name.png, for
// looking at the layouts under a real X server.
inline void saveShotIfAsked(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("TAVOLIN_UI_SHOTS");
    if (folder.isEmpty()) return;
    QCoreApplication::processEvents();
    widget->grab().save(QDir(folder).filePath(name + ".png"));
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
            if (message.contains(QLatin1String("propagateSizeHints"))) return;
            if (previous) previous(type, context, message);
        });
}

// QTEST_MAIN with the offscreen platform unless QT_QPA_PLATFORM names another, and a private
// runtime folder (Qt warns about a shared one when run as root).
#define TAVOLIN_UI_TEST_MAIN(TestClass)                                                         \
    int main(int argc, char** argv) {                                                           \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                     \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                            \
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {                                   \
            const QString dir = QDir::tempPath() + "/tavolin-ui-test-runtime";                  \
            QDir().mkpath(dir);                                                                 \
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); \
            qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());                                      \
        }                                                                                       \
        QApplication app(argc, argv);                                                           \
        TestClass test;                                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                                              \
        return QTest::qExec(&test, argc, argv);                                                 \
    }
