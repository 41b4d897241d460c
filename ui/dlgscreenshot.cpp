// The screenshot dialog: the rendering with its own engine and pool, and saving; the form is
// dlgscreenshot.ui.
//
// Our choice where the behaviour is open: the progress dialog's Cancel stops the rendering (or
// the reduction that follows it); nothing is saved and the dialog stays open for another try.
#include "ui/dlgscreenshot.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>

#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/safefile.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "base/programmingerror.h"
#include "base/traceoutput.h"
#include "scene/rendersettings.h"
#include "ui/downsampleprogressdialog.h"
#include "ui/helppages.h"
#include "ui/picturesfolder.h"
#include "ui_dlgscreenshot.h"

namespace {

// Combo index -> samples per picture pixel.
constexpr int kLevels[4] = {1, 4, 8, 16};

}  // namespace

ShotSettings DlgScreenshot::lastShotSettings;

QString DlgScreenshot::defaultFileName() {
    return QDir(picturesFolder()).filePath(QStringLiteral("tavolinscreen.bmp"));
}

DlgScreenshot::DlgScreenshot(QWidget* parent, int screenWidth_, int screenHeight_, DocRT* doc_)
    : QDialog(parent),
      ui(std::make_unique<Ui::DlgScreenshot>()),
      screenWidth(screenWidth_),
      screenHeight(screenHeight_),
      doc(doc_) {
    ui->setupUi(this);
    // Wide enough to show the whole default name.
    ui->filename->setText(defaultFileName());
    ui->filename->setMinimumWidth(
        ui->filename->fontMetrics().horizontalAdvance(ui->filename->text()) + 16);
    updateDimensionState();

    connect(ui->chooseFile, &QPushButton::clicked, this, &DlgScreenshot::slotChooseFilename);
    connect(ui->resolutionScreen, &QRadioButton::toggled, this,
            qOverload<bool>(&DlgScreenshot::updateDimensionState));
    connect(ui->resolutionCustom, &QRadioButton::toggled, this,
            qOverload<bool>(&DlgScreenshot::updateDimensionState));
    // OK renders first and closes the dialog only when the picture is done.
    QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    disconnect(ok, &QPushButton::clicked, nullptr, nullptr);
    connect(ok, &QPushButton::clicked, this, &DlgScreenshot::clickOk);
    connect(ui->buttonBox->button(QDialogButtonBox::Help), &QPushButton::clicked, this,
            &DlgScreenshot::clickHelp);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DlgScreenshot::reject);

    if (lastShotSettings.saved) {
        ui->resWidth->setValue(lastShotSettings.width);
        ui->resHeight->setValue(lastShotSettings.height);
        ui->resolutionCustom->setChecked(lastShotSettings.customResolution);
        if (!lastShotSettings.customResolution) ui->resolutionScreen->setChecked(true);
        // A remembered screen-resolution choice shows today's view size.
        updateDimensionState();
        setAntialiasingLevel(lastShotSettings.antialiasingLevel);
        ui->filename->setText(lastShotSettings.fileName);
    }
    finished = false;
}

DlgScreenshot::~DlgScreenshot() { releaseRendering(); }

QRadioButton* DlgScreenshot::customButton() const { return ui->resolutionCustom; }
QRadioButton* DlgScreenshot::screenButton() const { return ui->resolutionScreen; }
QSpinBox* DlgScreenshot::widthBox() const { return ui->resWidth; }
QSpinBox* DlgScreenshot::heightBox() const { return ui->resHeight; }
QLineEdit* DlgScreenshot::fileNameEdit() const { return ui->filename; }
QComboBox* DlgScreenshot::antialiasingCombo() const { return ui->antialiasing; }
QDialogButtonBox* DlgScreenshot::buttons() const { return ui->buttonBox; }

void DlgScreenshot::slotChooseFilename() {
    const QString start = QFileInfo(defaultFileName()).absolutePath();
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Tavolin - Set filename"), start,
                                                        tr("Image Files (*.png *.jpg *.bmp)"));
    if (!chosen.isEmpty()) ui->filename->setText(chosen);
}

void DlgScreenshot::updateDimensionState(bool) { updateDimensionState(); }

void DlgScreenshot::updateDimensionState() {
    if (ui->resolutionScreen->isChecked()) {
        ui->resWidth->setEnabled(false);
        ui->resHeight->setEnabled(false);
        ui->resWidth->setValue(screenWidth);
        ui->resHeight->setValue(screenHeight);
    } else if (ui->resolutionCustom->isChecked()) {
        ui->resWidth->setEnabled(true);
        ui->resHeight->setEnabled(true);
    }
}

