// Lets a pixel buffer's box-filter reduction report to a QProgressDialog and see its Cancel.
#pragma once

#include "engine/pixelbuffer.h"

class QProgressDialog;

class DownsampleProgressDialog : public DownsampleProgress {
public:
    // The dialog is not owned. GUI thread only.
    explicit DownsampleProgressDialog(QProgressDialog* dialog);

    void processEvents() override;
    bool wasCanceled() const override;
    void setValue(int percent) override;

private:
    QProgressDialog* dialog;
};
