#include "BitBtn.h"

#include <QStyle>

namespace selvanix::ui {

namespace {

QStyle::StandardPixmap pixmapOf(BitBtn::Glyph glyph) {
    switch (glyph) {
        case BitBtn::Glyph::Ok:
            return QStyle::SP_DialogOkButton;
        case BitBtn::Glyph::Cancel:
            return QStyle::SP_DialogCancelButton;
        case BitBtn::Glyph::No:
            return QStyle::SP_DialogNoButton;
        case BitBtn::Glyph::Close:
            break;
    }
    return QStyle::SP_DialogCloseButton;
}

}  // namespace

BitBtn::BitBtn(Glyph glyph, const QString& text, QWidget* parent)
    : QPushButton(text, parent), glyph_(glyph) {
    setIcon(style()->standardIcon(pixmapOf(glyph)));
    setAutoDefault(false);
}

}  // namespace selvanix::ui
