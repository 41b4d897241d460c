// The black-hole light-path dialog: its form, the settings copy into the display, and
// generating the renderer's table.
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
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <string>

#include "engine/docrt.h"
#include "geometry/kdtree.h"
#include "geometry/lightpathgenerator.h"
#include "geometry/programmingerror.h"
#include "scene/rendersettings.h"
#include "ui/lightpathview.h"

namespace {

QDoubleSpinBox* doubleBox(QWidget* parent, const char* name, double lo, double hi, double value,
                          int decimals) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setDecimals(decimals);
    box->setRange(lo, hi);
    box->setValue(value);
    return box;
}

QSpinBox* intBox(QWidget* parent, const char* name, int lo, int hi, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(lo, hi);
    box->setValue(value);
    return box;
}

}  // namespace

DlgBHLightPath::DlgBHLightPath(QWidget* parent, DocRT* document) : QDialog(parent), doc(document) {
    setupForm();
    settingsLoadFromEngine();

    const auto onDouble = qOverload<double>(&DlgBHLightPath::settingsChanged);
    for (QDoubleSpinBox* box : {samplesPerUnit, fateSigmaLimit, escapeRadius, horizonMargin,
                                toleranceMrad, raySpacing, angleSpin, zoomSpin})
        connect(box, &QDoubleSpinBox::valueChanged, this, onDouble);
    const auto onInt = qOverload<int>(&DlgBHLightPath::settingsChanged);
    for (QSpinBox* box : {extraEscapeSamples, maxSplitDepth, maxPathPoints})
        connect(box, &QSpinBox::valueChanged, this, onInt);
    connect(generationCount, &QComboBox::currentIndexChanged, this, onInt);
    const auto onBool = qOverload<bool>(&DlgBHLightPath::settingsChanged);
    connect(checkQuarterPoints, &QCheckBox::toggled, this, onBool);
    connect(followAngle, &QCheckBox::toggled, this, onBool);
    connect(buttonLoad, &QPushButton::clicked, this, &DlgBHLightPath::settingsLoadFromEngine);
    connect(buttonApply, &QPushButton::clicked, this, &DlgBHLightPath::settingsSaveToEngine);

    refreshTimer.setInterval(kRefreshMs);
    connect(&refreshTimer, &QTimer::timeout, display, qOverload<>(&QWidget::update));
    refreshTimer.start();

    ready = true;
    copySettings();
}

DlgBHLightPath::~DlgBHLightPath() = default;

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

