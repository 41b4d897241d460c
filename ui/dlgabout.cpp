// The About box: a short description of the program, its version, licence and credits. The form
// is dlgabout.ui; its texts hold placeholders for the versions, filled in here.
#include "ui/dlgabout.h"

#include <QDialogButtonBox>
#include <QtGlobal>

#include "ui_dlgabout.h"

#ifndef TAVOLIN_VERSION
#define TAVOLIN_VERSION "unknown"
#endif

DlgAbout::DlgAbout(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::DlgAbout>()) {
    ui->setupUi(this);
    ui->label->setText(ui->label->text().arg(version()));
    ui->labelCredits->setText(ui->labelCredits->text().arg(QT_VERSION_STR, qVersion()));
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

DlgAbout::~DlgAbout() = default;

QString DlgAbout::version() { return QStringLiteral(TAVOLIN_VERSION); }
