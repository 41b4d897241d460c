// The render options dialog: background colour of rays that hit nothing, the unit of the status
// bar's speed read-out, and the largest ray packet the engine traces. Colour and packet size go
// to the document as requests for its next frame; the speed unit lives in ui/speedunits.h.
#pragma once

#include <QColor>
#include <QDialog>

class DocRT;
class QComboBox;
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

    // Bundle side (1, 2, 4) <-> combo index (0, 1, 2).
    void setMaxBundleSize(int side);
    int getMaxBundleSize() const;

signals:
    void signalAccepted();

public slots:
    void onColorButton();
    void onOk();
    void onCancel();
    void onAccept();
    void onHelp();
    void accept() override;

private:
    void setupForm();
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
    QDialogButtonBox* buttonBox = nullptr;
};
