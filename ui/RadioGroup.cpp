#include "RadioGroup.h"

#include <QKeyEvent>
#include <QPainter>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>

namespace selvanix::ui {

namespace {

// An item is clickable over its whole cell, not only over its indicator and text.
class GroupItem : public QRadioButton {
public:
    GroupItem(const QString& text, QWidget* parent) : QRadioButton(text, parent) {}

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

RadioGroup::RadioGroup(QWidget* parent) : QWidget(parent), captionColor_(Qt::black) {
    group_.setExclusive(true);
    connect(&group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        updateTabStop();
        if (checked && !silent_) {
            emit userChanged();
        }
    });
}

// The arrows move to the item before or after (round the ends) and select it, as the user.
bool RadioGroup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    const int step = key == Qt::Key_Down || key == Qt::Key_Right ? 1
                     : key == Qt::Key_Up || key == Qt::Key_Left  ? -1
                                                                 : 0;
    const auto at = std::find(buttons_.begin(), buttons_.end(), watched);
    if (step == 0 || at == buttons_.end()) {
        return false;
    }
    const auto count = static_cast<int>(buttons_.size());
    QRadioButton* next = buttons_[static_cast<std::size_t>(
        (static_cast<int>(at - buttons_.begin()) + step + count) % count)];
    next->setChecked(true);
    next->setFocus(Qt::TabFocusReason);
    return true;
}

// One stop in the Tab order, the selected item (the first when none is): Tab lands on the
// checked product, and the arrow keys move within the group.
void RadioGroup::updateTabStop() {
    const QAbstractButton* checked = group_.checkedButton();
    for (QRadioButton* b : buttons_) {
        const bool stop = checked ? b == checked : b == buttons_.front();
        b->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void RadioGroup::setCaption(const QString& caption) {
    caption_ = caption;
    setAccessibleName(caption);  // painted, so a screen reader would not find it
    placeButtons();
    update();
}

void RadioGroup::setCaptionFont(const QFont& font) {
    captionFont_ = font;
    placeButtons();
    update();
}

void RadioGroup::setCaptionColor(const QColor& color) {
    captionColor_ = color;
    update();
}

void RadioGroup::setItems(const QStringList& items) {
    for (QRadioButton* b : buttons_) {
        group_.removeButton(b);
        delete b;
    }
    buttons_.clear();
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new GroupItem(items[i], this);
        b->setFont(itemFont_);
        b->setAttribute(Qt::WA_TranslucentBackground);
        b->setAutoFillBackground(false);
        group_.addButton(b, i);
        b->installEventFilter(this);
        buttons_.push_back(b);
        b->show();
    }
    updateTabStop();
    placeButtons();
}

QStringList RadioGroup::items() const {
    QStringList result;
    for (const QRadioButton* b : buttons_) {
        result << b->text();
    }
    return result;
}

void RadioGroup::setColumns(int columns) {
    columns_ = std::max(1, columns);
    placeButtons();
}

void RadioGroup::setItemHeight(int height) {
    itemHeight_ = height;
    placeButtons();
}

void RadioGroup::setItemFont(const QFont& font) {
    itemFont_ = font;
    for (QRadioButton* b : buttons_) {
        b->setFont(font);
    }
    placeButtons();
}

int RadioGroup::itemIndex() const {
    return group_.checkedId();
}

void RadioGroup::setItemIndex(int index) {
    silent_ = true;
    if (index >= 0 && index < static_cast<int>(buttons_.size())) {
        buttons_[index]->setChecked(true);
    } else if (QAbstractButton* checked = group_.checkedButton()) {
        group_.setExclusive(false);
        checked->setChecked(false);
        group_.setExclusive(true);
    }
    silent_ = false;
}

QString RadioGroup::selectedText() const {
    const QAbstractButton* checked = group_.checkedButton();
    return checked ? checked->text() : QString();
}

QRadioButton* RadioGroup::button(int index) const {
    return index >= 0 && index < static_cast<int>(buttons_.size()) ? buttons_[index] : nullptr;
}

void RadioGroup::setPictures(std::vector<QPixmap> pictures) {
    pictures_ = std::move(pictures);
    update();
}

void RadioGroup::setListIndex(int index) {
    listIndex_ = index;
    update();
}

int RadioGroup::captionHeight() const {
    return QFontMetrics(captionFont_).height();
}

void RadioGroup::placeButtons() {
    if (buttons_.empty()) {
        return;
    }
    const int top = captionHeight() + 2;
    const int count = static_cast<int>(buttons_.size());
    const int rows = (count + columns_ - 1) / columns_;
    const int innerWidth = std::max(1, width() - 12);
    const int columnWidth = innerWidth / columns_;
    const int rowHeight =
        itemHeight_ > 0 ? itemHeight_ : std::max(1, (height() - top - 6) / std::max(1, rows));
    // Items run down the first column, then down the next.
    for (int i = 0; i < count; ++i) {
        const int column = i / rows;
        const int row = i % rows;
        buttons_[i]->setGeometry(6 + column * columnWidth, top + row * rowHeight, columnWidth,
                                 rowHeight);
    }
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeButtons();
}

void RadioGroup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (autoFillBackground()) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
    }
    const int half = captionHeight() / 2;
    if (listIndex_ >= 0 && listIndex_ < static_cast<int>(pictures_.size())) {
        const QPixmap& picture = pictures_[listIndex_];
        const QRect frame = rect().adjusted(2, half + 2, -2, -2);
        const QSize size = picture.size().scaled(frame.size(), Qt::KeepAspectRatio);
        const QRect target(frame.center().x() - size.width() / 2 + 1,
                           frame.center().y() - size.height() / 2 + 1, size.width(), size.height());
        // Faded, so the items stay readable over it.
        painter.setOpacity(0.45);
        painter.drawPixmap(target, picture);
        painter.setOpacity(1.0);
    }
    // Etched frame broken by the caption, as a classic group box draws it.
    const QRect box = rect().adjusted(0, half, -1, -1);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(box.adjusted(1, 1, 0, 0));
    if (!caption_.isEmpty()) {
        painter.setFont(captionFont_);
        const QFontMetrics metrics(captionFont_);
        const QRect text(8, 0, metrics.horizontalAdvance(caption_) + 4, metrics.height());
        painter.fillRect(text, palette().color(QPalette::Window));
        painter.setPen(captionColor_);
        painter.drawText(text, Qt::AlignCenter, caption_);
    }
}

}  // namespace selvanix::ui
