#include "TextFit.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>

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
    // Where the toolkit would put the text, moved only as far as the ink needs.
    const QFontMetricsF metrics(font);
    const double advance = metrics.horizontalAdvance(text);
    double x = band.left();
    if (alignment & Qt::AlignRight) {
        x = band.right() + 1 - advance;
    } else if (alignment & Qt::AlignHCenter) {
        x = band.left() + (band.width() - advance) / 2;
    }
    double y = band.top() + metrics.ascent();
    if (alignment & Qt::AlignBottom) {
        y = band.bottom() + 1 - metrics.descent();
    } else if (alignment & Qt::AlignVCenter) {
        y = band.top() + (band.height() - metrics.ascent() - metrics.descent()) / 2 +
            metrics.ascent();
    }
    const auto within = [](double at, double low, double high) {
        return std::clamp(at, low, std::max(low, high));
    };
    x = within(x, inner.left() - ink.left(), inner.right() - ink.right());
    y = within(y, inner.top() - ink.top(), inner.bottom() - ink.bottom());
    return {font, QPointF(x, y), text};
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
