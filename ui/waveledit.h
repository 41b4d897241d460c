// The curve editor of the eye dialog: draws the three channel sensitivity curves over wavelength
// and lets the user drag each channel's lower end, peak and upper end with the mouse. A CIE 1931
// eye is shown as its three colour-matching functions, which cannot be edited.
#pragma once

#include <QPoint>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <QWidget>
#include <vector>

#include "scene/eye.h"

class QPainter;

class WavelEdit : public QWidget {
    Q_OBJECT
public:
    static constexpr float minGap = 50.0f;  // nm kept between lo, peak and hi while dragging
    static constexpr int pickRadius = 100;  // pixels: farther presses start no drag
    static constexpr int marginLeft = 45;
    static constexpr int marginRight = 8;
    static constexpr int marginTop = 30;
    static constexpr int marginBottom = 20;
    static constexpr int handleSize = 16;
    static constexpr int handleCornerRadius = 7;
    static constexpr int curveSegments = 201;
    // Wavelength step (nm) of the drawn CIE colour-matching curves.
    static constexpr double cieStep = 1.0;
    // Pixel size of the axis labels: they fit into the bottom margin whatever the desktop font.
    static constexpr int labelPixelSize = 13;
    // Least space (pixels) between two wavelength labels.
    static constexpr double labelGap = 12.0;

    struct AxisLabel {
        QRectF box;  // widget pixels
        QString text;
    };

    enum Handle { Lo = 0, Peak = 1, Hi = 2 };

    // Created without a parent; the dialog's layout adopts it. GUI thread only.
    explicit WavelEdit(const Eye& eyeToCopy, QWidget* parent = nullptr);

    const Eye& currentEye() const { return eye; }
    // Replaces the edited eye and repaints. Emits editableChanged when the eye's kind switches
    // between the three-curve eye and the CIE eye.
    void setEye(const Eye& newEye);

    // True for a three-curve eye, whose handles can be dragged; false for the CIE eye.
    bool isEditable() const { return eye.kind == EyeKind::ThreeCurve; }
    // The height (0 to 1 of the plot) at which channel c's curve is drawn at a wavelength: the
    // channel's sensitivity, or for the CIE eye the colour-matching function (x-bar, y-bar,
    // z-bar for c = 0, 1, 2) from the shading table times cieScale().
    double plottedValue(int channel, double nm) const;
    // 1 / the largest value of the three CIE colour-matching functions (the z-bar peak, about
    // 1.78 near 446 nm), so that the tallest curve reaches the top of the plot.
    static double cieScale();

    // The handle's centre in widget pixels as last painted.
    QPoint handlePosition(int channel, int handle) const { return handlePos[channel * 3 + handle]; }
    bool isDragging() const { return dragging; }
    float viewMinimum() const { return viewMin; }
    float viewMaximum() const { return viewMax; }

    // The wavelength range shown for an eye: from 1.4 minLo - 0.4 maxHi (not below 0) to
    // 1.25 maxHi - 0.25 minLo, minLo and maxHi taken over the three channels.
    static void viewRange(const Eye& eye, float& viewMin, float& viewMax);

    // The wavelength labels under the axis for the current size: round values (steps of 1, 2 or
    // 5 times a power of ten nm) spaced so that no two touch, each inside the widget.
    std::vector<AxisLabel> wavelengthLabels() const;
    // The smallest of 1, 2, 5 times a power of ten that is at least span / maxLabels.
    static double labelStep(double span, double maxLabels);

    QSize sizeHint() const override;

signals:
    void dataChanged();
    // The eye switched between an editable three-curve eye and the fixed CIE eye.
    void editableChanged(bool editable);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Recomputes the view range and both transforms for the current size, then the handles.
    void updateView();
    // Handle centres from the current transform, so that a press finds them before any paint.
    void updateHandles();
    QPointF handleCentre(int channel, int handle) const;
    void paintChannelCurves(QPainter& p) const;
    void paintCieCurves(QPainter& p) const;
    QFont labelFont() const;

    Eye eye;
    QTransform toWidget;  // (wavelength, sensitivity) -> pixels
    QTransform toCurve;   // pixels -> (wavelength, sensitivity)
    bool dragging = false;
    int dragChannel = 0;
    int dragHandle = Lo;
    float viewMin = 0.0f;
    float viewMax = 1.0f;
    float minLo = 0.0f;
    float maxHi = 0.0f;
    QPoint handlePos[9];  // channel-major: red lo, peak, hi, green lo, ...
};
