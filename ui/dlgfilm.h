// The film dialog: records and plays the document's fly path, cuts it, seeks in it with the
// slider, saves and loads it as a file, and exports it as numbered pictures (a film).
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class DocRT;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace Ui {
class DlgFilm;
}

class DlgFilm : public QDialog {
    Q_OBJECT
public:
    // Slider steps over the whole recording.
    static constexpr int kSliderRange = 1000000;
    // Refresh period of slider and label while playing or recording (the recorder itself
    // announces only changes of its content).
    static constexpr int kRefreshMs = 100;

    // GUI thread only. width x height is the initial export size (the main view's size).
    DlgFilm(QWidget* parent, DocRT* doc, int width, int height);
    ~DlgFilm() override;

    // The platform's pictures folder (or the home folder) + "/tavolinfilm.png".
    static QString defaultFileName();
    // Antialiasing level of a combo index: "Off", "4x", "8x", "16x" -> 1, 4, 8, 16.
    static int antialiasingLevel(int index);

    // Holds the interactive views' frames back while a film is exported (hold true) and lets
    // them go on afterwards (false): the export prepares the shared scene objects and black-hole
    // table for each film frame, which the views' frames must not see. The main window installs
    // one that also waits for a frame in flight.
    void setRenderingHold(std::function<void(bool hold)> hold) { renderingHold = std::move(hold); }

    // The film position the dialog shows: while playing or recording the document clock minus
    // the recorder's startTime, otherwise where it stopped or was moved to; clamped to
    // [0, duration].
    double shownPosition() const;

    // Renders the recording with the export tab's settings behind a progress dialog. True when
    // every frame was written; a refusal or error is reported in a message box unless quiet.
    bool exportFilm(bool quiet = false);
    // Picture files written by the last export.
    int lastExportFrames() const { return exportedFrames; }
    QString lastExportError() const { return exportError; }

    // The form, for tests.
    QTabWidget* tabs() const;
    QSlider* slider() const;
    QLabel* frameLabel() const;
    QSpinBox* widthBox() const;
    QSpinBox* heightBox() const;
    QSpinBox* fpsBox() const;
    QComboBox* antialiasingCombo() const;
    QLineEdit* fileNameEdit() const;
    QDialogButtonBox* buttons() const;
    QPushButton* playButton() const;
    QPushButton* stopButton() const;
    QPushButton* recordButton() const;
    QPushButton* saveFlyPathButton() const;
    QPushButton* loadFlyPathButton() const;

public slots:
    void slotPlay();
    void slotRecord();
    void slotStop();
    void slotDeleteStart();
    void slotDeleteEnd();
    void slotChooseFilename();
    void slotSetToDefault();
    void slotOk();
    void slotHelp();
    void slotUpdateDialog();
    // Seeks to the slider's position (user input only): playback goes on from there, a stopped
    // recording shows that state.
    void slotSliderMoved(int value);
    // Reset button: clears the recording after a confirmation.
    void slotReset();
    void slotSaveFlyPath();
    void slotLoadFlyPath();

protected:
    // Shows the recording's current state each time the dialog opens.
    void showEvent(QShowEvent* event) override;

private:
    // Moves to film time t: re-plays from t while playing, shows the state at t when stopped.
    void seek(double t);

    std::unique_ptr<Ui::DlgFilm> ui;
    DocRT* doc;
    std::function<void(bool)> renderingHold;
    QTimer refreshTimer;
    double stoppedPosition = 0.0;  // shown position while the recorder is stopped
    bool refreshing = false;       // the slider is being set by the dialog, not the user
    int exportedFrames = 0;
    QString exportError;
};
