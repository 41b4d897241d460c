// The status bar's report on the frame loop: a progress bar for frames slow enough to be waited
// for, and a mark while the P key has paused the flight.
#pragma once

#include <QObject>

class QLabel;
class QProgressBar;
class QStatusBar;

class FrameStatus : public QObject {
    Q_OBJECT
public:
    // Adds both (hidden) to the left of the bar. GUI thread only.
    explicit FrameStatus(QStatusBar* bar);

    QProgressBar* progressBar() const { return progress; }
    QLabel* pausedLabel() const { return paused; }

public slots:
    // 0..100 shows the bar at that value; a negative value hides it (MainView::frameProgress).
    void setFrameProgress(int percent);
    void setPaused(bool on);

private:
    QProgressBar* progress;
    QLabel* paused;
};
