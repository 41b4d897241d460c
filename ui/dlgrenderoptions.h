// The render options dialog: background colour of rays that hit nothing, the unit of the status
// bar's speed read-out, the largest ray packet the engine traces, and the light response (the
// searchlight's exponent, the exposure). Colour and packet size go to the document as requests
// for its next frame; the speed unit lives in ui/speedunits.h; the exponent goes to whoever
// listens to searchlightExponentChosen (the main view).
#pragma once

#include <QColor>
#include <QDialog>
#include <memory>

class DocRT;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QDialogButtonBox;
class QPushButton;
class QRadioButton;

namespace Ui {
class DlgRenderOptions;
}

class DlgRenderOptions : public QDialog {
    Q_OBJECT
public:
    // No parent window. GUI thread only; the document is not owned and must outlive the dialog.
    // A bundle size other than 1, 2 or 4, or both speed flags false, is a programming error.
    explicit DlgRenderOptions(DocRT* doc);
    ~DlgRenderOptions() override;

    QColor chosenBackground() const { return backgroundColor; }
    QPushButton* colorButton() const;
    QComboBox* bundleCombo() const;
    QRadioButton* speedKmButton() const;
    QRadioButton* speedLightButton() const;
    QRadioButton* speedBothButton() const;
    QDialogButtonBox* buttons() const;
    QComboBox* searchlightCombo() const;
    QDoubleSpinBox* exposureSpin() const;
    QCheckBox* autoExposureBox() const;

    // Bundle side (1, 2, 4) <-> combo index (0, 1, 2).
    void setMaxBundleSize(int side);
    int getMaxBundleSize() const;
    // Beaming exponent (4 energy per line, 3 photon counting) <-> combo index (0, 1); another
    // exponent is a programming error.
    void setSearchlightExponent(int k);
    int searchlightExponent() const;

signals:
    void signalAccepted();
    // Apply or OK: the exponent the searchlight is to use.
    void searchlightExponentChosen(int k);

public slots:
    void onColorButton();
    void onOk();
    void onCancel();
    void onAccept();
    void onHelp();
    void accept() override;

protected:
    // While "Automatic" is checked the exposure box shows the exposure the program is at.
    void showEvent(QShowEvent* event) override;

private:
    void colorButtonFromBackground();

    std::unique_ptr<Ui::DlgRenderOptions> ui;
    QColor backgroundColor;
    DocRT* doc;
};