void DlgScreenshot::clickOk() {
    if (isRendering()) return;
    releaseRendering();
    engine = new TimeRT();
    threadBase = new ThreadBase();
    buffer = new PixelBuffer();

    renderLevel = getAntialiasingLevel();
    if (!buffer->setSize(ui->resWidth->value(), ui->resHeight->value(), renderLevel)) {
        releaseRendering();
        QMessageBox::critical(
            this, tr("Tavolin - Screenshot"),
            tr("Resolution to big, ran out of memory. Please reduce the resolution."),
            QMessageBox::Ok);
        return;
    }
    // A name that cannot be written is refused now, not after minutes of rendering; the
    // dialog stays open so that the user can correct it.
    QString problem;
    if (!SafeFile::checkPictureName(ui->filename->text(), &problem) ||
        !SafeFile::checkWritable(ui->filename->text(), &problem)) {
        releaseRendering();
        QMessageBox::warning(this, tr("Tavolin - Screenshot"),
                             tr("Could not save in this location") + QLatin1Char('\n') + problem,
                             QMessageBox::Ok);
        return;
    }

    // The moment the views show: the observer's time stands still while this dialog holds them.
    doc->getSettings()->start.w = float(doc->observerTime());
    engine->raytracePic(doc->getSettings(), doc->getSceneData(), doc->getTree(), buffer);
    threadBase->addTasks(engine);
    // Emitted on the worker that goes idle last.
    connect(threadBase, &ThreadBase::signalAllWaiting, this, &DlgScreenshot::renderingFinished,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));

    delete retiredProgress;  // the last rendering's: nothing reaches it any more
    retiredProgress = nullptr;
    progress = new QProgressDialog(this);
    progress->setWindowTitle(tr("Tavolin - Screenshot"));
    progress->setLabelText(tr("Rendering the screenshot ..."));
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setWindowModality(Qt::WindowModal);
    // The reduction after the rendering reports to the same dialog: keep it open at 100 %.
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setMinimumDuration(0);
    progress->setMinimumWidth(320);
    // Through this dialog, so that a late report of a stopped rendering finds no bar to move.
    connect(
        engine, &TimeRT::percentageCompleted, this,
        [this](int percent) {
            if (progress && !finished) progress->setValue(percent);
        },
        Qt::QueuedConnection);
    connect(progress, &QProgressDialog::canceled, this, &DlgScreenshot::abortRendering);
    progress->show();

    engine->reportProgress = true;
    finished = false;
    threadBase->startRendering(false);
}

void DlgScreenshot::renderingFinished() {
    // A run's signal is queued: it may arrive after the rendering was stopped, or come from a
    // pool that a stop already replaced. Only the idle pool of the rendering in progress counts.
    if (!threadBase || finished || threadBase->isRunning()) return;
    TraceOutput::line("DlgScreenshot::RenderingFinished called");
    finished = true;

    bool reduced = true;
    if (progress && !progress->wasCanceled()) {
        progress->setLabelText(tr("Reducing the antialiasing samples ..."));
        progress->setValue(0);
        DownsampleProgressDialog adapter(progress);
        reduced = buffer->downsample(renderLevel, &adapter);
    } else if (progress) {
        reduced = false;
    } else {
        reduced = buffer->downsample(renderLevel);
    }
    if (!reduced) {
        // Without a cancel the reduced picture could not be allocated.
        const bool outOfMemory = !progress || !progress->wasCanceled();
        releaseRendering();
        if (outOfMemory)
            QMessageBox::critical(this, tr("Tavolin - Screenshot"),
                                  tr("Not enough memory to finish the picture. Please reduce "
                                     "the resolution or the antialiasing."),
                                  QMessageBox::Ok);
        return;
    }

    const QString name = ui->filename->text();
    QString problem;
    const bool saved = buffer->save(name, &problem);
    if (!saved) {
        QMessageBox::warning(this, tr("Tavolin - Screenshot"),
                             tr("Could not save in this location") + QLatin1Char('\n') + problem,
                             QMessageBox::Ok);
    } else {
        lastShotSettings.saved = true;
        lastShotSettings.width = ui->resWidth->value();
        lastShotSettings.height = ui->resHeight->value();
        lastShotSettings.customResolution = ui->resolutionCustom->isChecked();
        lastShotSettings.antialiasingLevel = renderLevel;
        lastShotSettings.fileName = name;
    }
    releaseRendering();
    done(saved ? QDialog::Accepted : QDialog::Rejected);
}

void DlgScreenshot::abortRendering() {
    if (!engine) return;
    // During the reduction the adapter sees the progress dialog's cancel flag instead.
    if (finished) return;
    threadBase->abort(true);
    releaseRendering();
}

void DlgScreenshot::updateProgressBar() {}

void DlgScreenshot::releaseRendering() {
    if (threadBase) {
        threadBase->abort(true);
        delete threadBase;
        threadBase = nullptr;
    }
    delete engine;
    engine = nullptr;
    delete buffer;
    buffer = nullptr;
    if (progress) {
        // Hidden and kept until the next rendering or this dialog goes. A modal progress
        // dialog handles events inside its own setValue, and its Cancel may be the signal being
        // handled, so a deferred deletion could run while one of its functions is still on the
        // stack.
        progress->disconnect(this);
        progress->hide();
        retiredProgress = progress;
        progress = nullptr;
    }
    finished = false;
}

void DlgScreenshot::clickHelp() { showHelpPage(QStringLiteral("dlgscreenshot.html")); }

int DlgScreenshot::getAntialiasingLevel() {
    const int index = ui->antialiasing->currentIndex();
    if (index < 0 || index >= 4) programmingError("Antialiasinglevel not supported");
    return kLevels[index];
}

void DlgScreenshot::setAntialiasingLevel(int newLevel) {
    for (int i = 0; i < 4; ++i) {
        if (kLevels[i] == newLevel) {
            ui->antialiasing->setCurrentIndex(i);
            return;
        }
    }
    programmingError("DlgScreenshot::setAntialiasingLevel called with unsupported value");
}
