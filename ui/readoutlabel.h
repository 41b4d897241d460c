// A status-bar read-out: a field of fixed width, so that changing values never move the other
// read-outs and never widen the window.
#pragma once

#include <QLabel>

class ReadoutLabel : public QLabel {
    Q_OBJECT
public:
    // widest: a text as wide as the read-out gets in use; the field is that wide when there is
    // room. GUI thread only.
    ReadoutLabel(const QString& text, const QString& widest, QWidget* parent);

    // The field's width whatever the text.
    QSize sizeHint() const override;
    // Small: with many read-outs on, the status bar narrows the fields instead of widening the
    // window.
    QSize minimumSizeHint() const override;
    int fieldWidth() const { return width_; }

protected:
    // Left-aligned text, cut with "..." when the field is narrower than the text; the whole text
    // is then the tool tip.
    void paintEvent(QPaintEvent* event) override;

private:
    int width_;
};
