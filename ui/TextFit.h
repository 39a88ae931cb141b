#pragma once

#include <QFont>
#include <QPointF>
#include <QRect>
#include <QString>

namespace selvanix::ui {

// A one-line text placed in a band: the font to draw with, where its baseline starts, and the
// text itself (elided in the middle only when nothing else fits).
struct FittedLine {
    QFont font;
    QPointF origin;
    QString text;
};

// Keeps the text's ink (with a shadow of `shadow` pixels right and down) one pixel inside the
// band, which keeps its size: first by moving the baseline, then with a smaller font, one pixel
// at a time, down to two thirds of the given size.
FittedLine fitLine(const QFont& font, const QString& text, const QRect& band,
                   Qt::Alignment alignment, int shadow = 0);

}  // namespace selvanix::ui
