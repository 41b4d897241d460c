// The render options dialog's hand-over of the choices; the form is dlgrenderoptions.ui.
//
// Choices of ours: exposure and automatic exposure are written straight into the document's
// settings on Apply (the engine copies them when it prepares a frame, and no worker reads the
// document's own record); while automatic exposure runs, Apply keeps the exposure it has
// reached, and unchecking "Automatic" keeps the value the box shows.
#include "ui/dlgrenderoptions.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <cstdint>

#include "engine/autoexposure.h"
#include "engine/docrt.h"
#include "base/programmingerror.h"
#include "scene/rendersettings.h"
#include "ui/helppages.h"
#include "ui/speedunits.h"
#include "ui_dlgrenderoptions.h"

namespace {

// Combo entries: the texts count the rays of a packet, the values are its side in pixels.
constexpr int kBundleSides[3] = {1, 2, 4};
// Searchlight combo entries: the beaming exponent k of (1/D)^k.
constexpr int kSearchlightExponents[2] = {4, 3};

}  // namespace

DlgRenderOptions::DlgRenderOptions(DocRT* doc_)
    : QDialog(nullptr), ui(std::make_unique<Ui::DlgRenderOptions>()), doc(doc_) {
    ui->setupUi(this);
    ui->spinExposure->setRange(double(AutoExposure::kMinStops), double(AutoExposure::kMaxStops));
    connect(ui->buttonBackgroundColor, &QPushButton::clicked, this,
            &DlgRenderOptions::onColorButton);
    connect(ui->buttonBox->button(QDialogButtonBox::Ok), &QPushButton::clicked, this,
            &DlgRenderOptions::onOk);
    connect(ui->buttonBox->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this,
            &DlgRenderOptions::onCancel);
    connect(ui->buttonBox->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &DlgRenderOptions::onAccept);
    connect(ui->buttonBox->button(QDialogButtonBox::Help), &QPushButton::clicked, this,
            &DlgRenderOptions::onHelp);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &DlgRenderOptions::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DlgRenderOptions::reject);

    uint8_t rgba[4];
    doc->background(rgba);
    backgroundColor = QColor(rgba[0], rgba[1], rgba[2], rgba[3]);
    colorButtonFromBackground();

    setMaxBundleSize(doc->maxBundleSize());

    const RenderSettings& s = *doc->getSettings();
    setSearchlightExponent(s.searchlight == 3 ? 3 : 4);
    ui->spinExposure->setValue(double(s.exposureStops));
    ui->checkAutoExposure->setChecked(s.autoExposure);
    ui->spinExposure->setEnabled(!s.autoExposure);
    connect(ui->checkAutoExposure, &QCheckBox::toggled, ui->spinExposure,
            [this](bool automatic) { ui->spinExposure->setEnabled(!automatic); });

    if (showSpeedKm && showSpeedLight)
        ui->radioSpeedBoth->setChecked(true);
    else if (showSpeedKm)
        ui->radioSpeedKm->setChecked(true);
    else if (showSpeedLight)
        ui->radioSpeedLight->setChecked(true);
    else
        programmingError("The mode for the setting of the speed of light may be false");
}

DlgRenderOptions::~DlgRenderOptions() = default;

QPushButton* DlgRenderOptions::colorButton() const { return ui->buttonBackgroundColor; }
QComboBox* DlgRenderOptions::bundleCombo() const { return ui->cmbMaxBundleSize; }
QRadioButton* DlgRenderOptions::speedKmButton() const { return ui->radioSpeedKm; }
QRadioButton* DlgRenderOptions::speedLightButton() const { return ui->radioSpeedLight; }
QRadioButton* DlgRenderOptions::speedBothButton() const { return ui->radioSpeedBoth; }
QDialogButtonBox* DlgRenderOptions::buttons() const { return ui->buttonBox; }
QComboBox* DlgRenderOptions::searchlightCombo() const { return ui->cmbSearchlight; }
QDoubleSpinBox* DlgRenderOptions::exposureSpin() const { return ui->spinExposure; }
QCheckBox* DlgRenderOptions::autoExposureBox() const { return ui->checkAutoExposure; }

