// The black-hole light-path dialog: the settings copy into the display and generating the
// renderer's table; the form is dlgbhlightpath.ui, with the light-path view put in beside it.
//
// Our choices where the behaviour is open:
// - The ten values of the settings record are the table's generation parameters plus the
//   spacing of the drawn fan of rays; "Apply to Renderer" (settingsSaveToEngine) regenerates the
//   renderer's table with them and "Load from Renderer" (settingsLoadFromEngine) shows the
//   table's own. The display shows the renderer's current table, so what is drawn is what the
//   bent-ray tracer follows.
// - Tables are only ever written on the GUI thread with the views' frames held back (the
//   main window installs the hold); the display reads the table on the GUI thread, where nothing
//   else writes it.
// - Angles are in degrees in the dialog (0 = straight at the hole, 90 = sideways).
#include "ui/dlgbhlightpath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSpinBox>
#include <string>

#include "engine/docrt.h"
#include "accel/kdtree.h"
#include "accel/lightpathgenerator.h"
#include "base/programmingerror.h"
#include "scene/rendersettings.h"
#include "ui/lightpathview.h"
#include "ui_dlgbhlightpath.h"

DlgBHLightPath::DlgBHLightPath(QWidget* parent, DocRT* document)
    : QDialog(parent), ui(std::make_unique<Ui::DlgBHLightPath>()), doc(document) {
    ui->setupUi(this);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DlgBHLightPath::reject);
    display = new LightPathView(doc, this);
    display->setObjectName(QStringLiteral("lightPathView"));
    display->setMinimumSize(480, 400);
    ui->mainLayout->addWidget(display, 1);
    settingsLoadFromEngine();

    const auto onDouble = qOverload<double>(&DlgBHLightPath::settingsChanged);
    for (QDoubleSpinBox* box :
         {ui->samplesPerUnit, ui->fateSigmaLimit, ui->escapeRadius, ui->horizonMargin,
          ui->toleranceMrad, ui->raySpacing, ui->angle, ui->zoom})
        connect(box, &QDoubleSpinBox::valueChanged, this, onDouble);
    const auto onInt = qOverload<int>(&DlgBHLightPath::settingsChanged);
    for (QSpinBox* box : {ui->extraEscapeSamples, ui->maxSplitDepth, ui->maxPathPoints})
        connect(box, &QSpinBox::valueChanged, this, onInt);
    connect(ui->generationCount, &QComboBox::currentIndexChanged, this, onInt);
    const auto onBool = qOverload<bool>(&DlgBHLightPath::settingsChanged);
    connect(ui->checkQuarterPoints, &QCheckBox::toggled, this, onBool);
    connect(ui->automaticTolerance, &QCheckBox::toggled, this, onBool);
    connect(ui->followAngle, &QCheckBox::toggled, this, onBool);
    connect(ui->buttonLoad, &QPushButton::clicked, this, &DlgBHLightPath::settingsLoadFromEngine);
    connect(ui->buttonApply, &QPushButton::clicked, this, &DlgBHLightPath::settingsSaveToEngine);

    refreshTimer.setInterval(kRefreshMs);
    connect(&refreshTimer, &QTimer::timeout, display, qOverload<>(&QWidget::update));
    refreshTimer.start();

    ready = true;
    copySettings();
}

DlgBHLightPath::~DlgBHLightPath() = default;

QDoubleSpinBox* DlgBHLightPath::angleBox() const { return ui->angle; }
QComboBox* DlgBHLightPath::generationCombo() const { return ui->generationCount; }
QDoubleSpinBox* DlgBHLightPath::zoomBox() const { return ui->zoom; }
QCheckBox* DlgBHLightPath::followBox() const { return ui->followAngle; }

int DlgBHLightPath::generationCountForIndex(int index) {
    switch (index) {
        case 0:
            return 1;
        case 1:
            return 4;
        case 2:
            return 16;
        default:
            programmingError("in dlglightpath.cpp a generation Count of > 2 is returned");
    }
}

void DlgBHLightPath::settingsChanged(int) { copySettings(); }
void DlgBHLightPath::settingsChanged(double) { copySettings(); }
void DlgBHLightPath::settingsChanged(bool) { copySettings(); }

void DlgBHLightPath::copySettings() {
    if (!ready) return;
    LightPathDisplaySettings& s = display->settings;
    s.samplesPerUnit = float(ui->samplesPerUnit->value());
    s.fateSigmaLimit = float(ui->fateSigmaLimit->value());
    s.escapeRadius = float(ui->escapeRadius->value());
    s.horizonMargin = float(ui->horizonMargin->value());
    s.toleranceMrad = float(ui->toleranceMrad->value());
    s.extraEscapeSamples = ui->extraEscapeSamples->value();
    s.maxSplitDepth = ui->maxSplitDepth->value();
    s.maxPathPoints = ui->maxPathPoints->value();
    s.raySpacingDeg = float(ui->raySpacing->value());
    s.checkQuarterPoints = ui->checkQuarterPoints->isChecked();
    s.automaticTolerance = ui->automaticTolerance->isChecked();
    // The views set an automatic tolerance; the box then shows the one they chose last.
    ui->toleranceMrad->setEnabled(!s.automaticTolerance);
    display->angle = float(ui->angle->value());
    display->generationCount = generationCountForIndex(ui->generationCount->currentIndex());
    display->zoom = float(ui->zoom->value());
    display->followAngle = ui->followAngle->isChecked();
    display->update();
}

void DlgBHLightPath::settingsLoadFromEngine() {
    LightPathDisplaySettings s;
    s.fromParameters(doc->getTree()->blackHole().paths.parameters);
    const bool wasReady = ready;
    ready = false;  // one copy after all boxes are set
    ui->samplesPerUnit->setValue(s.samplesPerUnit);
    ui->fateSigmaLimit->setValue(s.fateSigmaLimit);
    ui->escapeRadius->setValue(s.escapeRadius);
    ui->horizonMargin->setValue(s.horizonMargin);
    ui->toleranceMrad->setValue(s.toleranceMrad);
    ui->extraEscapeSamples->setValue(s.extraEscapeSamples);
    ui->maxSplitDepth->setValue(s.maxSplitDepth);
    ui->maxPathPoints->setValue(s.maxPathPoints);
    ui->checkQuarterPoints->setChecked(s.checkQuarterPoints);
    ui->automaticTolerance->setChecked(s.automaticTolerance);
    ready = wasReady;
    copySettings();
}

void DlgBHLightPath::settingsSaveToEngine() {
    copySettings();
    regenerate();
}

void DlgBHLightPath::setAngle(float newang) {
    if (ui->followAngle->isChecked()) ui->angle->setValue(double(newang));
}

void DlgBHLightPath::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ensureTable();
}

bool DlgBHLightPath::ensureTable() {
    if (doc->getTree()->blackHole().paths.isGenerated()) return false;
    regenerate();
    return true;
}

void DlgBHLightPath::regenerate() {
    if (renderingHold) renderingHold(true);
    const RenderSettings& s = *doc->getSettings();
    BlackHoleFrame& hole = doc->getTree()->blackHole();
    hole.paths.parameters = display->settings.toParameters();
    // prepare() regenerates when the parameters, the hole or the observer's distance changed.
    hole.prepare(doc->position(), s.bhpos, s.bhradius);
    if (renderingHold) renderingHold(false);
    display->update();
}
