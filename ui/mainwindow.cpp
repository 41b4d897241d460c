// The main window's form, its slots and the status-bar read-outs.
//
// Choices of ours:
// - Visible texts are spelt and capitalised as in other desktop programs ("Aberration",
//   "Position", "Tool Bar", "Save Screenshot ...", "Ray Direction at Cursor"), where the first
//   texts had typos; the actions' object names stay. The menus open with Alt and their first
//   letter.
// - "Show Tool Bar" shows and hides the tool bar; the tool bar is visible at start, so the action
//   starts checked, and it follows the tool bar when the user closes it another way.
// - The debug log is written from the Help menu ("Write Log File to <path>") to Log.txt in the
//   user's home folder; the film dialog and the light-path viewer have View menu entries, and the
//   black-hole switches ("Light Bending", "Gravitational Doppler Effect") Options menu entries.
// - "Searchlight" (Options menu and tool bar) switches the relativistic beaming between off and
//   the exponent chosen in the render options. Its read-out "Brightness at Cursor" is checked at
//   start but shows only while the searchlight is on in the view under the cursor, so that the
//   status bar looks as before while the searchlight is off.
// - "Light Travel Time" (Options menu and tool bar) is stored in the scene file, so switching it
//   is an edit on the undo stack that marks the scene unsaved, unlike the other effect switches.
//   "Starry Sky" (Options menu) is stored in the scene file too and switched the same way.
// - The observer's time runs with the wall clock from the start ("Freeze Time" unchecked): a
//   scene with moving bodies is shown moving, which is what it is made for, and a scene without
//   them looks the same at any time. It stands still while a menu or modal dialog holds the
//   picture, starts at 0 with every scene taken over, and is shown as "t = 12.34 s" in the
//   status bar ("Observer Time", checked at start). "Set Time ..." sets it, frozen or running.
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QInputDialog>
#include <QSignalBlocker>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>
#include <QUndoStack>

#include "engine/debuglog.h"
#include "engine/docrt.h"
#include "views/glview.h"
#include "views/mainview.h"
#include "base/traceoutput.h"
#include "scene/rendersettings.h"
#include "ui/dlgabout.h"
#include "ui/dlgbhlightpath.h"
#include "ui/dlgeye.h"
#include "ui/dlgfilm.h"
#include "ui/dlgrenderoptions.h"
#include "ui/dlgscreenshot.h"
#include "ui/dockeditobjects.h"
#include "ui/helpassistant.h"
#include "ui/speedunits.h"
#include "ui/switcheditcommand.h"
#include "ui_mainwindow.h"

// The icons are compiled into this static library; naming the resource keeps the linker from
// dropping it. Outside any namespace, as the macro requires.
static void initIconResources() { Q_INIT_RESOURCE(resources); }

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()) {
    initIconResources();
    lastOpenFile = QString();
    lastSaveFile = QString();
    ui->setupUi(this);
    // Names the real place, which only the running program knows.
    ui->actionDebugLog->setText(tr("Write Log File to ") +
                                QDir::toNativeSeparators(DebugLog::defaultLogPath()));

    doc = new DocRT();
    const QString defaultScene =
        QCoreApplication::applicationDirPath() + QStringLiteral("/scenes/stonehenge.tavolin");
    if (doc->loadFile(defaultScene)) {
        currentFile = defaultScene;
    } else {
        doc->requestBuiltInScene();
    }

    view = new MainView(this, doc);
    setCentralWidget(view);
    ui->centralwidget = nullptr;  // deleted by setCentralWidget

    help = std::make_unique<HelpAssistant>();
    setConnections();
    createStatusLabels();
    createFrameStatus();

    setupDocumentHandling();
    setupDebugMenu();
    // The observer's time runs in the window (see above); the document starts it frozen.
    doc->setObserverTimeFrozen(ui->actionFreezeTime->isChecked());
    connect(doc, &DocRT::sceneContentChanged, this, &MainWindow::showLightTravelTime);
    showLightTravelTime();
    connect(doc, &DocRT::sceneContentChanged, this, &MainWindow::showStarrySky);
    showStarrySky();
    resize(600, 350);
    if (GlView* first = view->rootView().view()) first->setFocus();
}

