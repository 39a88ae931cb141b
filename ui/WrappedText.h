#pragma once

#include <QScrollArea>

class QLabel;

namespace selvanix::ui {

// A text that wraps onto as many lines as it needs and scrolls up and down when the room is
// short: never elided, never shrunk, never wider than its place. It asks the layout for the
// height of its text at its width, and takes less when that is all there is.
class WrappedText : public QScrollArea {
    Q_OBJECT
public:
    // The label is named labelName, so it is found like the window's other lines.
    WrappedText(QWidget* parent, const char* labelName);

    QLabel* label() const { return label_; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* label_;
};

}  // namespace selvanix::ui
