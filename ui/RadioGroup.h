#pragma once

#include <QButtonGroup>
#include <QFont>
#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <vector>

class QRadioButton;

namespace selvanix::ui {

// A framed group of radio items in columns. The picture chosen by the list index is drawn
// behind the items. `userChanged` fires only when the user makes another item the selected
// one; selecting from code and re-clicking the selected item fire nothing.
class RadioGroup : public QWidget {
    Q_OBJECT
public:
    explicit RadioGroup(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    void setCaptionFont(const QFont& font);
    void setCaptionColor(const QColor& color);
    QColor captionColor() const { return captionColor_; }
    void setItems(const QStringList& items);
    QStringList items() const;
    void setColumns(int columns);
    void setItemHeight(int height);
    void setItemFont(const QFont& font);

    int itemIndex() const;
    void setItemIndex(int index);  // silent
    QString selectedText() const;  // empty when nothing is selected
    QRadioButton* button(int index) const;

    void setPictures(std::vector<QPixmap> pictures);
    void setListIndex(int index);
    int listIndex() const { return listIndex_; }

signals:
    void userChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeButtons();
    void updateTabStop();
    int captionHeight() const;

    QString caption_;
    QFont captionFont_;
    QColor captionColor_;
    QFont itemFont_;
    int columns_ = 1;
    int itemHeight_ = 0;
    QButtonGroup group_;
    std::vector<QRadioButton*> buttons_;
    std::vector<QPixmap> pictures_;
    int listIndex_ = -1;
    bool silent_ = false;
};

}  // namespace selvanix::ui
