#include "Label3D.h"

#include "Look.h"

#include <QPainter>

namespace selvanix::ui {

Label3D::Label3D(QWidget* parent) : QLabel(parent) {
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
    painter.setFont(font());
    const QRect area = contentsRect();
    const int flags = static_cast<int>(alignment()) | Qt::TextSingleLine;
    if (style_ == Style::Raised) {
        painter.setPen(fontColor_);
        painter.drawText(area.translated(depth_, depth_), flags, text());
    }
    painter.setPen(faceColor());
    painter.drawText(area, flags, text());
}

}  // namespace selvanix::ui
