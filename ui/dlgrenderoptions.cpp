// The render options dialog's form and its hand-over of the choices.
//
// Choices of ours: exposure and automatic exposure are written straight into the document's
// settings on Apply (the engine copies them when it prepares a frame, and no worker reads the
// document's own record); while automatic exposure runs, Apply keeps the exposure it has
// reached, and unchecking "Automatic" keeps the value the box shows.
#include "ui/dlgrenderoptions.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdint>

#include "engine/autoexposure.h"
#include "engine/docrt.h"
#include "geometry/programmingerror.h"
#include "scene/rendersettings.h"
#include "ui/helppages.h"
#include "ui/speedunits.h"

namespace {

QString formTr(const char* text) { return QCoreApplication::translate("RenderOptions", text); }

// Combo entries: the texts count the rays of a packet, the values are its side in pixels.
constexpr int kBundleSides[3] = {1, 2, 4};
// Searchlight combo entries: the beaming exponent k of (1/D)^k.
constexpr int kSearchlightExponents[2] = {4, 3};

}  // namespace

DlgRenderOptions::DlgRenderOptions(DocRT* doc_) : QDialog(nullptr), doc(doc_) {
    setupForm();
    connect(buttonBackgroundColor, &QPushButton::clicked, this, &DlgRenderOptions::onColorButton);
    connect(buttonBox->button(QDialogButtonBox::Ok), &QPushButton::clicked, this,
            &DlgRenderOptions::onOk);
    connect(buttonBox->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this,
            &DlgRenderOptions::onCancel);
    connect(buttonBox->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &DlgRenderOptions::onAccept);
    connect(buttonBox->button(QDialogButtonBox::Help), &QPushButton::clicked, this,
            &DlgRenderOptions::onHelp);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &DlgRenderOptions::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &DlgRenderOptions::reject);

    uint8_t rgba[4];
    doc->background(rgba);
    backgroundColor = QColor(rgba[0], rgba[1], rgba[2], rgba[3]);
    colorButtonFromBackground();

    setMaxBundleSize(doc->maxBundleSize());

    const RenderSettings& s = *doc->getSettings();
    setSearchlightExponent(s.searchlight == 3 ? 3 : 4);
    spinExposure->setValue(double(s.exposureStops));
    checkAutoExposure->setChecked(s.autoExposure);
    spinExposure->setEnabled(!s.autoExposure);
    connect(checkAutoExposure, &QCheckBox::toggled, spinExposure,
            [this](bool automatic) { spinExposure->setEnabled(!automatic); });

    if (showSpeedKm && showSpeedLight)
        radioSpeedBoth->setChecked(true);
    else if (showSpeedKm)
        radioSpeedKm->setChecked(true);
    else if (showSpeedLight)
        radioSpeedLight->setChecked(true);
    else
        programmingError("The mode for the setting of the speed of light may be false");
}

void DlgRenderOptions::setupForm() {
    setObjectName(QStringLiteral("RenderOptions"));
    setWindowTitle(formTr("Tavolin  - Render Options"));

    auto* mainLayout = new QVBoxLayout(this);
    mainLayout->setObjectName(QStringLiteral("mainLayout"));
    mainLayout->setSizeConstraint(QLayout::SetMinimumSize);

    tabWidget = new QTabWidget(this);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));

    auto* tab_2 = new QWidget();
    tab_2->setObjectName(QStringLiteral("tab_2"));
    auto* verticalLayout_2 = new QVBoxLayout(tab_2);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    buttonBackgroundColor = new QPushButton(formTr("Change Background Color ..."), tab_2);
    buttonBackgroundColor->setObjectName(QStringLiteral("buttonBackgroundColor"));
    verticalLayout_2->addWidget(buttonBackgroundColor);
    auto* groupBox = new QGroupBox(formTr("show the speed of the observer ..."), tab_2);
    groupBox->setObjectName(QStringLiteral("groupBox"));
    auto* verticalLayout_3 = new QVBoxLayout(groupBox);
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    radioSpeedKm = new QRadioButton(formTr("in km/s"), groupBox);
    radioSpeedKm->setObjectName(QStringLiteral("radioSpeedKm"));
    radioSpeedLight = new QRadioButton(formTr("as part of the speed of light"), groupBox);
    radioSpeedLight->setObjectName(QStringLiteral("radioSpeedLight"));
    radioSpeedBoth =
        new QRadioButton(formTr("in km/s and as part of the speed of light"), groupBox);
    radioSpeedBoth->setObjectName(QStringLiteral("radioSpeedBoth"));
    verticalLayout_3->addWidget(radioSpeedKm);
    verticalLayout_3->addWidget(radioSpeedLight);
    verticalLayout_3->addWidget(radioSpeedBoth);
    verticalLayout_2->addWidget(groupBox);
    tabWidget->addTab(tab_2, formTr("Main Options"));

    auto* tab = new QWidget();
    tab->setObjectName(QStringLiteral("tab"));
    auto* verticalLayout = new QVBoxLayout(tab);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    auto* horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    auto* labelMaxBundleSize = new QLabel(formTr("Maximum Bundle Size"), tab);
    labelMaxBundleSize->setObjectName(QStringLiteral("labelMaxBundleSize"));
    horizontalLayout_2->addWidget(labelMaxBundleSize);
    horizontalLayout_2->addItem(
        new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    cmbMaxBundleSize = new QComboBox(tab);
    cmbMaxBundleSize->setObjectName(QStringLiteral("cmbMaxBundleSize"));
    cmbMaxBundleSize->addItems({formTr("1"), formTr("4"), formTr("16")});
    horizontalLayout_2->addWidget(cmbMaxBundleSize);
    verticalLayout->addLayout(horizontalLayout_2);
    verticalLayout->addStretch(1);
    tabWidget->addTab(tab, formTr("Advanced Options"));
    setupLightTab();
    tabWidget->setCurrentIndex(0);
    mainLayout->addWidget(tabWidget);

    buttonBox = new QDialogButtonBox(this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setOrientation(Qt::Horizontal);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                  QDialogButtonBox::Help | QDialogButtonBox::Apply);
    mainLayout->addWidget(buttonBox);
}

