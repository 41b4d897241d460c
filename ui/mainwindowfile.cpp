// The main window's document as a file: the title with the modified marker, New, Open and Save,
// the unsaved-changes question, and undo over the document's edits.
//
// The title names the file with Qt's modified marker; the undo stack's clean state is the saved
// state, so undoing back to it clears the marker. A new document is the built-in scene.
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <QUndoStack>
#include <atomic>
#include <thread>

#include "engine/docrt.h"
#include "views/mainview.h"
#include "ui/eyeeditcommand.h"
#include "ui/mainwindow.h"
#include "ui/sceneeditcommand.h"
#include "ui_mainwindow.h"

void MainWindow::setupDocumentHandling() {
    undo = new QUndoStack(this);
    connect(doc, &DocRT::sceneEdited, this,
            [this](const SceneSnapshot& before, const SceneSnapshot& after) {
                undo->push(new SceneEditCommand(doc, before, after));
            });
    connect(undo, &QUndoStack::cleanChanged, this,
            [this](bool clean) { setWindowModified(!clean); });
    connect(doc, &DocRT::eyeEdited, this, [this](const Eye& before, const Eye& after) {
        undo->push(new EyeEditCommand(doc, before, after));
    });
    // Names a texture or colour that is not defined, or defined twice: the scene still opens
    // (with the defaults drawn instead), so the warning must not block the window.
    connect(doc, &DocRT::sceneWarnings, this,
            [this](const QString& fileName, const QStringList& warnings) {
                auto* box = new QMessageBox(
                    QMessageBox::Warning, tr("Tavolin"),
                    tr("%1 opened with warnings:").arg(QDir::toNativeSeparators(fileName)),
                    QMessageBox::Ok, this);
                box->setInformativeText(warnings.join(QLatin1Char('\n')));
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->setModal(false);
                box->show();
            });

    actionFileNew = makeAction("actionFileNew");
    actionFileNew->setText(tr("New"));
    actionFileNew->setShortcut(QKeySequence::New);
    ui->actionFileOpen->setShortcut(QKeySequence::Open);
    ui->menuFile->insertAction(ui->actionFileOpen, actionFileNew);
    connect(actionFileNew, &QAction::triggered, this, &MainWindow::slotFileNew);
    addAction(actionFileNew);

    actionUndo = undo->createUndoAction(this, tr("Undo"));
    actionUndo->setObjectName(QStringLiteral("actionUndo"));
    actionUndo->setShortcut(QKeySequence(tr("Ctrl+Z")));
    actionRedo = undo->createRedoAction(this, tr("Redo"));
    actionRedo->setObjectName(QStringLiteral("actionRedo"));
    actionRedo->setShortcuts({QKeySequence(tr("Ctrl+Shift+Z")), QKeySequence(tr("Ctrl+Y"))});
    menuEdit = new QMenu(tr("&Edit"), menuBar());
    menuEdit->setObjectName(QStringLiteral("menuEdit"));
    menuEdit->addAction(actionUndo);
    menuEdit->addAction(actionRedo);
    menuBar()->insertMenu(ui->menuView->menuAction(), menuEdit);
    addAction(actionUndo);  // the shortcuts work with the menu bar hidden
    addAction(actionRedo);

    questions.unsavedChanges = [this](const QString& text) {
        return QMessageBox::question(this, tr("Unsaved Changes"), text,
                                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                     QMessageBox::Save);
    };
    questions.observerTime = [this](double current, double& chosen) {
        bool ok = false;
        // Two decimals, as the read-out shows it; the range keeps start.w a float.
        const double t = QInputDialog::getDouble(this, tr("Set Time"),
                                                 tr("Observer's time in seconds:"), current,
                                                 -1e9, 1e9, 2, &ok);
        if (ok) chosen = t;
        return ok;
    };
    questions.saveFileName = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, tr("Save Scene"), suggested,
                                            tr("Tavolin Files (*.tavolin)"));
    };
    setDocumentFile(currentFile);
}

void MainWindow::setQuestions(Questions q) {
    if (q.unsavedChanges) questions.unsavedChanges = std::move(q.unsavedChanges);
    if (q.saveFileName) questions.saveFileName = std::move(q.saveFileName);
    if (q.observerTime) questions.observerTime = std::move(q.observerTime);
}

void MainWindow::setDocumentFile(const QString& fileName) {
    currentFile = fileName;
    const QString shown = fileName.isEmpty() ? tr("Untitled") : QFileInfo(fileName).fileName();
    setWindowTitle(shown + QStringLiteral("[*] - ") + tr("Tavolin"));
    setWindowModified(!undo->isClean());
}

