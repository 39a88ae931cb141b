#pragma once

#include <QPixmap>
#include <QWidget>
#include <vector>

namespace selvanix::ui {

// Shows one picture of a picture list, chosen by the list index, centred and scaled down to
// fit when the widget is smaller.
class ListImage : public QWidget {
    Q_OBJECT
public:
    explicit ListImage(QWidget* parent = nullptr);
    void setPictures(std::vector<QPixmap> pictures);
    void setListIndex(int index);
    int listIndex() const { return listIndex_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<QPixmap> pictures_;
    int listIndex_ = -1;
};

}  // namespace selvanix::ui
