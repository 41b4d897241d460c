// The main window: menus, tool bar and status bar around the split views of the rendered scene.
// It owns the document, opens and saves scene files, switches the relativistic effects and the
// status-bar read-outs, and opens the dialogs and the edit dock.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>

class DocRT;
class HelpAssistant;
class MainView;
class QAction;
class QDockWidget;
class DlgEye;
class DlgFilm;
class DlgBHLightPath;
class DlgRenderOptions;
class QLabel;
class QMenu;
class QToolBar;
class QUndoStack;
namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Light speed in km/s as the single-precision constant of the speed read-out.
    static constexpr float kLightSpeedKmPerS = 299792.46875f;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Makes the document report load errors in a critical message box (no parent).
    static void installErrorReporter();

    MainView* mainView() const { return view; }
    DocRT* document() const { return doc; }
    QToolBar* toolBar() const;

    // ---- the document as a file: title, unsaved changes, undo

    // The questions the window asks about the document; tests answer them without modal dialogs.
    struct Questions {
        // Save, Discard or Cancel for unsaved changes; text names the file.
        std::function<QMessageBox::StandardButton(const QString& text)> unsavedChanges;
        // The file to save under, empty when cancelled; suggested is a path.
        std::function<QString(const QString& suggested)> saveFileName;
        // The observer's time to set, in seconds, starting from current; false when cancelled.
        std::function<bool(double current, double& chosen)> observerTime;
    };
    void setQuestions(Questions questions);
    // Reads a scene file into the window, without asking about unsaved changes (the caller
    // does); false, with the document unchanged, when it cannot be read.
    bool openFile(const QString& fileName);
    // The file the document was read from or saved to; empty for a new document.
    const QString& documentFile() const { return currentFile; }
    QUndoStack* undoStack() const { return undo; }

public slots:
    void slotFileNew();
    void slotFileOpen();
    void slotFileSave();
    void slotFileLoadStartPosition();
    void slotFileExit();
    void slotViewFullscreen(bool fulls);
    void slotViewScreenshot();
    void slotViewFilm();
    void slotViewBHLightPath();
    void slotViewShowMenu(bool showMenu);
    void slotViewShowStatusBar(bool showStatusBar);
    void slotViewEditObjects(bool showEditObjects);
    void slotViewPosition(bool vis);
    void slotViewSpeed(bool vis);
    void slotViewDirection(bool vis);
    void slotViewFrames(bool vis);
    void slotCursorPosition(bool vis);
    void slotCursorDopplerEffect(bool vis);
    void slotCursorRestingRayDirection(bool vis);
    void slotCursorTransformedRayDirection(bool vis);
    void slotCursorBrightness(bool vis);
    void slotViewObserverTime(bool vis);
    // The document's Light Travel Time switch, as an edit on the undo stack.
    void slotOptionsLightTravelTime(bool on);
    // The document's Starry Sky switch, as an edit on the undo stack.
    void slotOptionsStarrySky(bool on);
    // Stops or starts the observer's time; not an edit (files do not store the time).
    void slotOptionsFreezeTime(bool frozen);
    // Asks for the observer's time and sets it.
    void slotOptionsSetTime();
    void slotOptionsVisibleWavelength();
    void slotOptionsRenderOptions();
    void slotHelpAbout();
    void slotHelpWindow();
    void slotDebugLog();
    void slotShowHelpItem(QString str);
    void slotEditDialogCanBeShown();
    void setConnections();
    void updateStatusBar();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setupDocumentHandling();
    // The Debug menu: trace lines on standard output, switched at any time.
    void setupDebugMenu();
    void setDocumentFile(const QString& fileName);
    // Asks Save / Discard / Cancel when the document has unsaved changes; true when the caller
    // may go on (nothing to save, saved, or discarded).
    bool maybeKeepChanges();
    // Saves under a name the user chooses (always when askName, else when the document has no
    // file of its own); false when cancelled or failed, after saying why.
    bool saveDocument(bool askName);
    bool isOwnFile(const QString& fileName) const;
    void holdRendering(bool hold);
    void createStatusLabels();
    // Frame progress and the pause mark (FrameStatus), fed by the main view.
    void createFrameStatus();
    // Shows the brightness read-out while its action is checked and the searchlight is on in
    // the view under the cursor, with the current value.
    void updateBrightnessLabel();
    QAction* makeAction(const char* objectName, bool checkable = false, bool checked = false);
    // The switch, its action and the undo stack's view of it, without pushing an edit.
    void setLightTravelTime(bool on);
    // The action shows the document's switch (after a scene was taken over).
    void showLightTravelTime();
    // The same for the Starry Sky switch.
    void setStarrySky(bool on);
    void showStarrySky();

    // The form (mainwindow.ui): actions, menus, bars.
    std::unique_ptr<Ui::MainWindow> ui;

    MainView* view = nullptr;
    DocRT* doc = nullptr;
    QLabel* labelSpeed = nullptr;
    QLabel* labelPosition = nullptr;
    QLabel* labelLookat = nullptr;
    QLabel* labelFrames = nullptr;
    QLabel* labelCursorPos = nullptr;
    QLabel* labelCursorDoppler = nullptr;
    QLabel* labelCursorResting = nullptr;
    QLabel* labelCursorTransformed = nullptr;
    QLabel* labelCursorBrightness = nullptr;
    QLabel* labelObserverTime = nullptr;
    QAction* actionFileNew = nullptr;
    QAction* actionUndo = nullptr;
    QAction* actionRedo = nullptr;
    QMenu* menuEdit = nullptr;
    QMenu* menuDebug = nullptr;
    QAction* actionTraceOutput = nullptr;
    QUndoStack* undo = nullptr;
    QString currentFile;
    Questions questions;
    QString lastOpenFile;
    QString lastSaveFile;
    QDockWidget* editDock = nullptr;
    DlgEye* eyeDialog = nullptr;
    DlgRenderOptions* renderOptions = nullptr;
    DlgFilm* filmDialog = nullptr;
    DlgBHLightPath* lightPathDialog = nullptr;
    std::unique_ptr<HelpAssistant> help;
};
