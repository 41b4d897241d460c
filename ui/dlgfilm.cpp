// The film dialog: the recorder's buttons, seeking, fly-path files and film export; the form
// itself is dlgfilm.ui.
//
// Our choices where the behaviour is open:
// - The slider and label show the film position being seen: the document clock minus the
//   recorder's startTime while playing or recording (refreshed every kRefreshMs), otherwise the
//   position where the recorder stopped or the slider put it.
// - Dragging the slider seeks: playback re-plays from the chosen film time; a stopped recording
//   shows the state at that time (observer frame and speed written as the navigation writes
//   them). While recording the slider is disabled, as a seek would cut the recording.
// - Reset clears the recording after a confirmation. OK exports the film when there is a
//   recording (an empty one only closes); errors reopen the dialog.
#include "ui/dlgfilm.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <algorithm>
#include <cmath>

#include "engine/docrt.h"
#include "engine/filmrenderer.h"
#include "engine/flypathfile.h"
#include "engine/recorder.h"
#include "scene/rendersettings.h"
#include "ui/helppages.h"
#include "ui/picturesfolder.h"
#include "ui_dlgfilm.h"

namespace {

constexpr int kLevels[4] = {1, 4, 8, 16};

}  // namespace

DlgFilm::DlgFilm(QWidget* parent, DocRT* document, int width, int height)
    : QDialog(parent), ui(std::make_unique<Ui::DlgFilm>()), doc(document) {
    ui->setupUi(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &DlgFilm::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DlgFilm::reject);
    ui->sliderFrame->setRange(0, kSliderRange);
    ui->sliderFrame->setPageStep(kSliderRange / 20);
    ui->filename->setText(defaultFileName());
    ui->resWidth->setValue(width);
    ui->resHeight->setValue(height);

    connect(ui->buttonPlay, &QPushButton::clicked, this, &DlgFilm::slotPlay);
    connect(ui->buttonStop, &QPushButton::clicked, this, &DlgFilm::slotStop);
    connect(ui->buttonRecord, &QPushButton::clicked, this, &DlgFilm::slotRecord);
    connect(ui->buttonDeleteStart, &QPushButton::clicked, this, &DlgFilm::slotDeleteStart);
    connect(ui->buttonDeleteEnd, &QPushButton::clicked, this, &DlgFilm::slotDeleteEnd);
    connect(ui->buttonChooseFilename, &QPushButton::clicked, this, &DlgFilm::slotChooseFilename);
    connect(ui->buttonBox->button(QDialogButtonBox::Ok), &QPushButton::clicked, this,
            &DlgFilm::slotOk);
    connect(ui->buttonBox->button(QDialogButtonBox::Help), &QPushButton::clicked, this,
            &DlgFilm::slotHelp);
    connect(&doc->getRecorder(), &Recorder::recorderContentChanged, this,
            &DlgFilm::slotUpdateDialog);

    connect(ui->buttonBox->button(QDialogButtonBox::Reset), &QPushButton::clicked, this,
            &DlgFilm::slotReset);
    connect(ui->buttonSaveFlyPath, &QPushButton::clicked, this, &DlgFilm::slotSaveFlyPath);
    connect(ui->buttonLoadFlyPath, &QPushButton::clicked, this, &DlgFilm::slotLoadFlyPath);
    connect(ui->sliderFrame, &QSlider::valueChanged, this, &DlgFilm::slotSliderMoved);
    refreshTimer.setInterval(kRefreshMs);
    connect(&refreshTimer, &QTimer::timeout, this, [this] {
        if (doc->getRecorder().mode() != Recorder::Stopped) slotUpdateDialog();
    });
    refreshTimer.start();
}

DlgFilm::~DlgFilm() = default;

