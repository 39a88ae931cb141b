#pragma once

#include <QPushButton>

namespace selvanix::ui {

// A push button with one of the stock glyphs.
class BitBtn : public QPushButton {
    Q_OBJECT
public:
    enum class Glyph { Ok, Cancel, No, Close };
    BitBtn(Glyph glyph, const QString& text, QWidget* parent = nullptr);
    Glyph glyph() const { return glyph_; }

private:
    Glyph glyph_;
};

}  // namespace selvanix::ui
