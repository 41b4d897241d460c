// The film dialog: its form, the recorder's buttons, seeking, fly-path files and film export.
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
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpacerItem>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/docrt.h"
#include "engine/filmrenderer.h"
#include "engine/flypathfile.h"
#include "engine/recorder.h"
#include "scene/rendersettings.h"
#include "ui/helppages.h"
#include "ui/picturesfolder.h"

namespace {

QString formTr(const char* text) { return QCoreApplication::translate("DlgFilm", text); }

constexpr int kLevels[4] = {1, 4, 8, 16};
constexpr int kMaxResolution = 9999;

QSpacerItem* hSpacer() {
    return new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

QPushButton* makeButton(QWidget* parent, const char* name) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

}  // namespace

DlgFilm::DlgFilm(QWidget* parent, DocRT* document, int width, int height)
    : QDialog(parent), doc(document) {
    setupForm();
    resWidth->setValue(width);
    resHeight->setValue(height);

    connect(buttonPlay, &QPushButton::clicked, this, &DlgFilm::slotPlay);
    connect(buttonStop, &QPushButton::clicked, this, &DlgFilm::slotStop);
    connect(buttonRecord, &QPushButton::clicked, this, &DlgFilm::slotRecord);
    connect(buttonDeleteStart, &QPushButton::clicked, this, &DlgFilm::slotDeleteStart);
    connect(buttonDeleteEnd, &QPushButton::clicked, this, &DlgFilm::slotDeleteEnd);
    connect(buttonChooseFilename, &QPushButton::clicked, this, &DlgFilm::slotChooseFilename);
    connect(buttonBox->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, &DlgFilm::slotOk);
    connect(buttonBox->button(QDialogButtonBox::Help), &QPushButton::clicked, this,
            &DlgFilm::slotHelp);
    connect(&doc->getRecorder(), &Recorder::recorderContentChanged, this,
            &DlgFilm::slotUpdateDialog);

    connect(buttonBox->button(QDialogButtonBox::Reset), &QPushButton::clicked, this,
            &DlgFilm::slotReset);
    connect(buttonSaveFlyPath, &QPushButton::clicked, this, &DlgFilm::slotSaveFlyPath);
    connect(buttonLoadFlyPath, &QPushButton::clicked, this, &DlgFilm::slotLoadFlyPath);
    connect(sliderFrame, &QSlider::valueChanged, this, &DlgFilm::slotSliderMoved);
    refreshTimer.setInterval(kRefreshMs);
    connect(&refreshTimer, &QTimer::timeout, this, [this] {
        if (doc->getRecorder().mode() != Recorder::Stopped) slotUpdateDialog();
    });
    refreshTimer.start();
}

DlgFilm::~DlgFilm() = default;

QString DlgFilm::defaultFileName() {
    return QDir(picturesFolder()).filePath(QStringLiteral("tavolinfilm.png"));
}

int DlgFilm::antialiasingLevel(int index) { return index >= 0 && index < 4 ? kLevels[index] : 1; }

void DlgFilm::setupForm() {
    setObjectName(QStringLiteral("DlgFilm"));
    setEnabled(true);
    auto* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    tabWidget = new QTabWidget(this);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));

    // Tab 1: recording and playback.
    tab = new QWidget();
    tab->setObjectName(QStringLiteral("tab"));
    auto* tabLayout = new QVBoxLayout(tab);
    auto* horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->addItem(hSpacer());
    buttonPlay = makeButton(tab, "buttonPlay");
    buttonStop = makeButton(tab, "buttonStop");
    buttonRecord = makeButton(tab, "buttonRecord");
    horizontalLayout->addWidget(buttonPlay);
    horizontalLayout->addWidget(buttonStop);
    horizontalLayout->addWidget(buttonRecord);
    tabLayout->addLayout(horizontalLayout);

    auto* horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    sliderFrame = new QSlider(Qt::Horizontal, tab);
    sliderFrame->setObjectName(QStringLiteral("sliderFrame"));
    sliderFrame->setRange(0, kSliderRange);
    sliderFrame->setSingleStep(1);
    sliderFrame->setPageStep(kSliderRange / 20);
    labelFrame = new QLabel(tab);
    labelFrame->setObjectName(QStringLiteral("labelFrame"));
    horizontalLayout_2->addWidget(sliderFrame);
    horizontalLayout_2->addWidget(labelFrame);
    tabLayout->addLayout(horizontalLayout_2);

    auto* horizontalLayout_3 = new QHBoxLayout();
    horizontalLayout_3->setObjectName(QStringLiteral("horizontalLayout_3"));
    horizontalLayout_3->addItem(hSpacer());
    buttonDeleteStart = makeButton(tab, "buttonDeleteStart");
    buttonDeleteEnd = makeButton(tab, "buttonDeleteEnd");
    horizontalLayout_3->addWidget(buttonDeleteStart);
    horizontalLayout_3->addWidget(buttonDeleteEnd);
    tabLayout->addLayout(horizontalLayout_3);

    auto* horizontalLayout_4 = new QHBoxLayout();
    horizontalLayout_4->setObjectName(QStringLiteral("horizontalLayout_4"));
    horizontalLayout_4->addItem(hSpacer());
    buttonSaveFlyPath = makeButton(tab, "buttonSaveFlyPath");
    buttonLoadFlyPath = makeButton(tab, "buttonLoadFlyPath");
    horizontalLayout_4->addWidget(buttonSaveFlyPath);
    horizontalLayout_4->addWidget(buttonLoadFlyPath);
    tabLayout->addLayout(horizontalLayout_4);
    tabWidget->addTab(tab, QString());

    // Tab 2: film export.
    tab_2 = new QWidget();
    tab_2->setObjectName(QStringLiteral("tab_2"));
    auto* tab2Layout = new QVBoxLayout(tab_2);
    auto* horizontalLayout_5 = new QHBoxLayout();
    horizontalLayout_5->setObjectName(QStringLiteral("horizontalLayout_5"));
    label_2 = new QLabel(tab_2);
    label_2->setObjectName(QStringLiteral("label_2"));
    resWidth = new QSpinBox(tab_2);
    resWidth->setObjectName(QStringLiteral("resWidth"));
    resWidth->setRange(1, kMaxResolution);
    label_3 = new QLabel(tab_2);
    label_3->setObjectName(QStringLiteral("label_3"));
    resHeight = new QSpinBox(tab_2);
    resHeight->setObjectName(QStringLiteral("resHeight"));
    resHeight->setRange(1, kMaxResolution);
    horizontalLayout_5->addWidget(label_2);
    horizontalLayout_5->addWidget(resWidth);
    horizontalLayout_5->addItem(hSpacer());
    horizontalLayout_5->addWidget(label_3);
    horizontalLayout_5->addWidget(resHeight);
    tab2Layout->addLayout(horizontalLayout_5);

    auto* horizontalLayout_8 = new QHBoxLayout();
    horizontalLayout_8->setObjectName(QStringLiteral("horizontalLayout_8"));
    filename = new QLineEdit(tab_2);
    filename->setObjectName(QStringLiteral("filename"));
    buttonChooseFilename = makeButton(tab_2, "buttonChooseFilename");
    horizontalLayout_8->addWidget(filename);
    horizontalLayout_8->addWidget(buttonChooseFilename);
    tab2Layout->addLayout(horizontalLayout_8);

    auto* horizontalLayout_6 = new QHBoxLayout();
    horizontalLayout_6->setObjectName(QStringLiteral("horizontalLayout_6"));
    label_5 = new QLabel(tab_2);
    label_5->setObjectName(QStringLiteral("label_5"));
    framesPerSecond = new QSpinBox(tab_2);
    framesPerSecond->setObjectName(QStringLiteral("framesPerSecond"));
    framesPerSecond->setMinimum(10);
    label_4 = new QLabel(tab_2);
    label_4->setObjectName(QStringLiteral("label_4"));
    antialiasing = new QComboBox(tab_2);
    antialiasing->setObjectName(QStringLiteral("antialiasing"));
    for (int i = 0; i < 4; ++i) antialiasing->addItem(QString());
    horizontalLayout_6->addWidget(label_5);
    horizontalLayout_6->addWidget(framesPerSecond);
    horizontalLayout_6->addItem(hSpacer());
    horizontalLayout_6->addWidget(label_4);
    horizontalLayout_6->addWidget(antialiasing);
    tab2Layout->addLayout(horizontalLayout_6);
    tab2Layout->addStretch(1);
    tabWidget->addTab(tab_2, QString());
    verticalLayout->addWidget(tabWidget);

    line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    verticalLayout->addWidget(line);

    buttonBox = new QDialogButtonBox(this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setOrientation(Qt::Horizontal);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                  QDialogButtonBox::Help | QDialogButtonBox::Reset);
    verticalLayout->addWidget(buttonBox);

    retranslateForm();
    tabWidget->setCurrentIndex(0);
    antialiasing->setCurrentIndex(0);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &DlgFilm::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &DlgFilm::reject);
}

