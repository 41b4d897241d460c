// The eye dialog ("Visible Wavelength"): pick a preset eye or drag the three sensitivity curves,
// then hand the eye to the document with Apply or OK; it renders with it from its next frame.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "scene/eye.h"

class DocRT;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class WavelEdit;

namespace Ui {
class DlgEye;
}

class DlgEye : public QDialog {
    Q_OBJECT
public:
    // The size the dialog opens at, unless its form needs more.
    static constexpr int kOpenWidth = 640;
    static constexpr int kOpenHeight = 440;

    // GUI thread only. The document is not owned and must outlive the dialog. The form is
    // application-modal; the main window makes the dialog non-modal before showing it.
    DlgEye(QWidget* parent, DocRT* doc);
    ~DlgEye() override;

    // The eye as edited (not yet handed over unless applied).
    const Eye& currentEye() const;
    WavelEdit* curveEditor() const { return wavelEdit; }
    QComboBox* presetCombo() const;
    QDialogButtonBox* buttons() const;
    // The note under the curves that is shown while the eye is the fixed CIE eye.
    QLabel* cieNoteLabel() const;

public slots:
    void accept() override;
    void slotApply();
    void slotHelp();
    void slotUseCustomEye();
    void slotEyeChanged(int index);
    void slotEyeChanged();
    void slotReloadEye();

private:
    // Gives the note the height it needs and opens the dialog at a size that fits the form.
    void fitToContent();
    // Shows the CIE note exactly while the curve editor holds a CIE eye.
    void showCieNote(bool editable);

    std::unique_ptr<Ui::DlgEye> ui;
    std::vector<EyePreset> presets;
    DocRT* doc;
    // Made here rather than in the form: it starts from the document's eye.
    WavelEdit* wavelEdit = nullptr;
};
