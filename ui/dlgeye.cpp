// The eye dialog's presets and hand-over to the document; the form is dlgeye.ui, with the curve
// editor put in under the preset row.
//
// The dialog opens at a size of its own rather than the form's smallest one, which cramped the
// axis labels of the plot together and put the CIE note over the axis.
#include "ui/dlgeye.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include "engine/docrt.h"
#include "ui/helppages.h"
#include "ui/waveledit.h"
#include "ui_dlgeye.h"

DlgEye::DlgEye(QWidget* parent, DocRT* doc_)
    : QDialog(parent), ui(std::make_unique<Ui::DlgEye>()), presets(eyePresets()), doc(doc_) {
    ui->setupUi(this);
    for (const EyePreset& preset : presets) ui->defaultWavelengths->addItem(preset.name);
    wavelEdit = new WavelEdit(doc->nextFrameEye());
    wavelEdit->setAutoFillBackground(true);
    ui->verticalLayout->insertWidget(1, wavelEdit, 1);

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &DlgEye::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DlgEye::reject);
    connect(ui->buttonBox->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &DlgEye::slotApply);
    connect(ui->buttonBox->button(QDialogButtonBox::Help), &QPushButton::clicked, this,
            &DlgEye::slotHelp);
    connect(ui->defaultWavelengths, &QComboBox::currentIndexChanged, this,
            qOverload<int>(&DlgEye::slotEyeChanged));
    connect(doc, &DocRT::updateEyes, this, &DlgEye::slotReloadEye);
    connect(wavelEdit, &WavelEdit::editableChanged, this, &DlgEye::showCieNote);
    fitToContent();
    showCieNote(wavelEdit->isEditable());
}

DlgEye::~DlgEye() = default;

QComboBox* DlgEye::presetCombo() const { return ui->defaultWavelengths; }

QDialogButtonBox* DlgEye::buttons() const { return ui->buttonBox; }

QLabel* DlgEye::cieNoteLabel() const { return ui->cieNote; }

void DlgEye::fitToContent() {
    // The wrapped note must never be squeezed onto the plot: it keeps the height it needs at the
    // narrowest width the dialog allows.
    ui->cieNote->setMinimumHeight(ui->cieNote->heightForWidth(wavelEdit->minimumWidth()));
    // Opened with room for the plot, its labels and the note, so that switching to the CIE eye
    // does not grow the window; once shown, the dialog keeps whatever size the user gives it.
    ui->cieNote->show();
    layout()->activate();
    resize(sizeHint().expandedTo(QSize(kOpenWidth, kOpenHeight)));
}

void DlgEye::showCieNote(bool editable) { ui->cieNote->setVisible(!editable); }

const Eye& DlgEye::currentEye() const { return wavelEdit->currentEye(); }

void DlgEye::slotApply() { doc->setEye(wavelEdit->currentEye()); }

void DlgEye::accept() {
    slotApply();
    QDialog::accept();
}

void DlgEye::slotHelp() { showHelpPage(QStringLiteral("dlgwavelength.html")); }

void DlgEye::slotUseCustomEye() { ui->defaultWavelengths->setCurrentIndex(0); }

void DlgEye::slotEyeChanged(int) { slotEyeChanged(); }

void DlgEye::slotEyeChanged() {
    const int index = ui->defaultWavelengths->currentIndex();
    if (index < 0 || index >= static_cast<int>(presets.size())) return;
    wavelEdit->setEye(presets[static_cast<size_t>(index)].eye);
}

void DlgEye::slotReloadEye() { wavelEdit->setEye(doc->nextFrameEye()); }
