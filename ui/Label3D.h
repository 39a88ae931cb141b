#pragma once

#include <QColor>
#include <QLabel>

namespace selvanix::ui {

// A label whose text face takes the inactive colour and, when raised, stands on a shadow in
// the font colour offset by the depth. The active and twinkle colours are kept for callers;
// the label never blinks. Its text is fitted into the label's band as a BandLabel's is.
class Label3D : public QLabel {
    Q_OBJECT
public:
    enum class Style { Flat, Raised };

    explicit Label3D(QWidget* parent = nullptr);

    void setStyle(Style style) {
        style_ = style;
        update();
    }
    void setShadowDepth(int depth) {
        depth_ = depth;
        update();
    }
    void setBackgroundColor(const QColor& color);
    void setFontColor(const QColor& color) {
        fontColor_ = color;
        update();
    }
    void setActiveColor(const QColor& color) {
        active_ = color;
        update();
    }
    void setInactiveColor(const QColor& color) {
        inactive_ = color;
        update();
    }
    void setTwinkleColor(const QColor& color) { twinkle_ = color; }

    QColor backgroundColor() const { return background_; }
    QColor fontColor() const { return fontColor_; }
    QColor faceColor() const { return inactive_; }
    QColor activeColor() const { return active_; }
    Style style() const { return style_; }
    int shadowDepth() const { return depth_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style style_ = Style::Flat;
    int depth_ = 2;
    QColor background_;
    QColor fontColor_;
    QColor active_;
    QColor inactive_;
    QColor twinkle_;
};

}  // namespace selvanix::ui
