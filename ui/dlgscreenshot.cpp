// The screenshot dialog: its form, the rendering with its own engine and pool, and saving.
//
// Our choice where the behaviour is open: the progress dialog's Cancel stops the rendering (or
// the reduction that follows it); nothing is saved and the dialog stays open for another try.
#include "ui/dlgscreenshot.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/safefile.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "geometry/programmingerror.h"
#include "geometry/traceoutput.h"
#include "ui/downsampleprogressdialog.h"
#include "ui/helppages.h"

namespace {

QString formTr(const char* text) { return QCoreApplication::translate("Screenshot", text); }

// Combo index -> samples per picture pixel.
constexpr int kLevels[4] = {1, 4, 8, 16};
constexpr int kMaxResolution = 9999;

}  // namespace

ShotSettings DlgScreenshot::lastShotSettings;

QString DlgScreenshot::defaultFileName() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    return QDir(folder).filePath(QStringLiteral("tavolinscreen.bmp"));
}

DlgScreenshot::DlgScreenshot(QWidget* parent, int screenWidth_, int screenHeight_, DocRT* doc_)
    : QDialog(parent), screenWidth(screenWidth_), screenHeight(screenHeight_), doc(doc_) {
    setupForm();
    updateDimensionState();

    connect(chooseFile, &QPushButton::clicked, this, &DlgScreenshot::slotChooseFilename);
    connect(resolutionScreen, &QRadioButton::toggled, this,
            qOverload<bool>(&DlgScreenshot::updateDimensionState));
    connect(resolutionCustom, &QRadioButton::toggled, this,
            qOverload<bool>(&DlgScreenshot::updateDimensionState));
    // OK renders first and closes the dialog only when the picture is done.
    QPushButton* ok = buttonBox->button(QDialogButtonBox::Ok);
    disconnect(ok, &QPushButton::clicked, nullptr, nullptr);
    connect(ok, &QPushButton::clicked, this, &DlgScreenshot::clickOk);
    connect(buttonBox->button(QDialogButtonBox::Help), &QPushButton::clicked, this,
            &DlgScreenshot::clickHelp);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &DlgScreenshot::reject);

    if (lastShotSettings.saved) {
        resWidth->setValue(lastShotSettings.width);
        resHeight->setValue(lastShotSettings.height);
        resolutionCustom->setChecked(lastShotSettings.customResolution);
        if (!lastShotSettings.customResolution) resolutionScreen->setChecked(true);
        // A remembered screen-resolution choice shows today's view size.
        updateDimensionState();
        setAntialiasingLevel(lastShotSettings.antialiasingLevel);
        filename->setText(lastShotSettings.fileName);
    }
    finished = false;
}

DlgScreenshot::~DlgScreenshot() { releaseRendering(); }