void DlgRenderOptions::setupLightTab() {
    auto* light = new QWidget();
    light->setObjectName(QStringLiteral("tabLight"));
    auto* layout = new QVBoxLayout(light);
    auto* form = new QFormLayout();
    form->setObjectName(QStringLiteral("formLight"));
    cmbSearchlight = new QComboBox(light);
    cmbSearchlight->setObjectName(QStringLiteral("cmbSearchlight"));
    cmbSearchlight->addItems(
        {formTr("energy per line (k = 4)"), formTr("photon counting (k = 3)")});
    cmbSearchlight->setToolTip(
        formTr("Every spectral line is brightened by (1/D)^k when the searchlight is on"));
    form->addRow(formTr("Searchlight"), cmbSearchlight);
    spinExposure = new QDoubleSpinBox(light);
    spinExposure->setObjectName(QStringLiteral("spinExposure"));
    spinExposure->setRange(double(AutoExposure::kMinStops), double(AutoExposure::kMaxStops));
    spinExposure->setSingleStep(0.5);
    spinExposure->setDecimals(2);
    spinExposure->setSuffix(formTr(" stops"));
    spinExposure->setToolTip(formTr("Brightness times 2^stops before the picture is clipped"));
    form->addRow(formTr("Exposure"), spinExposure);
    checkAutoExposure = new QCheckBox(formTr("Automatic"), light);
    checkAutoExposure->setObjectName(QStringLiteral("checkAutoExposure"));
    form->addRow(QString(), checkAutoExposure);
    layout->addLayout(form);
    layout->addStretch(1);
    tabWidget->addTab(light, formTr("Light"));
}

void DlgRenderOptions::colorButtonFromBackground() {
    buttonBackgroundColor->setStyleSheet(
        QStringLiteral("background-color : rgb(") + QString::number(backgroundColor.red()) + ',' +
        QString::number(backgroundColor.green()) + ',' + QString::number(backgroundColor.blue()) +
        QStringLiteral(");color : white"));
}

void DlgRenderOptions::setMaxBundleSize(int side) {
    for (int i = 0; i < 3; ++i) {
        if (kBundleSides[i] == side) {
            cmbMaxBundleSize->setCurrentIndex(i);
            return;
        }
    }
    programmingError("DlgRenderOptions::setMaxBundle Size: invalid Bundle size");
}

int DlgRenderOptions::getMaxBundleSize() const {
    const int index = cmbMaxBundleSize->currentIndex();
    if (index < 0 || index >= 3)
        programmingError("DlgRenderOptions::getMaxBundle Size invalid Bundle size");
    return kBundleSides[index];
}

void DlgRenderOptions::setSearchlightExponent(int k) {
    for (int i = 0; i < 2; ++i) {
        if (kSearchlightExponents[i] == k) {
            cmbSearchlight->setCurrentIndex(i);
            return;
        }
    }
    programmingError("DlgRenderOptions::setSearchlightExponent: the exponent must be 3 or 4");
}

int DlgRenderOptions::searchlightExponent() const {
    const int index = cmbSearchlight->currentIndex();
    if (index < 0 || index >= 2)
        programmingError("DlgRenderOptions::searchlightExponent: no exponent chosen");
    return kSearchlightExponents[index];
}

void DlgRenderOptions::showEvent(QShowEvent* event) {
    const RenderSettings& s = *doc->getSettings();
    if (checkAutoExposure->isChecked() && s.autoExposure)
        spinExposure->setValue(double(s.exposureStops));
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
    if (radioSpeedBoth->isChecked()) {
        showSpeedLight = true;
        showSpeedKm = true;
    } else if (radioSpeedKm->isChecked()) {
        showSpeedLight = false;
        showSpeedKm = true;
    } else if (radioSpeedLight->isChecked()) {
        showSpeedLight = true;
        showSpeedKm = false;
    }

    RenderSettings& s = *doc->getSettings();
    const bool automatic = checkAutoExposure->isChecked();
    if (!automatic || !s.autoExposure) s.exposureStops = float(spinExposure->value());
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
