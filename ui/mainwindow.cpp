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

// The icons are compiled into this static library; naming the resource keeps the linker from
// dropping it. Outside any namespace, as the macro requires.
static void initIconResources() { Q_INIT_RESOURCE(resources); }

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    initIconResources();
    lastOpenFile = QString();
    lastSaveFile = QString();
    setupForm();
    retranslateForm();

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
    centralwidget = nullptr;  // deleted by setCentralWidget

    help = std::make_unique<HelpAssistant>();
    setConnections();
    createStatusLabels();
    createFrameStatus();

    setupDocumentHandling();
    setupDebugMenu();
    // The observer's time runs in the window (see above); the document starts it frozen.
    doc->setObserverTimeFrozen(actionFreezeTime->isChecked());
    connect(doc, &DocRT::sceneContentChanged, this, &MainWindow::showLightTravelTime);
    showLightTravelTime();
    connect(doc, &DocRT::sceneContentChanged, this, &MainWindow::showStarrySky);
    showStarrySky();
    resize(600, 350);
    if (GlView* first = view->rootView().view()) first->setFocus();
}

MainWindow::~MainWindow() {
    help.reset();  // ends the help viewer
    // The tools that hold the document go first.
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

void MainWindow::setupForm() {
    if (objectName().isEmpty()) setObjectName(QStringLiteral("MainWindow"));
    actionFileOpen = makeAction("actionFileOpen");
    actionFileSave = makeAction("actionFileSave");
    actionFileLoadStartPosition = makeAction("actionFileLoadStartPosition");
    actionFileQuit = makeAction("actionFileQuit");
    actionSaveScreenshot = makeAction("actionSaveScreenshot");
    actionSaveScreenshot->setEnabled(true);
    actionFullscreen = makeAction("actionFullscreen", true, false);
    actionShowMenuBar = makeAction("actionShowMenuBar", true, true);
    actionShowStatusBar = makeAction("actionShowStatusBar", true, true);
    actionShowToolBar = makeAction("actionShowToolBar", true, true);
    actionPosition = makeAction("actionPosition", true, false);
    actionPosition->setEnabled(true);
    actionSpeed = makeAction("actionSpeed", true, true);
    actionDirection = makeAction("actionDirection", true, false);
    actionFrames = makeAction("actionFrames", true, false);
    actionCursorPosition = makeAction("actionCursorPosition", true, false);
    actionCursorDopplerEffect = makeAction("actionCursorDopplerEffect", true, false);
    actionCursorRestingRayDirection = makeAction("actionCursorRestingRayDirection", true, false);
    actionCursorTransformedRayDirection =
        makeAction("actionCursorTransformedRayDirection", true, false);
    actionCursorTransformedRayDirection->setVisible(true);
    actionAbberration = makeAction("actionAbberration", true, true);
    actionAbberration->setIcon(QIcon(QStringLiteral(":/settings/Aberration.ico")));
    actionSRTDopplerEffect = makeAction("actionSRTDopplerEffect", true, true);
    actionSRTDopplerEffect->setIcon(QIcon(QStringLiteral(":/settings/SRTDoppler.ico")));
    actionVisibleWavelength = makeAction("actionVisibleWavelength");
    actionVisibleWavelength->setIcon(QIcon(QStringLiteral(":/settings/wavelength.ico")));
    actionRenderOptions = makeAction("actionRenderOptions");
    actionEditObjects = makeAction("actionEditObjects", true, false);
    actionHelp = makeAction("actionHelp");
    actionHelpAbout = makeAction("actionHelpAbout");
    actionDebugLog = makeAction("actionDebugLog");
    actionViewFilm = makeAction("actionViewFilm");
    actionViewBHLightPath = makeAction("actionViewBHLightPath");
    actionLightBending = makeAction("actionLightBending", true, false);
    actionGRTDopplerEffect = makeAction("actionGRTDopplerEffect", true, false);
    actionSearchlight = makeAction("actionSearchlight", true, false);
    actionSearchlight->setIcon(QIcon(QStringLiteral(":/settings/Searchlight.ico")));
    actionCursorBrightness = makeAction("actionCursorBrightness", true, true);
    actionLightTravelTime = makeAction("actionLightTravelTime", true, false);
    actionStarrySky = makeAction("actionStarrySky", true, false);
    actionLightTravelTime->setIcon(QIcon(QStringLiteral(":/settings/LightTravelTime.ico")));
    actionFreezeTime = makeAction("actionFreezeTime", true, false);
    actionFreezeTime->setIcon(QIcon(QStringLiteral(":/settings/FreezeTime.ico")));
    actionSetTime = makeAction("actionSetTime");
    actionObserverTime = makeAction("actionObserverTime", true, true);

    centralwidget = new QWidget(this);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    setCentralWidget(centralwidget);

    QMenuBar* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menubar"));
    setMenuBar(bar);
    menuFile = new QMenu(bar);
    menuFile->setObjectName(QStringLiteral("menuFile"));
    menuHelp = new QMenu(bar);
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    menuView = new QMenu(bar);
    menuView->setObjectName(QStringLiteral("menuView"));
    menuStatus_Bar = new QMenu(menuView);
    menuStatus_Bar->setObjectName(QStringLiteral("menuStatus_Bar"));
    menuStatus_Bar->setEnabled(true);
    menuOptions = new QMenu(bar);
    menuOptions->setObjectName(QStringLiteral("menuOptions"));

    QStatusBar* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("statusBar"));
    setStatusBar(status);

    tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("toolBar"));
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, tools);
    setDockNestingEnabled(true);

    bar->addAction(menuFile->menuAction());
    bar->addAction(menuView->menuAction());
    bar->addAction(menuOptions->menuAction());
    bar->addAction(menuHelp->menuAction());

    menuFile->addAction(actionFileOpen);
    menuFile->addAction(actionFileSave);
    menuFile->addAction(actionFileLoadStartPosition);
    menuFile->addSeparator();
    menuFile->addAction(actionFileQuit);

    menuView->addAction(menuStatus_Bar->menuAction());
    menuView->addAction(actionSaveScreenshot);
    menuView->addAction(actionFullscreen);
    menuView->addAction(actionShowMenuBar);
    menuView->addAction(actionShowStatusBar);
    menuView->addAction(actionShowToolBar);
    menuView->addSeparator();
    menuView->addAction(actionViewFilm);
    menuView->addAction(actionViewBHLightPath);

    menuStatus_Bar->addAction(actionPosition);
    menuStatus_Bar->addAction(actionSpeed);
    menuStatus_Bar->addAction(actionDirection);
    menuStatus_Bar->addAction(actionFrames);
    menuStatus_Bar->addAction(actionObserverTime);
    menuStatus_Bar->addSeparator();
    menuStatus_Bar->addAction(actionCursorPosition);
    menuStatus_Bar->addAction(actionCursorDopplerEffect);
    menuStatus_Bar->addAction(actionCursorBrightness);
    menuStatus_Bar->addAction(actionCursorRestingRayDirection);
    menuStatus_Bar->addAction(actionCursorTransformedRayDirection);

    menuOptions->addAction(actionAbberration);
    menuOptions->addAction(actionSRTDopplerEffect);
    menuOptions->addAction(actionSearchlight);
    menuOptions->addAction(actionLightTravelTime);
    menuOptions->addAction(actionStarrySky);
    menuOptions->addSeparator();
    menuOptions->addAction(actionFreezeTime);
    menuOptions->addAction(actionSetTime);
    menuOptions->addSeparator();
    menuOptions->addAction(actionVisibleWavelength);
    menuOptions->addAction(actionRenderOptions);
    menuOptions->addAction(actionEditObjects);
    menuOptions->addSeparator();
    menuOptions->addAction(actionLightBending);
    menuOptions->addAction(actionGRTDopplerEffect);

    menuHelp->addAction(actionHelp);
    menuHelp->addSeparator();
    menuHelp->addAction(actionHelpAbout);
    menuHelp->addAction(actionDebugLog);

    tools->addAction(actionAbberration);
    tools->addAction(actionSRTDopplerEffect);
    tools->addAction(actionSearchlight);
    tools->addAction(actionLightTravelTime);
    tools->addAction(actionFreezeTime);
    tools->addSeparator();
    tools->addAction(actionVisibleWavelength);
}

