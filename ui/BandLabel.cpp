#include "BandLabel.h"

#include "TextFit.h"

#include <QPainter>

namespace selvanix::ui {

BandLabel::BandLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

void BandLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const FittedLine line = fitLine(font(), text(), contentsRect(), alignment());
    painter.setFont(line.font);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(line.origin, line.text);
}

}  // namespace selvanix::ui