void DlgBHLightPath::setupForm() {
    setObjectName(QStringLiteral("DlgBHLightPath"));
    setWindowTitle(tr("Tavolin - Black Hole Light Paths"));
    auto* layout = new QHBoxLayout(this);

    auto* controls = new QVBoxLayout();
    auto* table = new QGroupBox(tr("Light-path table"), this);
    auto* tableForm = new QFormLayout(table);
    samplesPerUnit = doubleBox(table, "samplesPerUnit", 1.0, 1000.0, 10.0, 2);
    fateSigmaLimit = doubleBox(table, "fateSigmaLimit", 1.0, 1000.0, 30.0, 2);
    escapeRadius = doubleBox(table, "escapeRadius", 1.0, 10000.0, 10.0, 2);
    horizonMargin = doubleBox(table, "horizonMargin", 0.0, 1.0, 0.0, 4);
    toleranceMrad = doubleBox(table, "toleranceMrad", 0.001, 100.0, 0.1, 3);
    extraEscapeSamples = intBox(table, "extraEscapeSamples", 0, 1000, 10);
    maxSplitDepth = intBox(table, "maxSplitDepth", 0, 60, 40);
    maxPathPoints = intBox(table, "maxPathPoints", 2, 10000, 80);
    raySpacing = doubleBox(table, "raySpacing", 0.001, 30.0, 1.0, 3);
    checkQuarterPoints = new QCheckBox(tr("Check quarter points"), table);
    checkQuarterPoints->setObjectName(QStringLiteral("checkQuarterPoints"));
    tableForm->addRow(tr("Samples per unit of sigma"), samplesPerUnit);
    tableForm->addRow(tr("Fate sigma limit"), fateSigmaLimit);
    tableForm->addRow(tr("Escape radius (r_s)"), escapeRadius);
    tableForm->addRow(tr("Horizon margin (r_s)"), horizonMargin);
    tableForm->addRow(tr("Tolerance (mrad)"), toleranceMrad);
    tableForm->addRow(tr("Extra escape samples"), extraEscapeSamples);
    tableForm->addRow(tr("Maximum split depth"), maxSplitDepth);
    tableForm->addRow(tr("Maximum path points"), maxPathPoints);
    tableForm->addRow(tr("Ray spacing (degrees)"), raySpacing);
    tableForm->addRow(checkQuarterPoints);
    auto* tableButtons = new QHBoxLayout();
    buttonLoad = new QPushButton(tr("Load from Renderer"), table);
    buttonLoad->setObjectName(QStringLiteral("buttonLoad"));
    buttonApply = new QPushButton(tr("Apply to Renderer"), table);
    buttonApply->setObjectName(QStringLiteral("buttonApply"));
    tableButtons->addWidget(buttonLoad);
    tableButtons->addWidget(buttonApply);
    tableForm->addRow(tableButtons);
    controls->addWidget(table);

    auto* shown = new QGroupBox(tr("Display"), this);
    auto* shownForm = new QFormLayout(shown);
    angleSpin = doubleBox(shown, "angle", 0.0, 180.0, 30.0, 3);
    generationCount = new QComboBox(shown);
    generationCount->setObjectName(QStringLiteral("generationCount"));
    generationCount->addItems({QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("16")});
    zoomSpin = doubleBox(shown, "zoom", 0.1, 1000.0, 1.0, 2);
    followAngle = new QCheckBox(tr("Follow the view's angle"), shown);
    followAngle->setObjectName(QStringLiteral("followAngle"));
    shownForm->addRow(tr("Angle (degrees)"), angleSpin);
    shownForm->addRow(tr("Rays"), generationCount);
    shownForm->addRow(tr("Zoom"), zoomSpin);
    shownForm->addRow(followAngle);
    controls->addWidget(shown);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &DlgBHLightPath::reject);
    controls->addStretch(1);
    controls->addWidget(buttons);
    layout->addLayout(controls);

    display = new LightPathView(doc, this);
    display->setObjectName(QStringLiteral("lightPathView"));
    display->setMinimumSize(480, 400);
    layout->addWidget(display, 1);
}

void DlgBHLightPath::settingsChanged(int) { copySettings(); }
void DlgBHLightPath::settingsChanged(double) { copySettings(); }
void DlgBHLightPath::settingsChanged(bool) { copySettings(); }

void DlgBHLightPath::copySettings() {
    if (!ready) return;
    LightPathDisplaySettings& s = display->settings;
    s.samplesPerUnit = float(samplesPerUnit->value());
    s.fateSigmaLimit = float(fateSigmaLimit->value());
    s.escapeRadius = float(escapeRadius->value());
    s.horizonMargin = float(horizonMargin->value());
    s.toleranceMrad = float(toleranceMrad->value());
    s.extraEscapeSamples = extraEscapeSamples->value();
    s.maxSplitDepth = maxSplitDepth->value();
    s.maxPathPoints = maxPathPoints->value();
    s.raySpacingDeg = float(raySpacing->value());
    s.checkQuarterPoints = checkQuarterPoints->isChecked();
    display->angle = float(angleSpin->value());
    display->generationCount = generationCountForIndex(generationCount->currentIndex());
    display->zoom = float(zoomSpin->value());
    display->followAngle = followAngle->isChecked();
    display->update();
}

void DlgBHLightPath::settingsLoadFromEngine() {
    LightPathDisplaySettings s;
    s.fromParameters(doc->getTree()->blackHole().paths.parameters);
    const bool wasReady = ready;
    ready = false;  // one copy after all boxes are set
    samplesPerUnit->setValue(s.samplesPerUnit);
    fateSigmaLimit->setValue(s.fateSigmaLimit);
    escapeRadius->setValue(s.escapeRadius);
    horizonMargin->setValue(s.horizonMargin);
    toleranceMrad->setValue(s.toleranceMrad);
    extraEscapeSamples->setValue(s.extraEscapeSamples);
    maxSplitDepth->setValue(s.maxSplitDepth);
    maxPathPoints->setValue(s.maxPathPoints);
    checkQuarterPoints->setChecked(s.checkQuarterPoints);
    ready = wasReady;
    copySettings();
}

void DlgBHLightPath::settingsSaveToEngine() {
    copySettings();
    regenerate();
}

void DlgBHLightPath::setAngle(float newang) {
    if (followAngle->isChecked()) angleSpin->setValue(double(newang));
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
