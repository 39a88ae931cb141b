#include "TextFit.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace selvanix::ui {

namespace {

constexpr int kMargin = 1;

// The outline's extent, not the font's: accents and descenders count exactly.
QRectF inkOf(const QFont& font, const QString& text, int shadow) {
    QPainterPath path;
    path.addText(0, 0, font, text);
    return path.boundingRect().adjusted(0, 0, shadow, shadow);
}

FittedLine place(const QFont& font, const QString& text, const QRectF& ink, const QRect& band,
                 Qt::Alignment alignment) {
    const QRectF inner = QRectF(band).adjusted(kMargin, kMargin, -kMargin, -kMargin);
    double x = 0;
    if (alignment & Qt::AlignRight) {
        x = inner.right() - ink.right();
    } else if (alignment & Qt::AlignHCenter) {
        x = inner.center().x() - ink.center().x();
    } else {
        x = inner.left() - ink.left();
    }
    // Where the toolkit would put the baseline, moved only as far as the ink needs.
    const QFontMetricsF metrics(font);
    double y = band.top() + metrics.ascent();
    if (alignment & Qt::AlignBottom) {
        y = band.bottom() + 1 - metrics.descent();
    } else if (alignment & Qt::AlignVCenter) {
        y = band.top() + (band.height() - metrics.ascent() - metrics.descent()) / 2 +
            metrics.ascent();
    }
    y = std::clamp(y, inner.top() - ink.top(),
                   std::max(inner.top() - ink.top(), inner.bottom() - ink.bottom()));
    return {font, QPointF(std::round(x), std::round(y)), text};
}

bool fits(const QRectF& ink, const QRect& band) {
    return ink.width() <= band.width() - 2 * kMargin && ink.height() <= band.height() - 2 * kMargin;
}

}  // namespace

FittedLine fitLine(const QFont& font, const QString& text, const QRect& band,
                   Qt::Alignment alignment, int shadow) {
    const double size = font.pixelSize() > 0 ? font.pixelSize() : QFontMetricsF(font).height();
    const int smallest = std::max(6, static_cast<int>(size * 2 / 3));
    QFont f = font;
    for (int px = static_cast<int>(size); px >= smallest; --px) {
        f.setPixelSize(px);
        const QRectF ink = inkOf(f, text, shadow);
        if (fits(ink, band)) {
            return place(f, text, ink, band, alignment);
        }
    }
    f.setPixelSize(smallest);
    const QString elided =
        QFontMetricsF(f).elidedText(text, Qt::ElideMiddle, band.width() - 2 * kMargin - shadow);
    return place(f, elided, inkOf(f, elided, shadow), band, alignment);
}

}  // namespace selvanix::ui