MainWindow::~MainWindow() {
    help.reset();  // ends the help viewer
    // The ui->toolBar that hold the document go first.
    delete renderOptions;
    delete filmDialog;
    delete lightPathDialog;
    delete eyeDialog;
    delete editDock;
    // The views and their pool go before the document they render.
    delete view;
    view = nullptr;
    delete doc;
}

QToolBar* MainWindow::toolBar() const { return ui->toolBar; }

void MainWindow::installErrorReporter() {
    DocRT::setErrorReporter([](const QString& title, const QString& text) {
        QMessageBox::critical(nullptr, title, text);
    });
}

QAction* MainWindow::makeAction(const char* objectName, bool checkable, bool checked) {
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(objectName));
    if (checkable) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
    return action;
}

void MainWindow::setConnections() {
    // Triggered connections.
    const std::pair<QAction*, void (MainWindow::*)()> triggered[] = {
        {ui->actionFileOpen, &MainWindow::slotFileOpen},
        {ui->actionFileSave, &MainWindow::slotFileSave},
        {ui->actionFileLoadStartPosition, &MainWindow::slotFileLoadStartPosition},
        {ui->actionFileQuit, &MainWindow::slotFileExit},
        {ui->actionSaveScreenshot, &MainWindow::slotViewScreenshot},
        {ui->actionVisibleWavelength, &MainWindow::slotOptionsVisibleWavelength},
        {ui->actionRenderOptions, &MainWindow::slotOptionsRenderOptions},
        {ui->actionHelp, &MainWindow::slotHelpWindow},
        {ui->actionHelpAbout, &MainWindow::slotHelpAbout},
        {ui->actionDebugLog, &MainWindow::slotDebugLog},
        {ui->actionViewFilm, &MainWindow::slotViewFilm},
        {ui->actionViewBHLightPath, &MainWindow::slotViewBHLightPath},
        {ui->actionSetTime, &MainWindow::slotOptionsSetTime},
    };
    for (const auto& [action, slot] : triggered) {
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    }
    const std::pair<QAction*, void (MainWindow::*)(bool)> toggled[] = {
        {ui->actionFullscreen, &MainWindow::slotViewFullscreen},
        {ui->actionShowMenuBar, &MainWindow::slotViewShowMenu},
        {ui->actionShowStatusBar, &MainWindow::slotViewShowStatusBar},
        {ui->actionPosition, &MainWindow::slotViewPosition},
        {ui->actionSpeed, &MainWindow::slotViewSpeed},
        {ui->actionDirection, &MainWindow::slotViewDirection},
        {ui->actionFrames, &MainWindow::slotViewFrames},
        {ui->actionCursorPosition, &MainWindow::slotCursorPosition},
        {ui->actionCursorDopplerEffect, &MainWindow::slotCursorDopplerEffect},
        {ui->actionCursorRestingRayDirection, &MainWindow::slotCursorRestingRayDirection},
        {ui->actionCursorTransformedRayDirection, &MainWindow::slotCursorTransformedRayDirection},
        {ui->actionCursorBrightness, &MainWindow::slotCursorBrightness},
        {ui->actionEditObjects, &MainWindow::slotViewEditObjects},
        {ui->actionObserverTime, &MainWindow::slotViewObserverTime},
        {ui->actionLightTravelTime, &MainWindow::slotOptionsLightTravelTime},
        {ui->actionStarrySky, &MainWindow::slotOptionsStarrySky},
        {ui->actionFreezeTime, &MainWindow::slotOptionsFreezeTime},
    };
    for (const auto& [action, slot] : toggled) {
        connect(action, &QAction::toggled, this, slot);
        addAction(action);
    }
    const std::pair<QAction*, void (MainView::*)(bool)> effects[] = {
        {ui->actionAbberration, &MainView::slotViewAberration},
        {ui->actionSRTDopplerEffect, &MainView::slotViewSRTDoppler},
        {ui->actionLightBending, &MainView::slotEnableLightbending},
        {ui->actionGRTDopplerEffect, &MainView::slotGRTDopplerEffect},
        {ui->actionSearchlight, &MainView::slotViewSearchlight},
    };
    for (const auto& [action, slot] : effects) {
        connect(action, &QAction::toggled, view, slot);
        addAction(action);
    }
    connect(ui->actionShowToolBar, &QAction::toggled, ui->toolBar, &QToolBar::setVisible);
    connect(ui->toolBar, &QToolBar::visibilityChanged, ui->actionShowToolBar, &QAction::setChecked);
    connect(view, &MainView::updateStatusBar, this, &MainWindow::updateStatusBar);
}