void DlgRenderOptions::colorButtonFromBackground() {
    ui->buttonBackgroundColor->setStyleSheet(
        QStringLiteral("background-color : rgb(") + QString::number(backgroundColor.red()) + ',' +
        QString::number(backgroundColor.green()) + ',' + QString::number(backgroundColor.blue()) +
        QStringLiteral(");color : white"));
}

void DlgRenderOptions::setMaxBundleSize(int side) {
    for (int i = 0; i < 3; ++i) {
        if (kBundleSides[i] == side) {
            ui->cmbMaxBundleSize->setCurrentIndex(i);
            return;
        }
    }
    programmingError("DlgRenderOptions::setMaxBundle Size: invalid Bundle size");
}

int DlgRenderOptions::getMaxBundleSize() const {
    const int index = ui->cmbMaxBundleSize->currentIndex();
    if (index < 0 || index >= 3)
        programmingError("DlgRenderOptions::getMaxBundle Size invalid Bundle size");
    return kBundleSides[index];
}

void DlgRenderOptions::setSearchlightExponent(int k) {
    for (int i = 0; i < 2; ++i) {
        if (kSearchlightExponents[i] == k) {
            ui->cmbSearchlight->setCurrentIndex(i);
            return;
        }
    }
    programmingError("DlgRenderOptions::setSearchlightExponent: the exponent must be 3 or 4");
}

int DlgRenderOptions::searchlightExponent() const {
    const int index = ui->cmbSearchlight->currentIndex();
    if (index < 0 || index >= 2)
        programmingError("DlgRenderOptions::searchlightExponent: no exponent chosen");
    return kSearchlightExponents[index];
}

void DlgRenderOptions::showEvent(QShowEvent* event) {
    const RenderSettings& s = *doc->getSettings();
    if (ui->checkAutoExposure->isChecked() && s.autoExposure)
        ui->spinExposure->setValue(double(s.exposureStops));
    QDialog::showEvent(event);
}

void DlgRenderOptions::onColorButton() {
    const QColor chosen =
        QColorDialog::getColor(backgroundColor, this, QString(), QColorDialog::ShowAlphaChannel);
    if (!chosen.isValid()) return;
    backgroundColor = chosen;
    colorButtonFromBackground();
}

void DlgRenderOptions::onAccept() {
    const int k = searchlightExponent();
    doc->setMaxBundleSize(getMaxBundleSize());
    const uint8_t rgba[4] = {uint8_t(backgroundColor.red()), uint8_t(backgroundColor.green()),
                             uint8_t(backgroundColor.blue()), uint8_t(backgroundColor.alpha())};
    doc->setBackground(rgba);
    if (ui->radioSpeedBoth->isChecked()) {
        showSpeedLight = true;
        showSpeedKm = true;
    } else if (ui->radioSpeedKm->isChecked()) {
        showSpeedLight = false;
        showSpeedKm = true;
    } else if (ui->radioSpeedLight->isChecked()) {
        showSpeedLight = true;
        showSpeedKm = false;
    }

    RenderSettings& s = *doc->getSettings();
    const bool automatic = ui->checkAutoExposure->isChecked();
    if (!automatic || !s.autoExposure) s.exposureStops = float(ui->spinExposure->value());
    s.autoExposure = automatic;
    emit searchlightExponentChosen(k);
}

void DlgRenderOptions::onOk() {
    onAccept();
    close();
}

void DlgRenderOptions::onCancel() { reject(); }

void DlgRenderOptions::accept() { emit signalAccepted(); }

void DlgRenderOptions::onHelp() { showHelpPage(QStringLiteral("dlgrenderoptions.html")); }