void MainWindow::retranslateForm() {
    actionFileOpen->setText(tr("Open ..."));
    actionFileSave->setText(tr("Save ..."));
    actionFileLoadStartPosition->setText(tr("Load Start Position"));
    actionFileQuit->setText(tr("Exit"));
    actionSaveScreenshot->setText(tr("Save Screenshot ..."));
    actionFullscreen->setText(tr("Fullscreen"));
    actionFullscreen->setShortcut(QKeySequence(tr("Ctrl+F")));
    actionShowMenuBar->setText(tr("Show Menu Bar"));
    actionShowMenuBar->setShortcut(QKeySequence(tr("Ctrl+M")));
    actionShowStatusBar->setText(tr("Show Status Bar"));
    actionShowStatusBar->setShortcut(QKeySequence(tr("Ctrl+S")));
    actionShowToolBar->setText(tr("Show Tool Bar"));
    actionPosition->setText(tr("Position"));
    actionSpeed->setText(tr("Speed"));
    actionDirection->setText(tr("Direction"));
    actionFrames->setText(tr("Frames/s"));
    actionCursorPosition->setText(tr("Screen Position of Cursor"));
    actionCursorDopplerEffect->setText(tr("Doppler Effect at Cursor"));
    actionCursorRestingRayDirection->setText(tr("Resting Ray Direction at Cursor"));
    actionCursorTransformedRayDirection->setText(tr("Transformed Ray Direction at Cursor"));
    actionAbberration->setText(tr("Aberration"));
    actionAbberration->setToolTip(tr("Enable/Disable simulation of aberration"));
    actionAbberration->setStatusTip(tr("Enable/Disable simulation of aberration"));
    actionSRTDopplerEffect->setText(tr("Doppler Effect"));
    actionSRTDopplerEffect->setToolTip(tr("Enable/Disable simulation of the Doppler Effect"));
    actionSRTDopplerEffect->setStatusTip(tr("Enable/Disable simulation of the Doppler Effect"));
    actionVisibleWavelength->setText(tr("Edit Visible Wavelength ..."));
    actionRenderOptions->setText(tr("Set Render Options ..."));
    actionEditObjects->setText(tr("Show Edit Objects ..."));
    actionHelp->setText(tr("Help"));
    actionHelp->setShortcut(QKeySequence(tr("F1")));
    actionHelpAbout->setText(tr("About"));
    actionDebugLog->setText(tr("Write Log File to ") +
                            QDir::toNativeSeparators(DebugLog::defaultLogPath()));
    actionViewFilm->setText(tr("Fly Path / Film ..."));
    actionViewBHLightPath->setText(tr("Light Path Viewer ..."));
    actionLightBending->setText(tr("Light Bending"));
    actionGRTDopplerEffect->setText(tr("Gravitational Doppler Effect"));
    actionSearchlight->setText(tr("Searchlight"));
    actionSearchlight->setToolTip(tr("Enable/Disable the relativistic searchlight (beaming)"));
    actionSearchlight->setStatusTip(tr("Enable/Disable the relativistic searchlight (beaming)"));
    actionCursorBrightness->setText(tr("Brightness at Cursor"));
    actionLightTravelTime->setText(tr("Light Travel Time"));
    actionLightTravelTime->setToolTip(
        tr("Show moving bodies by the light that reaches the eye now (on), or as the scene's "
           "snapshot at the observer's time (off)"));
    actionLightTravelTime->setStatusTip(actionLightTravelTime->toolTip());
    actionStarrySky->setText(tr("Starry Sky"));
    actionStarrySky->setToolTip(
        tr("Show the stars at infinity where rays hit nothing: aberrated, Doppler-shifted and "
           "lensed by the black hole"));
    actionStarrySky->setStatusTip(actionStarrySky->toolTip());
    actionFreezeTime->setText(tr("Freeze Time"));
    actionFreezeTime->setToolTip(tr("Stop or run the observer's time"));
    actionFreezeTime->setStatusTip(actionFreezeTime->toolTip());
    actionSetTime->setText(tr("Set Time ..."));
    actionSetTime->setStatusTip(tr("Set the observer's time in seconds"));
    actionObserverTime->setText(tr("Observer Time"));
    menuFile->setTitle(tr("&File"));
    menuHelp->setTitle(tr("&Help"));
    menuView->setTitle(tr("&View"));
    menuStatus_Bar->setTitle(tr("Status Bar"));
    menuOptions->setTitle(tr("&Options"));
    tools->setWindowTitle(tr("Tool Bar"));
    tools->setToolTip(QString());
}

