#pragma once

#include <QTimer>
#include <QWidget>

namespace selvanix::dlwindow {

// A sheet of paper flying from one folder to another, in StopFrame + 1 frames.
class CopyAnimation : public QWidget {
    Q_OBJECT
public:
    static constexpr int StopFrame = 20;

    explicit CopyAnimation(QWidget* parent = nullptr);

    void setActive(bool active);
    bool active() const { return timer_.isActive(); }
    int frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int frame_ = 0;
};

}  // namespace selvanix::dlwindow
