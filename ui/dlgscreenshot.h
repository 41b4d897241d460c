// The screenshot dialog: renders the document's current view once more at a chosen resolution
// and antialiasing level with an engine, a thread pool and a pixel buffer of its own, then saves
// the picture. The settings of the last saved screenshot are offered again for the next one.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class DocRT;
class PixelBuffer;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QProgressDialog;
class QRadioButton;
class QSpinBox;
class ThreadBase;
class TimeRT;

namespace Ui {
class DlgScreenshot;
}

// What the last successful screenshot used; kept for the rest of the run.
struct ShotSettings {
    bool saved = false;
    int width = -1;
    int height = -1;
    bool customResolution = false;
    int antialiasingLevel = 1;
    QString fileName;
};

class DlgScreenshot : public QDialog {
    Q_OBJECT
public:
    // GUI thread only. screenWidth x screenHeight is the main view's size; the document is not
    // owned. The main window runs the dialog modally, holding the views' frames back meanwhile.
    DlgScreenshot(QWidget* parent, int screenWidth, int screenHeight, DocRT* doc);
    ~DlgScreenshot() override;

    static ShotSettings lastShotSettings;

    // The platform's place for pictures (or the home folder) + "/tavolinscreen.bmp".
    static QString defaultFileName();

    // True from OK until the picture is saved, refused or the rendering is stopped.
    bool isRendering() const { return threadBase != nullptr; }
    QProgressDialog* progressDialog() const { return progress; }
    QRadioButton* customButton() const;
    QRadioButton* screenButton() const;
    QSpinBox* widthBox() const;
    QSpinBox* heightBox() const;
    QLineEdit* fileNameEdit() const;
    QComboBox* antialiasingCombo() const;
    QDialogButtonBox* buttons() const;

public slots:
    void slotChooseFilename();
    void updateDimensionState(bool aw);
    void updateDimensionState();
    void clickOk();
    void clickHelp();
    int getAntialiasingLevel();
    void setAntialiasingLevel(int newLevel);
    void renderingFinished();
    // Stops a rendering in progress: nothing is saved and the dialog stays open for another try.
    void abortRendering();
    void updateProgressBar();

private:
    // Deletes the pool (stopping its workers), the engine, the buffer and the progress dialog.
    void releaseRendering();

    std::unique_ptr<Ui::DlgScreenshot> ui;
    int screenWidth;
    int screenHeight;
    ThreadBase* threadBase = nullptr;     // owned while rendering
    TimeRT* engine = nullptr;             // owned while rendering
    PixelBuffer* buffer = nullptr;        // owned while rendering
    QProgressDialog* progress = nullptr;  // child while rendering
    QProgressDialog* retiredProgress = nullptr;  // child: the last rendering's, hidden
    DocRT* doc;
    bool finished = false;  // the pool has reported the end of the run; reduction and saving
    int renderLevel = 1;    // antialiasing level of the rendering in progress
};
