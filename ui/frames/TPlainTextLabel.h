#pragma once
// TPlainTextLabel: a QLabel for a short plain text that is rewritten at every poll (the graph
// tiles' values and times). It paints the text with the very call QLabel's own paint ends in
// for a frameless plain-text label (the same rectangle, alignment, font and colour, so the same
// pixels) but skips the frame and style-sheet steps that QLabel's paint takes first, which cost
// as much as the text itself. Whatever else a label may be (rich text, a frame, a margin or
// indent, a picture, word wrap, selectable text, a buddy, disabled) is painted by QLabel.
//
// Its style sheet may set the font and the colour only: a background or border given there would
// not be drawn. Main thread only, like every widget.

#include <QLabel>

class TPlainTextLabel : public QLabel {
    Q_OBJECT
public:
    explicit TPlainTextLabel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool PaintsItself() const;  // the plain text alone, as described above
};
