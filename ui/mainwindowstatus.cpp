// The main window's status bar: the read-out fields (speed, position, direction, frame rate, the
// observer's time, what lies under the cursor), each as wide as its widest text so that the bar
// does not jump, updated after every frame, and shown or hidden from the View menu.
#include <QAction>
#include <QStatusBar>

#include "engine/docrt.h"
#include "scene/rendersettings.h"
#include "ui/framestatus.h"
#include "ui/mainwindow.h"
#include "ui/readoutbar.h"
#include "ui/readoutformat.h"
#include "ui/readoutlabel.h"
#include "ui/speedunits.h"
#include "views/mainview.h"
#include "ui_mainwindow.h"

void MainWindow::createStatusLabels() {
    const std::pair<QLabel**, const char*> labels[] = {
        {&labelSpeed, "labelSpeed"},
        {&labelPosition, "labelPosition"},
        {&labelLookat, "labelLookat"},
        {&labelFrames, "labelFrames"},
        {&labelCursorPos, "labelCursorPos"},
        {&labelCursorDoppler, "labelCursorDoppler"},
        {&labelCursorResting, "labelCursorResting"},
        {&labelCursorTransformed, "labelCursorTransformed"},
    };
    const QString texts[] = {tr("Speed"),
                             tr("Pos"),
                             tr("Lookat"),
                             tr("Frames"),
                             tr("Cursor Pos in Pixels"),
                             tr("Cursor Doppler Effect"),
                             tr("Cursor Resting Direction"),
                             tr("Cursor Transformed Direction")};
    const QAction* shownBy[] = {ui->actionSpeed,
                                ui->actionPosition,
                                ui->actionDirection,
                                ui->actionFrames,
                                ui->actionCursorPosition,
                                ui->actionCursorDopplerEffect,
                                ui->actionCursorRestingRayDirection,
                                ui->actionCursorTransformedRayDirection};
    // Each field is as wide as its read-out gets: the numbers have a fixed length.
    const QString widest[] = {readout::speed(-0.5f, true, true, kLightSpeedKmPerS),
                              tr("Position: ") + readout::position(-1.0f, -1.0f, -1.0f),
                              tr("Lookat: ") + readout::direction(-1.0f, -1.0f, -1.0f),
                              tr("Frames: ") + readout::framesPerSecond(1.0),
                              readout::pixel(-1, -1),
                              tr("Doppler Effect at Cursor: ") + readout::factor(1.0),
                              tr("Resting Direction at Cursor: ") +
                                  readout::direction(-1.0f, -1.0f, -1.0f),
                              tr("Transformed Direction at Cursor: ") +
                                  readout::direction(-1.0f, -1.0f, -1.0f)};
    auto* readouts = new ReadoutBar(statusBar());
    statusBar()->addPermanentWidget(readouts, 0);
    int i = 0;
    for (const auto& [label, name] : labels) {
        auto* field = new ReadoutLabel(texts[i], widest[i], readouts);
        *label = field;
        field->setObjectName(QString::fromLatin1(name));
        if (!shownBy[i]->isChecked()) field->hide();
        readouts->addReadout(field);
        if (*label == labelFrames) {  // the observer's time follows the frame rate
            auto* time =
                new ReadoutLabel(tr("Observer Time"), readout::observerTime(-1.0), readouts);
            labelObserverTime = time;
            time->setObjectName(QStringLiteral("labelObserverTime"));
            if (!ui->actionObserverTime->isChecked()) time->hide();
            readouts->addReadout(time);
        }
        ++i;
    }
    auto* brightness = new ReadoutLabel(
        tr("Cursor Brightness"), tr("Brightness at Cursor: ") + readout::factor(1.0),
        readouts);
    labelCursorBrightness = brightness;
    brightness->setObjectName(QStringLiteral("labelCursorBrightness"));
    brightness->hide();
    readouts->addReadout(brightness);
}