QTabWidget* DlgFilm::tabs() const { return ui->tabWidget; }
QSlider* DlgFilm::slider() const { return ui->sliderFrame; }
QLabel* DlgFilm::frameLabel() const { return ui->labelFrame; }
QSpinBox* DlgFilm::widthBox() const { return ui->resWidth; }
QSpinBox* DlgFilm::heightBox() const { return ui->resHeight; }
QSpinBox* DlgFilm::fpsBox() const { return ui->framesPerSecond; }
QComboBox* DlgFilm::antialiasingCombo() const { return ui->antialiasing; }
QLineEdit* DlgFilm::fileNameEdit() const { return ui->filename; }
QDialogButtonBox* DlgFilm::buttons() const { return ui->buttonBox; }
QPushButton* DlgFilm::playButton() const { return ui->buttonPlay; }
QPushButton* DlgFilm::stopButton() const { return ui->buttonStop; }
QPushButton* DlgFilm::recordButton() const { return ui->buttonRecord; }
QPushButton* DlgFilm::saveFlyPathButton() const { return ui->buttonSaveFlyPath; }
QPushButton* DlgFilm::loadFlyPathButton() const { return ui->buttonLoadFlyPath; }

QString DlgFilm::defaultFileName() {
    return QDir(picturesFolder()).filePath(QStringLiteral("tavolinfilm.png"));
}

int DlgFilm::antialiasingLevel(int index) { return index >= 0 && index < 4 ? kLevels[index] : 1; }

void DlgFilm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    slotUpdateDialog();
}

double DlgFilm::shownPosition() const {
    Recorder& recorder = doc->getRecorder();
    double pos = stoppedPosition;
    if (recorder.mode() != Recorder::Stopped) pos = doc->clockMs() / 1000.0 - recorder.startTime();
    return std::clamp(pos, 0.0, recorder.duration());
}

void DlgFilm::slotPlay() {
    doc->getRecorder().play(doc->clockMs(), -1.0);
    slotUpdateDialog();
}

void DlgFilm::slotRecord() {
    doc->getRecorder().record(doc->clockMs(), -1.0);
    slotUpdateDialog();
}

void DlgFilm::slotStop() {
    stoppedPosition = shownPosition();
    doc->getRecorder().stop();
    slotUpdateDialog();
}

void DlgFilm::slotDeleteStart() { doc->getRecorder().deleteToStart(-1.0); }

void DlgFilm::slotDeleteEnd() { doc->getRecorder().deleteToEnd(-1.0); }

void DlgFilm::slotChooseFilename() {
    const QString start = QFileInfo(ui->filename->text()).absolutePath();
    const QString name = QFileDialog::getSaveFileName(this, tr("Tavolin - Set filename"), start,
                                                      tr("Image Files (*.png *.jpg *.bmp)"));
    if (!name.isEmpty()) ui->filename->setText(name);
}

void DlgFilm::slotSetToDefault() { doc->getRecorder().clear(); }

void DlgFilm::slotOk() {
    // The button box has closed the dialog already; an empty recording only closes it.
    if (doc->getRecorder().pointCount() == 0) return;
    if (!exportFilm()) show();
}

void DlgFilm::slotHelp() { showHelpPage(QStringLiteral("dlgfilm.html")); }

void DlgFilm::slotUpdateDialog() {
    Recorder& recorder = doc->getRecorder();
    const double d = recorder.duration();
    const double p = shownPosition();
    // A handle the user is dragging stays under the mouse.
    if (!ui->sliderFrame->isSliderDown()) {
        refreshing = true;
        // At the end exactly: p * range / d may round to just below the range.
        ui->sliderFrame->setValue(d == 0.0 ? 0
                                  : p >= d
                                      ? kSliderRange
                                      : int(std::min(p * kSliderRange / d, double(kSliderRange))));
        refreshing = false;
    }
    ui->sliderFrame->setEnabled(recorder.mode() != Recorder::Recording && d > 0.0);
    ui->labelFrame->setText(QStringLiteral("[") + QString::number(p, 'g', 6) + QStringLiteral("/") +
                            QString::number(d, 'g', 6) + QStringLiteral("]"));
    ui->labelFrame->setMinimumWidth(ui->labelFrame->width());
}

void DlgFilm::slotSliderMoved(int value) {
    if (refreshing) return;
    const double d = doc->getRecorder().duration();
    if (d <= 0.0) return;
    seek(double(value) * d / kSliderRange);
}