void MainWindow::slotFileOpen() {
    if (!maybeKeepChanges()) return;
    if (lastOpenFile.isEmpty())
        lastOpenFile = QCoreApplication::applicationDirPath() + QStringLiteral("/scenes/");
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Open Scene"), lastOpenFile,
                                                          tr("Tavolin Files (*.tavolin)"));
    if (fileName.isNull()) return;
    openFile(fileName);
}

void MainWindow::slotFileSave() { saveDocument(true); }

void MainWindow::slotFileLoadStartPosition() { doc->loadStartPosition(); }

void MainWindow::slotFileExit() { close(); }

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!maybeKeepChanges()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::exit(0);
}

void MainWindow::slotViewFullscreen(bool fulls) {
    if (fulls)
        setWindowState(windowState() | Qt::WindowFullScreen);
    else
        setWindowState(windowState() & ~Qt::WindowFullScreen);
}

void MainWindow::slotViewScreenshot() {
    view->suspendRendering();
    {
        DlgScreenshot dialog(this, view->width(), view->height(), doc);
        dialog.exec();
    }
    view->resumeRendering();
}

// Stops the views' frame loop and waits for a frame in flight, so that a tool may change what the
// workers read (shared scene objects, the light-path table); false lets the loop go on.
void MainWindow::holdRendering(bool hold) {
    if (!hold) {
        view->resumeRendering();
        return;
    }
    view->suspendRenderingUntilIdle();
}

void MainWindow::slotViewFilm() {
    // The export size is the view's size when the dialog is first opened.
    if (!filmDialog) {
        filmDialog = new DlgFilm(this, doc, view->width(), view->height());
        filmDialog->setRenderingHold([this](bool hold) { holdRendering(hold); });
    }
    filmDialog->show();
    filmDialog->raise();
}

void MainWindow::slotViewBHLightPath() {
    if (!lightPathDialog) {
        lightPathDialog = new DlgBHLightPath(this, doc);
        lightPathDialog->setRenderingHold([this](bool hold) { holdRendering(hold); });
        connect(view, &MainView::angleChanged, lightPathDialog, &DlgBHLightPath::setAngle);
    }
    lightPathDialog->show();
    lightPathDialog->raise();
}

void MainWindow::slotViewShowMenu(bool showMenu) { menuBar()->setVisible(showMenu); }

void MainWindow::slotViewShowStatusBar(bool showStatusBar) {
    statusBar()->setVisible(showStatusBar);
}

void MainWindow::slotViewEditObjects(bool showEditObjects) {
    if (!showEditObjects) {
        if (editDock) editDock->hide();
        return;
    }
    if (!editDock) {
        auto* dock = new DockEditObjects(this, doc);
        connect(dock, &DockEditObjects::dialogCanBeShown, this,
                &MainWindow::slotEditDialogCanBeShown, Qt::QueuedConnection);
        addDockWidget(Qt::RightDockWidgetArea, dock);
        editDock = dock;
    }
    editDock->show();
    // Keyboard users land in the dock: arrows choose the item, Delete deletes it.
    if (auto* dock = qobject_cast<DockEditObjects*>(editDock)) dock->itemCombo()->setFocus();
}

void MainWindow::slotOptionsLightTravelTime(bool on) {
    if (doc->getSettings()->lightTravelTime == on) return;
    view->slotViewLightTravelTime(on);
    undo->push(new SwitchEditCommand(on ? tr("Light Travel Time On") : tr("Light Travel Time Off"),
                                     [this](bool state) { setLightTravelTime(state); }, on));
}