void DlgScreenshot::setupForm() {
    setObjectName(QStringLiteral("Screenshot"));
    setWindowTitle(formTr("Tavolin - Make Screenshot"));
    auto* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    auto* groupBox = new QGroupBox(formTr("Resolution"), this);
    groupBox->setObjectName(QStringLiteral("groupBox"));
    auto* verticalLayout_2 = new QVBoxLayout(groupBox);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    auto* horizontalLayout_3 = new QHBoxLayout();
    horizontalLayout_3->setObjectName(QStringLiteral("horizontalLayout_3"));
    resolutionCustom = new QRadioButton(formTr("Custom Resolution"), groupBox);
    resolutionCustom->setObjectName(QStringLiteral("resolutionCustom"));
    resolutionScreen = new QRadioButton(formTr("Screen resolution"), groupBox);
    resolutionScreen->setObjectName(QStringLiteral("resolutionScreen"));
    resolutionScreen->setChecked(true);
    horizontalLayout_3->addWidget(resolutionCustom);
    horizontalLayout_3->addWidget(resolutionScreen);
    verticalLayout_2->addLayout(horizontalLayout_3);

    auto* horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    auto* label_2 = new QLabel(formTr("Width"), groupBox);
    label_2->setObjectName(QStringLiteral("label_2"));
    resWidth = new QSpinBox(groupBox);
    resWidth->setObjectName(QStringLiteral("resWidth"));
    resWidth->setRange(1, kMaxResolution);
    auto* label = new QLabel(formTr("Height"), groupBox);
    label->setObjectName(QStringLiteral("label"));
    resHeight = new QSpinBox(groupBox);
    resHeight->setObjectName(QStringLiteral("resHeight"));
    resHeight->setRange(1, kMaxResolution);
    horizontalLayout_2->addWidget(label_2);
    horizontalLayout_2->addWidget(resWidth);
    horizontalLayout_2->addItem(
        new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    horizontalLayout_2->addWidget(label);
    horizontalLayout_2->addWidget(resHeight);
    verticalLayout_2->addLayout(horizontalLayout_2);
    verticalLayout->addWidget(groupBox);

    auto* groupBox_2 = new QGroupBox(formTr("Filename"), this);
    groupBox_2->setObjectName(QStringLiteral("groupBox_2"));
    auto* horizontalLayout_4 = new QHBoxLayout(groupBox_2);
    horizontalLayout_4->setObjectName(QStringLiteral("horizontalLayout_4"));
    filename = new QLineEdit(defaultFileName(), groupBox_2);
    filename->setObjectName(QStringLiteral("filename"));
    filename->setMinimumWidth(filename->fontMetrics().horizontalAdvance(filename->text()) + 16);
    chooseFile = new QPushButton(formTr("Choose File ..."), groupBox_2);
    chooseFile->setObjectName(QStringLiteral("chooseFile"));
    horizontalLayout_4->addWidget(filename, 1);
    horizontalLayout_4->addWidget(chooseFile);
    verticalLayout->addWidget(groupBox_2);

    auto* groupBox_3 = new QGroupBox(formTr("Advanced settings"), this);
    groupBox_3->setObjectName(QStringLiteral("groupBox_3"));
    auto* horizontalLayout = new QHBoxLayout(groupBox_3);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->addItem(
        new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    auto* label_4 = new QLabel(formTr("Antialiasing:"), groupBox_3);
    label_4->setObjectName(QStringLiteral("label_4"));
    antialiasing = new QComboBox(groupBox_3);
    antialiasing->setObjectName(QStringLiteral("antialiasing"));
    antialiasing->addItems({formTr("Off"), formTr("4x"), formTr("8x"), formTr("16x")});
    horizontalLayout->addWidget(label_4);
    horizontalLayout->addWidget(antialiasing);
    verticalLayout->addWidget(groupBox_3);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    verticalLayout->addWidget(line);

    buttonBox = new QDialogButtonBox(this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setOrientation(Qt::Horizontal);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                  QDialogButtonBox::Help);
    verticalLayout->addWidget(buttonBox);
}

void DlgScreenshot::slotChooseFilename() {
    const QString start = QFileInfo(defaultFileName()).absolutePath();
    const QString chosen = QFileDialog::getSaveFileName(
        this, formTr("Tavolin - Set filename"), start, formTr("Image Files (*.png *.jpg *.bmp)"));
    if (!chosen.isEmpty()) filename->setText(chosen);
}

void DlgScreenshot::updateDimensionState(bool) { updateDimensionState(); }

void DlgScreenshot::updateDimensionState() {
    if (resolutionScreen->isChecked()) {
        resWidth->setEnabled(false);
        resHeight->setEnabled(false);
        resWidth->setValue(screenWidth);
        resHeight->setValue(screenHeight);
    } else if (resolutionCustom->isChecked()) {
        resWidth->setEnabled(true);
        resHeight->setEnabled(true);
    }
}

void DlgScreenshot::clickOk() {
    if (isRendering()) return;
    releaseRendering();
    engine = new TimeRT();
    threadBase = new ThreadBase();
    buffer = new PixelBuffer();

    renderLevel = getAntialiasingLevel();
    if (!buffer->setSize(resWidth->value(), resHeight->value(), renderLevel)) {
        releaseRendering();
        QMessageBox::critical(
            this, formTr("Tavolin - Screenshot"),
            formTr("Resolution to big, ran out of memory. Please reduce the resolution."),
            QMessageBox::Ok);
        return;
    }
    // A name that cannot be written is refused now, not after minutes of rendering; the
    // dialog stays open so that the user can correct it.
    QString problem;
    if (!SafeFile::checkPictureName(filename->text(), &problem) ||
        !SafeFile::checkWritable(filename->text(), &problem)) {
        releaseRendering();
        QMessageBox::warning(this, formTr("Tavolin - Screenshot"),
                             formTr("Could not save in this location") + QLatin1Char('\n') +
                                 problem,
                             QMessageBox::Ok);
        return;
    }

    engine->raytracePic(doc->getSettings(), doc->getSceneData(), doc->getTree(), buffer);
    threadBase->addTasks(engine);
    // Emitted on the worker that goes idle last.
    connect(threadBase, &ThreadBase::signalAllWaiting, this, &DlgScreenshot::renderingFinished,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));

    progress = new QProgressDialog(this);
    progress->setWindowTitle(formTr("Tavolin - Screenshot"));
    progress->setLabelText(formTr("Rendering the screenshot ..."));
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setWindowModality(Qt::WindowModal);
    // The reduction after the rendering reports to the same dialog: keep it open at 100 %.
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setMinimumDuration(0);
    progress->setMinimumWidth(320);
    connect(engine, &TimeRT::percentageCompleted, progress, &QProgressDialog::setValue,
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
        progress->setLabelText(formTr("Reducing the antialiasing samples ..."));
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
            QMessageBox::critical(this, formTr("Tavolin - Screenshot"),
                                  formTr("Not enough memory to finish the picture. Please reduce "
                                         "the resolution or the antialiasing."),
                                  QMessageBox::Ok);
        return;
    }

    const QString name = filename->text();
    QString problem;
    const bool saved = buffer->save(name, &problem);
    if (!saved) {
        QMessageBox::warning(this, formTr("Tavolin - Screenshot"),
                             formTr("Could not save in this location") + QLatin1Char('\n') +
                                 problem,
                             QMessageBox::Ok);
    } else {
        lastShotSettings.saved = true;
        lastShotSettings.width = resWidth->value();
        lastShotSettings.height = resHeight->value();
        lastShotSettings.customResolution = resolutionCustom->isChecked();
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
        // It may be the sender of the signal being handled (its Cancel).
        progress->disconnect(this);
        progress->hide();
        progress->deleteLater();
        progress = nullptr;
    }
    finished = false;
}

void DlgScreenshot::clickHelp() { showHelpPage(QStringLiteral("dlgscreenshot.html")); }

int DlgScreenshot::getAntialiasingLevel() {
    const int index = antialiasing->currentIndex();
    if (index < 0 || index >= 4) programmingError("Antialiasinglevel not supported");
    return kLevels[index];
}

void DlgScreenshot::setAntialiasingLevel(int newLevel) {
    for (int i = 0; i < 4; ++i) {
        if (kLevels[i] == newLevel) {
            antialiasing->setCurrentIndex(i);
            return;
        }
    }
    programmingError("DlgScreenshot::setAntialiasingLevel called with unsupported value");
}
