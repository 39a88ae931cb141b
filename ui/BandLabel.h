#pragma once

#include <QLabel>

namespace selvanix::ui {

// A one-line label of a fixed band: its text is fitted into the band (see fitLine) rather than
// cut, in the palette's text colour, and never widens its window.
class BandLabel : public QLabel {
    Q_OBJECT
public:
    explicit BandLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace selvanix::ui
