#include "ListImage.h"

#include <QPainter>

namespace selvanix::ui {

ListImage::ListImage(QWidget* parent) : QWidget(parent) {}

void ListImage::setPictures(std::vector<QPixmap> pictures) {
    pictures_ = std::move(pictures);
    update();
}

void ListImage::setListIndex(int index) {
    listIndex_ = index;
    update();
}

void ListImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (autoFillBackground()) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
    }
    if (listIndex_ < 0 || listIndex_ >= static_cast<int>(pictures_.size())) {
        return;
    }
    const QPixmap& picture = pictures_[listIndex_];
    QSize size = picture.size();
    if (size.width() > width() || size.height() > height()) {
        size.scale(this->size(), Qt::KeepAspectRatio);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(
        QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size), picture);
}

}  // namespace selvanix::ui