// The scenes that come with the program are templates: saving one asks for a file of the user's.
bool MainWindow::isOwnFile(const QString& fileName) const {
    if (fileName.isEmpty()) return false;
    const QString bundled = QDir(QCoreApplication::applicationDirPath()).filePath("scenes");
    return !QFileInfo(fileName).absoluteFilePath().startsWith(bundled + QLatin1Char('/'));
}

namespace {
// While a scene is read in the background the window paints and its timers run, but what the
// user types or clicks must wait: an edit or a second Open would act on the scene that is about
// to be replaced. The progress dialog blocks the window only once it shows, so until then this
// filter holds user input back, and a close request is refused.
class UserInputHold : public QObject {
public:
    UserInputHold() { qApp->installEventFilter(this); }
    ~UserInputHold() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::Drop:
                return true;
            case QEvent::Close:
                event->ignore();
                return true;
            default:
                return false;
        }
    }
};
}  // namespace

bool MainWindow::openFile(const QString& fileName) {
    // A big scene takes seconds to read and to build its tree. That work runs on a thread of its
    // own while the window goes on painting and answering; after a moment a progress dialog shows
    // how far it has come (window-modal, so that nothing else starts meanwhile). The reader only
    // makes new objects, so the frames drawn meanwhile still see the document as it was.
    QProgressDialog reading(tr("Reading %1...").arg(QFileInfo(fileName).fileName()), QString(), 0,
                            100, this);
    reading.setWindowModality(Qt::WindowModal);
    reading.setMinimumDuration(500);
    reading.setAutoClose(false);
    reading.setAutoReset(false);

    std::atomic<int> percent{0};
    std::atomic<bool> done{false};
    DocRT::ReadScene read;
    std::thread reader([&] {
        read = DocRT::readScene(fileName, [&percent](int p) { percent.store(p); });
        done.store(true);
    });
    const UserInputHold hold;
    QEventLoop waiting;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &waiting, [&] {
        if (done.load()) {
            waiting.quit();
            return;
        }
        // The reading reports how far it has come; the tree build after it cannot, so the
        // dialog then says what it waits for and shows that it is busy.
        const int p = percent.load();
        if (p < 100) {
            reading.setValue(p);
        } else if (reading.maximum() != 0) {
            reading.setLabelText(
                tr("Preparing %1...").arg(QFileInfo(fileName).fileName()));
            reading.setRange(0, 0);
        }
    });
    poll.start(20);
    if (!done.load()) waiting.exec();
    reader.join();
    reading.close();

    if (!doc->takeScene(std::move(read), fileName)) return false;
    lastOpenFile = fileName;
    undo->clear();
    setDocumentFile(QFileInfo(fileName).absoluteFilePath());
    return true;
}

void MainWindow::slotFileNew() {
    if (!maybeKeepChanges()) return;
    doc->requestBuiltInScene();
    undo->clear();
    setDocumentFile(QString());
}

bool MainWindow::maybeKeepChanges() {
    if (!isWindowModified()) return true;
    const QString name =
        currentFile.isEmpty() ? tr("Untitled") : QDir::toNativeSeparators(currentFile);
    switch (
        questions.unsavedChanges(tr("The scene %1 has unsaved changes. Save them?").arg(name))) {
        case QMessageBox::Save:
            return saveDocument(false);
        case QMessageBox::Discard:
            return true;
        default:
            return false;
    }
}

bool MainWindow::saveDocument(bool askName) {
    QString fileName = currentFile;
    if (askName || !isOwnFile(fileName)) {
        const QString suggested = !lastSaveFile.isEmpty()  ? lastSaveFile
                                  : isOwnFile(currentFile) ? currentFile
                                                           : QDir::homePath();
        fileName = questions.saveFileName(suggested);
        if (fileName.isEmpty()) return false;
    }
    QString reason;
    if (!doc->saveFile(fileName, &reason)) {
        if (reason.isEmpty()) reason = tr("The file could not be written.");
        QMessageBox::warning(this, tr("Save Scene"),
                             tr("The scene could not be saved to %1:\n%2")
                                 .arg(QDir::toNativeSeparators(fileName), reason));
        return false;
    }
    lastSaveFile = fileName;
    undo->setClean();
    setDocumentFile(QFileInfo(fileName).absoluteFilePath());
    return true;
}
