// The render options dialog: background colour of rays that hit nothing, the unit of the status
// bar's speed read-out, the largest ray packet the engine traces, and the light response (the
// searchlight's exponent, the exposure). Colour and packet size go to the document as requests
// for its next frame; the speed unit lives in ui/speedunits.h; the exponent goes to whoever
// listens to searchlightExponentChosen (the main view).
#pragma once

#include <QColor>
#include <QDialog>

class DocRT;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QDialogButtonBox;
class QPushButton;
class QRadioButton;
class QTabWidget;

class DlgRenderOptions : public QDialog {
    Q_OBJECT
public:
    // No parent window. GUI thread only; the document is not owned and must outlive the dialog.
    // A bundle size other than 1, 2 or 4, or both speed flags false, is a programming error.
    explicit DlgRenderOptions(DocRT* doc);

    QColor chosenBackground() const { return backgroundColor; }
    QPushButton* colorButton() const { return buttonBackgroundColor; }
    QComboBox* bundleCombo() const { return cmbMaxBundleSize; }
    QRadioButton* speedKmButton() const { return radioSpeedKm; }
    QRadioButton* speedLightButton() const { return radioSpeedLight; }
    QRadioButton* speedBothButton() const { return radioSpeedBoth; }
    QDialogButtonBox* buttons() const { return buttonBox; }
    QComboBox* searchlightCombo() const { return cmbSearchlight; }
    QDoubleSpinBox* exposureSpin() const { return spinExposure; }
    QCheckBox* autoExposureBox() const { return checkAutoExposure; }

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
    void setupForm();
    void setupLightTab();
    void colorButtonFromBackground();

    QColor backgroundColor;
    DocRT* doc;
    // The form.
    QTabWidget* tabWidget = nullptr;
    QPushButton* buttonBackgroundColor = nullptr;
    QRadioButton* radioSpeedKm = nullptr;
    QRadioButton* radioSpeedLight = nullptr;
    QRadioButton* radioSpeedBoth = nullptr;
    QComboBox* cmbMaxBundleSize = nullptr;
    QComboBox* cmbSearchlight = nullptr;
    QDoubleSpinBox* spinExposure = nullptr;
    QCheckBox* checkAutoExposure = nullptr;
    QDialogButtonBox* buttonBox = nullptr;
};