void DlgFilm::seek(double t) {
    Recorder& recorder = doc->getRecorder();
    if (recorder.pointCount() == 0 || recorder.mode() == Recorder::Recording) return;
    if (recorder.mode() == Recorder::Playing) {
        recorder.play(doc->clockMs(), t);
    } else {
        // Show the state now, as the navigation moves the observer: the next frame renders it.
        const FlyPathPoint state = recorder.stateAt(t, true);
        doc->observerFrame() = state.frame;
        doc->getSettings()->speed = state.speed;
        doc->setObserverTime(state.observerTime);
        stoppedPosition = t;
    }
    slotUpdateDialog();
}

void DlgFilm::slotReset() {
    const auto answer =
        QMessageBox::question(this, tr("Tavolin - CreateFilm"),
                              tr("Delete the whole recorded fly path? This cannot be undone."),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    stoppedPosition = 0.0;
    slotSetToDefault();
}

void DlgFilm::slotSaveFlyPath() {
    const QString name = QFileDialog::getSaveFileName(
        this, tr("Tavolin - Save fly path"), QFileInfo(ui->filename->text()).absolutePath(),
        tr("Fly paths (*.txt);;All files (*)"));
    if (name.isEmpty()) return;
    QString problem;
    if (!FlyPathFile::save(name, doc->getRecorder(), problem))
        QMessageBox::warning(
            this, tr("Tavolin - Save fly path"),
            tr("Could not save in this location") + QStringLiteral("\n") + problem);
}

void DlgFilm::slotLoadFlyPath() {
    const QString name = QFileDialog::getOpenFileName(
        this, tr("Tavolin - Load fly path"), QFileInfo(ui->filename->text()).absolutePath(),
        tr("Fly paths (*.txt);;All files (*)"));
    if (name.isEmpty()) return;
    QString problem;
    if (!FlyPathFile::load(name, doc->getRecorder(), problem)) {
        QMessageBox::warning(this, tr("Tavolin - Load fly path"),
                             tr("Error reading file ") + problem);
        return;
    }
    stoppedPosition = 0.0;
    slotUpdateDialog();
}

bool DlgFilm::exportFilm(bool quiet) {
    exportedFrames = 0;
    exportError.clear();
    FilmSettings film;
    film.fileName = ui->filename->text();
    film.width = ui->resWidth->value();
    film.height = ui->resHeight->value();
    film.antialiasing = antialiasingLevel(ui->antialiasing->currentIndex());
    film.fps = ui->framesPerSecond->value();

    FilmRenderer renderer(*doc);
    const int frames = renderer.frameCount(film.fps);
    QProgressDialog progress(tr("Rendering the film ..."), tr("Cancel"), 0, 1000, this);
    progress.setWindowTitle(tr("Tavolin - CreateFilm"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);

    if (renderingHold) renderingHold(true);
    const FilmRenderer::Result result = renderer.render(film, [&](int frame, int percent) {
        const double done = (double(frame) + percent / 100.0) / std::max(frames, 1);
        progress.setLabelText(tr("Rendering frame %1 of %2 ...").arg(frame + 1).arg(frames));
        progress.setValue(int(done * 1000.0));
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
    if (renderingHold) renderingHold(false);
    progress.close();

    exportedFrames = renderer.framesWritten();
    exportError = renderer.errorText();
    // Where the frames are, and how many: the export runs long and ends unseen.
    if (!quiet && (result == FilmRenderer::Finished ||
                   (result == FilmRenderer::Canceled && exportedFrames > 0))) {
        const QString first = FilmRenderer::frameFileName(film.fileName, 0);
        const QString folder = QDir::toNativeSeparators(QFileInfo(first).absolutePath());
        QString text = tr("%1 of %2 frames were written to %3, named %4 and onwards.")
                           .arg(exportedFrames)
                           .arg(frames)
                           .arg(folder, QFileInfo(first).fileName());
        if (result == FilmRenderer::Canceled) text = tr("The film was stopped.") + "\n" + text;
        QMessageBox::information(this, tr("Tavolin - CreateFilm"), text);
    }
    if (result == FilmRenderer::Finished) return true;
    if (result != FilmRenderer::Canceled && !quiet)
        QMessageBox::warning(this, tr("Tavolin - CreateFilm"), exportError);
    return false;
}
