// The progress dialog behind a pixel buffer's reduction.
#include "ui/downsampleprogressdialog.h"

#include <QCoreApplication>
#include <QProgressDialog>

DownsampleProgressDialog::DownsampleProgressDialog(QProgressDialog* dialog_) : dialog(dialog_) {}

void DownsampleProgressDialog::processEvents() { QCoreApplication::processEvents(); }

bool DownsampleProgressDialog::wasCanceled() const { return dialog->wasCanceled(); }

void DownsampleProgressDialog::setValue(int percent) { dialog->setValue(percent); }