void DlgFilm::retranslateForm() {
    setWindowTitle(formTr("Tavolin - CreateFilm"));
    buttonPlay->setText(formTr("Play"));
    buttonStop->setText(formTr("Stop"));
    buttonRecord->setText(formTr("Record"));
    labelFrame->setText(formTr("POS"));
    buttonDeleteStart->setText(formTr("Delete to Start"));
    buttonDeleteEnd->setText(formTr("Delete to End"));
    buttonSaveFlyPath->setText(formTr("Save Fly Path ..."));
    buttonLoadFlyPath->setText(formTr("Load Fly Path ..."));
    tabWidget->setTabText(tabWidget->indexOf(tab), formTr("Create Fly Path"));
    label_2->setText(formTr("Width"));
    label_3->setText(formTr("Height"));
    filename->setText(defaultFileName());
    buttonChooseFilename->setText(formTr("Choose File ..."));
    label_5->setText(formTr("Frames per Second"));
    label_4->setText(formTr("Antialiasing"));
    antialiasing->setItemText(0, formTr("Off"));
    antialiasing->setItemText(1, formTr("4x"));
    antialiasing->setItemText(2, formTr("8x"));
    antialiasing->setItemText(3, formTr("16x"));
    tabWidget->setTabText(tabWidget->indexOf(tab_2), formTr("Export Fly Path"));
}

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
    const QString start = QFileInfo(filename->text()).absolutePath();
    const QString name = QFileDialog::getSaveFileName(this, formTr("Tavolin - Set filename"), start,
                                                      formTr("Image Files (*.png *.jpg *.bmp)"));
    if (!name.isEmpty()) filename->setText(name);
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
    if (!sliderFrame->isSliderDown()) {
        refreshing = true;
        // At the end exactly: p * range / d may round to just below the range.
        sliderFrame->setValue(d == 0.0 ? 0
                              : p >= d ? kSliderRange
                                       : int(std::min(p * kSliderRange / d, double(kSliderRange))));
        refreshing = false;
    }
    sliderFrame->setEnabled(recorder.mode() != Recorder::Recording && d > 0.0);
    labelFrame->setText(QStringLiteral("[") + QString::number(p, 'g', 6) + QStringLiteral("/") +
                        QString::number(d, 'g', 6) + QStringLiteral("]"));
    labelFrame->setMinimumWidth(labelFrame->width());
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
        stoppedPosition = t;
    }
    slotUpdateDialog();
}