void MainWindow::setLightTravelTime(bool on) {
    const QSignalBlocker quiet(ui->actionLightTravelTime);
    ui->actionLightTravelTime->setChecked(on);
    view->slotViewLightTravelTime(on);
}

void MainWindow::slotOptionsStarrySky(bool on) {
    if (doc->getSettings()->starrySky == on) return;
    view->slotViewStarrySky(on);
    undo->push(new SwitchEditCommand(on ? tr("Starry Sky On") : tr("Starry Sky Off"),
                                     [this](bool state) { setStarrySky(state); }, on));
}

void MainWindow::setStarrySky(bool on) {
    const QSignalBlocker quiet(ui->actionStarrySky);
    ui->actionStarrySky->setChecked(on);
    view->slotViewStarrySky(on);
}

void MainWindow::showStarrySky() {
    const QSignalBlocker quiet(ui->actionStarrySky);
    ui->actionStarrySky->setChecked(doc->getSettings()->starrySky);
}

void MainWindow::showLightTravelTime() {
    const QSignalBlocker quiet(ui->actionLightTravelTime);
    ui->actionLightTravelTime->setChecked(doc->getSettings()->lightTravelTime);
}

void MainWindow::slotOptionsFreezeTime(bool frozen) {
    doc->setObserverTimeFrozen(frozen);
    updateStatusBar();
}

void MainWindow::slotOptionsSetTime() {
    // The picture, and with it the time, stands still while the question is open.
    view->suspendRendering();
    double chosen = doc->observerTime();
    const bool ok = questions.observerTime(chosen, chosen);
    if (ok) doc->setObserverTime(chosen);
    view->resumeRendering();
    updateStatusBar();
}

void MainWindow::slotOptionsVisibleWavelength() {
    if (!eyeDialog) {
        eyeDialog = new DlgEye(this, doc);
        eyeDialog->setWindowModality(Qt::NonModal);
    }
    eyeDialog->show();
    eyeDialog->raise();
}

void MainWindow::slotOptionsRenderOptions() {
    // Created without a parent window, like a tool window of its own; deleted with the window.
    if (!renderOptions) {
        renderOptions = new DlgRenderOptions(doc);
        renderOptions->setSearchlightExponent(view->searchlightExponent());
        connect(renderOptions, &DlgRenderOptions::searchlightExponentChosen, view,
                &MainView::setSearchlightExponent);
    }
    renderOptions->show();
    renderOptions->raise();
}

void MainWindow::slotHelpAbout() {
    DlgAbout about(this);
    const bool wasPaused = view->isPaused();
    view->setPaused(true);
    about.exec();
    view->setPaused(wasPaused);
}

void MainWindow::slotHelpWindow() { HelpAssistant::showPage(QStringLiteral("index.html")); }

void MainWindow::slotDebugLog() { DebugLog::writeLog(DebugLog::defaultLogPath()); }

void MainWindow::slotShowHelpItem(QString str) {
    HelpAssistant::showPage(str + QStringLiteral(".html"));
}

void MainWindow::slotEditDialogCanBeShown() {
    if (editDock && !editDock->isVisible()) ui->actionEditObjects->setChecked(false);
}

void MainWindow::setupDebugMenu() {
    actionTraceOutput = makeAction("actionTraceOutput", true, TraceOutput::enabled());
    actionTraceOutput->setText(tr("Trace Lines on Standard Output"));
    actionTraceOutput->setStatusTip(
        tr("Write what the renderer does to standard output (as with --trace)"));
    connect(actionTraceOutput, &QAction::toggled, this, [](bool on) { TraceOutput::setEnabled(on); });
    menuDebug = new QMenu(tr("&Debug"), menuBar());
    menuDebug->setObjectName(QStringLiteral("menuDebug"));
    menuDebug->addAction(actionTraceOutput);
    menuBar()->insertMenu(ui->menuHelp->menuAction(), menuDebug);
}