void MainWindow::setConnections() {
    // Triggered connections.
    const std::pair<QAction*, void (MainWindow::*)()> triggered[] = {
        {actionFileOpen, &MainWindow::slotFileOpen},
        {actionFileSave, &MainWindow::slotFileSave},
        {actionFileLoadStartPosition, &MainWindow::slotFileLoadStartPosition},
        {actionFileQuit, &MainWindow::slotFileExit},
        {actionSaveScreenshot, &MainWindow::slotViewScreenshot},
        {actionVisibleWavelength, &MainWindow::slotOptionsVisibleWavelength},
        {actionRenderOptions, &MainWindow::slotOptionsRenderOptions},
        {actionHelp, &MainWindow::slotHelpWindow},
        {actionHelpAbout, &MainWindow::slotHelpAbout},
        {actionDebugLog, &MainWindow::slotDebugLog},
        {actionViewFilm, &MainWindow::slotViewFilm},
        {actionViewBHLightPath, &MainWindow::slotViewBHLightPath},
        {actionSetTime, &MainWindow::slotOptionsSetTime},
    };
    for (const auto& [action, slot] : triggered) {
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    }
    const std::pair<QAction*, void (MainWindow::*)(bool)> toggled[] = {
        {actionFullscreen, &MainWindow::slotViewFullscreen},
        {actionShowMenuBar, &MainWindow::slotViewShowMenu},
        {actionShowStatusBar, &MainWindow::slotViewShowStatusBar},
        {actionPosition, &MainWindow::slotViewPosition},
        {actionSpeed, &MainWindow::slotViewSpeed},
        {actionDirection, &MainWindow::slotViewDirection},
        {actionFrames, &MainWindow::slotViewFrames},
        {actionCursorPosition, &MainWindow::slotCursorPosition},
        {actionCursorDopplerEffect, &MainWindow::slotCursorDopplerEffect},
        {actionCursorRestingRayDirection, &MainWindow::slotCursorRestingRayDirection},
        {actionCursorTransformedRayDirection, &MainWindow::slotCursorTransformedRayDirection},
        {actionCursorBrightness, &MainWindow::slotCursorBrightness},
        {actionEditObjects, &MainWindow::slotViewEditObjects},
        {actionObserverTime, &MainWindow::slotViewObserverTime},
        {actionLightTravelTime, &MainWindow::slotOptionsLightTravelTime},
        {actionStarrySky, &MainWindow::slotOptionsStarrySky},
        {actionFreezeTime, &MainWindow::slotOptionsFreezeTime},
    };
    for (const auto& [action, slot] : toggled) {
        connect(action, &QAction::toggled, this, slot);
        addAction(action);
    }
    const std::pair<QAction*, void (MainView::*)(bool)> effects[] = {
        {actionAbberration, &MainView::slotViewAberration},
        {actionSRTDopplerEffect, &MainView::slotViewSRTDoppler},
        {actionLightBending, &MainView::slotEnableLightbending},
        {actionGRTDopplerEffect, &MainView::slotGRTDopplerEffect},
        {actionSearchlight, &MainView::slotViewSearchlight},
    };
    for (const auto& [action, slot] : effects) {
        connect(action, &QAction::toggled, view, slot);
        addAction(action);
    }
    connect(actionShowToolBar, &QAction::toggled, tools, &QToolBar::setVisible);
    connect(tools, &QToolBar::visibilityChanged, actionShowToolBar, &QAction::setChecked);
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
    const QSignalBlocker quiet(actionLightTravelTime);
    actionLightTravelTime->setChecked(on);
    view->slotViewLightTravelTime(on);
}

void MainWindow::slotOptionsStarrySky(bool on) {
    if (doc->getSettings()->starrySky == on) return;
    view->slotViewStarrySky(on);
    undo->push(new SwitchEditCommand(on ? tr("Starry Sky On") : tr("Starry Sky Off"),
                                     [this](bool state) { setStarrySky(state); }, on));
}

void MainWindow::setStarrySky(bool on) {
    const QSignalBlocker quiet(actionStarrySky);
    actionStarrySky->setChecked(on);
    view->slotViewStarrySky(on);
}

void MainWindow::showStarrySky() {
    const QSignalBlocker quiet(actionStarrySky);
    actionStarrySky->setChecked(doc->getSettings()->starrySky);
}

void MainWindow::showLightTravelTime() {
    const QSignalBlocker quiet(actionLightTravelTime);
    actionLightTravelTime->setChecked(doc->getSettings()->lightTravelTime);
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
    if (editDock && !editDock->isVisible()) actionEditObjects->setChecked(false);
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
    menuBar()->insertMenu(menuHelp->menuAction(), menuDebug);
}
