// Frame progress and the pause mark in the status bar.
//
// Both sit on the left, in the space the bar keeps for its own messages, with fixed widths: they
// come and go while flying and must never push the read-outs on the right about or widen the
// window.
#include "ui/framestatus.h"

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <algorithm>

namespace {
constexpr int kProgressWidthEm = 10;  // progress bar width in widths of "M"
}  // namespace

FrameStatus::FrameStatus(QStatusBar* bar)
    : QObject(bar), progress(new QProgressBar(bar)), paused(new QLabel(bar)) {
    paused->setObjectName(QStringLiteral("labelPaused"));
    paused->setText(tr("Paused (P)"));
    paused->setToolTip(tr("The flight is paused; press P in a view to fly on."));
    paused->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; padding: 0 6px; }"));
    paused->setFixedWidth(paused->sizeHint().width());
    paused->hide();

    progress->setObjectName(QStringLiteral("frameProgress"));
    progress->setRange(0, 100);
    progress->setFormat(tr("Frame %p%"));
    progress->setToolTip(tr("Progress of the frame being rendered"));
    progress->setFixedWidth(progress->fontMetrics().horizontalAdvance(QLatin1Char('M')) *
                            kProgressWidthEm);
    progress->hide();

    bar->addWidget(paused, 0);
    bar->addWidget(progress, 0);
}

void FrameStatus::setFrameProgress(int percent) {
    if (percent < 0) {
        progress->hide();
        return;
    }
    progress->setValue(std::min(percent, 100));
    if (progress->isHidden()) progress->show();
}

void FrameStatus::setPaused(bool on) { paused->setVisible(on); }