void DlgFilm::slotReset() {
    const auto answer =
        QMessageBox::question(this, formTr("Tavolin - CreateFilm"),
                              formTr("Delete the whole recorded fly path? This cannot be undone."),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    stoppedPosition = 0.0;
    slotSetToDefault();
}

void DlgFilm::slotSaveFlyPath() {
    const QString name = QFileDialog::getSaveFileName(this, formTr("Tavolin - Save fly path"),
                                                      QFileInfo(filename->text()).absolutePath(),
                                                      formTr("Fly paths (*.txt);;All files (*)"));
    if (name.isEmpty()) return;
    QString problem;
    if (!FlyPathFile::save(name, doc->getRecorder(), problem))
        QMessageBox::warning(
            this, formTr("Tavolin - Save fly path"),
            formTr("Could not save in this location") + QStringLiteral("\n") + problem);
}

void DlgFilm::slotLoadFlyPath() {
    const QString name = QFileDialog::getOpenFileName(this, formTr("Tavolin - Load fly path"),
                                                      QFileInfo(filename->text()).absolutePath(),
                                                      formTr("Fly paths (*.txt);;All files (*)"));
    if (name.isEmpty()) return;
    QString problem;
    if (!FlyPathFile::load(name, doc->getRecorder(), problem)) {
        QMessageBox::warning(this, formTr("Tavolin - Load fly path"),
                             formTr("Error reading file ") + problem);
        return;
    }
    stoppedPosition = 0.0;
    slotUpdateDialog();
}

bool DlgFilm::exportFilm(bool quiet) {
    exportedFrames = 0;
    exportError.clear();
    FilmSettings film;
    film.fileName = filename->text();
    film.width = resWidth->value();
    film.height = resHeight->value();
    film.antialiasing = antialiasingLevel(antialiasing->currentIndex());
    film.fps = framesPerSecond->value();

    FilmRenderer renderer(*doc);
    const int frames = renderer.frameCount(film.fps);
    QProgressDialog progress(formTr("Rendering the film ..."), formTr("Cancel"), 0, 1000, this);
    progress.setWindowTitle(formTr("Tavolin - CreateFilm"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);

    if (renderingHold) renderingHold(true);
    const FilmRenderer::Result result = renderer.render(film, [&](int frame, int percent) {
        const double done = (double(frame) + percent / 100.0) / std::max(frames, 1);
        progress.setLabelText(formTr("Rendering frame %1 of %2 ...").arg(frame + 1).arg(frames));
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
        QString text = formTr("%1 of %2 frames were written to %3, named %4 and onwards.")
                           .arg(exportedFrames)
                           .arg(frames)
                           .arg(folder, QFileInfo(first).fileName());
        if (result == FilmRenderer::Canceled) text = formTr("The film was stopped.") + "\n" + text;
        QMessageBox::information(this, formTr("Tavolin - CreateFilm"), text);
    }
    if (result == FilmRenderer::Finished) return true;
    if (result != FilmRenderer::Canceled && !quiet)
        QMessageBox::warning(this, formTr("Tavolin - CreateFilm"), exportError);
    return false;
}
