#include "Label3D.h"

#include "Look.h"
#include "TextFit.h"

#include <QPainter>

namespace selvanix::ui {

Label3D::Label3D(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
    background_ = palette().color(QPalette::Window);
    fontColor_ = inactive_ = active_ = twinkle_ = palette().color(QPalette::WindowText);
}

void Label3D::setBackgroundColor(const QColor& color) {
    background_ = color;
    setBackground(this, color);
    update();
}

void Label3D::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    const int shadow = style_ == Style::Raised ? depth_ : 0;
    const FittedLine line = fitLine(font(), text(), contentsRect(), alignment(), shadow);
    painter.setFont(line.font);
    if (shadow > 0) {
        painter.setPen(fontColor_);
        painter.drawText(line.origin + QPointF(shadow, shadow), line.text);
    }
    painter.setPen(faceColor());
    painter.drawText(line.origin, line.text);
}

}  // namespace selvanix::ui
