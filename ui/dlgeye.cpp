// The eye dialog's form, presets and hand-over to the document.
//
// The dialog opens at a size of its own rather than the form's smallest one, which cramped the
// axis labels of the plot together and put the CIE note over the axis.
#include "ui/dlgeye.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/docrt.h"
#include "ui/helppages.h"
#include "ui/waveledit.h"

namespace {
QString formTr(const char* text) { return QCoreApplication::translate("EditWavelength", text); }
}  // namespace

DlgEye::DlgEye(QWidget* parent, DocRT* doc_) : QDialog(parent), presets(eyePresets()), doc(doc_) {
    wavelEdit = new WavelEdit(doc->nextFrameEye());
    setupForm();

    connect(buttonBox, &QDialogButtonBox::accepted, this, &DlgEye::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &DlgEye::reject);
    connect(buttonBox->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &DlgEye::slotApply);
    connect(buttonBox->button(QDialogButtonBox::Help), &QPushButton::clicked, this,
            &DlgEye::slotHelp);
    connect(defaultWavelengths, &QComboBox::currentIndexChanged, this,
            qOverload<int>(&DlgEye::slotEyeChanged));
    connect(doc, &DocRT::updateEyes, this, &DlgEye::slotReloadEye);
    connect(wavelEdit, &WavelEdit::editableChanged, this, &DlgEye::showCieNote);
    fitToContent();
    showCieNote(wavelEdit->isEditable());
}

void DlgEye::fitToContent() {
    // The wrapped note must never be squeezed onto the plot: it keeps the height it needs at the
    // narrowest width the dialog allows.
    cieNote->setMinimumHeight(cieNote->heightForWidth(wavelEdit->minimumWidth()));
    // Opened with room for the plot, its labels and the note, so that switching to the CIE eye
    // does not grow the window; once shown, the dialog keeps whatever size the user gives it.
    cieNote->show();
    layout()->activate();
    resize(sizeHint().expandedTo(QSize(kOpenWidth, kOpenHeight)));
}

void DlgEye::setupForm() {
    setObjectName(QStringLiteral("EditWavelength"));
    setWindowTitle(formTr("Visible Wavelength"));
    setWindowModality(Qt::ApplicationModal);
    setAutoFillBackground(true);
    setAcceptDrops(false);

    auto* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    auto* horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    auto* label = new QLabel(formTr("Predefined eye settings"), this);
    label->setObjectName(QStringLiteral("label"));
    horizontalLayout->addWidget(label);
    defaultWavelengths = new QComboBox(this);
    defaultWavelengths->setObjectName(QStringLiteral("defaultWavelengths"));
    defaultWavelengths->setMinimumWidth(120);
    for (const EyePreset& preset : presets) defaultWavelengths->addItem(preset.name);
    horizontalLayout->addWidget(defaultWavelengths, 1);
    verticalLayout->addLayout(horizontalLayout);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    verticalLayout->addWidget(line);

    buttonBox = new QDialogButtonBox(this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setOrientation(Qt::Horizontal);
    buttonBox->setCenterButtons(false);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                  QDialogButtonBox::Help | QDialogButtonBox::Apply);
    verticalLayout->addWidget(buttonBox);

    wavelEdit->setAutoFillBackground(true);
    verticalLayout->insertWidget(1, wavelEdit, 1);

    cieNote = new QLabel(formTr("These are the color-matching functions x-bar (red), y-bar (green) "
                                "and z-bar (blue) of the CIE 1931 2-degree standard observer, "
                                "scaled to fit. They are fixed and cannot be edited."),
                         this);
    cieNote->setObjectName(QStringLiteral("cieNote"));
    cieNote->setWordWrap(true);
    verticalLayout->insertWidget(2, cieNote);
}

void DlgEye::showCieNote(bool editable) { cieNote->setVisible(!editable); }

const Eye& DlgEye::currentEye() const { return wavelEdit->currentEye(); }

void DlgEye::slotApply() { doc->setEye(wavelEdit->currentEye()); }

void DlgEye::accept() {
    slotApply();
    QDialog::accept();
}

void DlgEye::slotHelp() { showHelpPage(QStringLiteral("dlgwavelength.html")); }

void DlgEye::slotUseCustomEye() { defaultWavelengths->setCurrentIndex(0); }

void DlgEye::slotEyeChanged(int) { slotEyeChanged(); }

void DlgEye::slotEyeChanged() {
    const int index = defaultWavelengths->currentIndex();
    if (index < 0 || index >= static_cast<int>(presets.size())) return;
    wavelEdit->setEye(presets[static_cast<size_t>(index)].eye);
}

void DlgEye::slotReloadEye() { wavelEdit->setEye(doc->nextFrameEye()); }