void MainWindow::createFrameStatus() {
    auto* status = new FrameStatus(statusBar());
    connect(view, &MainView::frameProgress, status, &FrameStatus::setFrameProgress);
    connect(view, &MainView::pausedChanged, status, &FrameStatus::setPaused);
    status->setPaused(view->isPaused());
}

void MainWindow::updateBrightnessLabel() {
    if (!labelCursorBrightness) return;
    float factor = 1.0f;
    const bool shown = ui->actionCursorBrightness->isChecked() && view->cursorBrightness(factor);
    if (shown)
        labelCursorBrightness->setText(tr("Brightness at Cursor: ") + readout::factor(factor));
    if (labelCursorBrightness->isVisibleTo(this) != shown) labelCursorBrightness->setVisible(shown);
}

void MainWindow::updateStatusBar() {
    if (!labelSpeed) return;  // the first frame runs before the labels exist
    const RenderSettings& s = *doc->getSettings();
    if (ui->actionSpeed->isChecked())
        labelSpeed->setText(
            readout::speed(s.speed, showSpeedLight, showSpeedKm, kLightSpeedKmPerS));
    if (ui->actionPosition->isChecked()) {
        const Vec4f p = doc->position();
        labelPosition->setText(tr("Position: ") + readout::position(p[0], p[1], p[2]));
    }
    if (ui->actionDirection->isChecked()) {
        const Vec4f l = doc->lookat();
        labelLookat->setText(tr("Lookat: ") + readout::direction(l[0], l[1], l[2]));
    }
    if (ui->actionFrames->isChecked())
        labelFrames->setText(tr("Frames: ") + readout::framesPerSecond(view->framesPerSecond()));
    if (ui->actionObserverTime->isChecked())
        labelObserverTime->setText(readout::observerTime(doc->observerTime()));
    if (ui->actionCursorPosition->isChecked())
        labelCursorPos->setText(readout::pixel(view->cursorX(), view->cursorY()));
    if (ui->actionCursorDopplerEffect->isChecked())
        labelCursorDoppler->setText(tr("Doppler Effect at Cursor: ") +
                                    readout::factor(view->cursorDoppler()));
    if (ui->actionCursorRestingRayDirection->isChecked()) {
        const Vec4f d = view->cursorRestingDirection();
        labelCursorResting->setText(tr("Resting Direction at Cursor: ") +
                                    readout::direction(d[0], d[1], d[2]));
    }
    if (ui->actionCursorTransformedRayDirection->isChecked()) {
        const Vec4f d = view->cursorTransformedDirection();
        labelCursorTransformed->setText(tr("Transformed Direction at Cursor: ") +
                                        readout::direction(d[0], d[1], d[2]));
    }
    updateBrightnessLabel();
}

void MainWindow::slotViewPosition(bool vis) { labelPosition->setVisible(vis); }
void MainWindow::slotViewSpeed(bool vis) { labelSpeed->setVisible(vis); }
void MainWindow::slotViewDirection(bool vis) { labelLookat->setVisible(vis); }
void MainWindow::slotViewFrames(bool vis) { labelFrames->setVisible(vis); }
void MainWindow::slotCursorPosition(bool vis) { labelCursorPos->setVisible(vis); }
void MainWindow::slotCursorDopplerEffect(bool vis) { labelCursorDoppler->setVisible(vis); }
void MainWindow::slotCursorRestingRayDirection(bool vis) { labelCursorResting->setVisible(vis); }
void MainWindow::slotCursorTransformedRayDirection(bool vis) {
    labelCursorTransformed->setVisible(vis);
}
void MainWindow::slotCursorBrightness(bool) { updateBrightnessLabel(); }
void MainWindow::slotViewObserverTime(bool vis) {
    labelObserverTime->setVisible(vis);
    if (vis) labelObserverTime->setText(readout::observerTime(doc->observerTime()));
}
