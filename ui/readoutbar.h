// The row of status-bar read-outs: every visible read-out gets its full field width when there
// is room, and when there is not, every field shrinks by the same ratio (the texts are cut with
// "..."). The row never asks for more than the window has.
#pragma once

#include <QWidget>

class QHBoxLayout;
class ReadoutLabel;

class ReadoutBar : public QWidget {
    Q_OBJECT
public:
    explicit ReadoutBar(QWidget* parent);

    // Adds a read-out at the right end; it may be hidden and shown later. GUI thread only.
    void addReadout(ReadoutLabel* label);

    // The sum of the visible fields' widths.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHBoxLayout* row;
};
