// The render options dialog's form and its hand-over of the choices.
#include "ui/dlgrenderoptions.h"

#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdint>

#include "engine/docrt.h"
#include "geometry/programmingerror.h"
#include "ui/helppages.h"
#include "ui/speedunits.h"

namespace {

QString formTr(const char* text) { return QCoreApplication::translate("RenderOptions", text); }

// Combo entries: the texts count the rays of a packet, the values are its side in pixels.
constexpr int kBundleSides[3] = {1, 2, 4};

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
    tabWidget->setCurrentIndex(0);
    mainLayout->addWidget(tabWidget);

    buttonBox = new QDialogButtonBox(this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setOrientation(Qt::Horizontal);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                  QDialogButtonBox::Help | QDialogButtonBox::Apply);
    mainLayout->addWidget(buttonBox);
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

void DlgRenderOptions::onColorButton() {
    const QColor chosen =
        QColorDialog::getColor(backgroundColor, this, QString(), QColorDialog::ShowAlphaChannel);
    if (!chosen.isValid()) return;
    backgroundColor = chosen;
    colorButtonFromBackground();
}

void DlgRenderOptions::onAccept() {
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
}

void DlgRenderOptions::onOk() {
    onAccept();
    close();
}

void DlgRenderOptions::onCancel() { reject(); }

void DlgRenderOptions::accept() { emit signalAccepted(); }

void DlgRenderOptions::onHelp() { showHelpPage(QStringLiteral("dlgrenderoptions.html")); }
