// The black-hole light-path dialog: shows the bent light paths of the renderer's table for a
// chosen initial angle (a fan of 1, 4 or 16 neighbouring rays), and edits the parameters the
// table is generated with.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>

class DocRT;
class LightPathView;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;

namespace Ui {
class DlgBHLightPath;
}

class DlgBHLightPath : public QDialog {
    Q_OBJECT
public:
    // Repaint period while shown: the table follows the observer from frame to frame.
    static constexpr int kRefreshMs = 250;

    // GUI thread only; the document is not owned. Each time the dialog is shown it generates a
    // table for the document's observer and hole if none was generated yet (ensureTable).
    DlgBHLightPath(QWidget* parent, DocRT* doc);
    ~DlgBHLightPath() override;

    // Rays drawn for an index of the generation-count combo: 0, 1, 2 -> 1, 4, 16. Any other
    // index is a programming error.
    static int generationCountForIndex(int index);

    // Holds the views' frames back while the dialog regenerates the renderer's table (the
    // bent-ray tracer reads it without a lock during a frame). Without one installed the dialog
    // regenerates at once, which is right when no frame can be running (tests, a stopped loop).
    void setRenderingHold(std::function<void(bool hold)> hold) { renderingHold = std::move(hold); }

    // Generates the renderer's table for the document's observer and hole when it was never
    // generated (light bending never on). Returns whether it generated.
    bool ensureTable();

    LightPathView* view() const { return display; }
    QDoubleSpinBox* angleBox() const;
    QComboBox* generationCombo() const;
    QDoubleSpinBox* zoomBox() const;
    QCheckBox* followBox() const;
    bool isReady() const { return ready; }

public slots:
    void settingsChanged(int);
    void settingsChanged(double);
    void settingsChanged(bool);
    // Shows the parameters the renderer's table was generated with.
    void settingsLoadFromEngine();
    // Regenerates the renderer's table with the dialog's parameters (holding the views' frames).
    void settingsSaveToEngine();
    // Follows a view's viewing angle (degrees) when the follow check box is set.
    void setAngle(float newang);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void copySettings();
    // Regenerates the table for the document's observer and hole, frames held back.
    void regenerate();

    std::unique_ptr<Ui::DlgBHLightPath> ui;
    DocRT* doc;
    std::function<void(bool)> renderingHold;
    QTimer refreshTimer;
    bool ready = false;

    // Drawn in code, beside the form: it needs the document.
    LightPathView* display = nullptr;
};
