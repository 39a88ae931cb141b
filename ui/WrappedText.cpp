#include "WrappedText.h"

#include <QLabel>
#include <QResizeEvent>
#include <QScrollBar>

namespace selvanix::ui {

WrappedText::WrappedText(QWidget* parent, const char* labelName)
    : QScrollArea(parent), label_(new QLabel(this)) {
    label_->setObjectName(QString::fromLatin1(labelName));
    label_->setWordWrap(true);
    // A folder's or a server's name in the text is shown as written, never read as markup.
    label_->setTextFormat(Qt::PlainText);
    label_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(true);
    setWidget(label_);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void WrappedText::setText(const QString& text) {
    label_->setText(text);
    updateGeometry();
}

QSize WrappedText::sizeHint() const {
    const int width = std::max(viewport()->width(), 1);
    return {width, label_->heightForWidth(width)};
}

QSize WrappedText::minimumSizeHint() const {
    // One line at least; the rest scrolls.
    return {0, std::min(label_->fontMetrics().lineSpacing() + 4, sizeHint().height())};
}

void WrappedText::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    // Another width wraps the text onto another number of lines.
    if (event->oldSize().width() != event->size().width()) {
        updateGeometry();
    }
}

}  // namespace selvanix::ui
