#include "ProductPictures.h"

#include "engine/ProductTable.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <numbers>

namespace selvanix {

namespace {

struct Palette {
    QColor light;
    QColor dark;
};

// One hue per product, in picture-index order.
const std::array<Palette, 7> kPalettes{{
    {QColor(0x8E, 0xD1, 0xF0), QColor(0x1B, 0x4F, 0x8A)},  // water blue
    {QColor(0xFF, 0xD5, 0x8A), QColor(0xC0, 0x50, 0x14)},  // sunset orange
    {QColor(0xB8, 0xE6, 0x9A), QColor(0x2F, 0x6B, 0x2A)},  // leaf green
    {QColor(0xD9, 0xC2, 0xF2), QColor(0x54, 0x2C, 0x8C)},  // violet
    {QColor(0xF6, 0xB0, 0xA8), QColor(0x8E, 0x1F, 0x2A)},  // brick red
    {QColor(0xFA, 0xE7, 0x9C), QColor(0x8A, 0x66, 0x0E)},  // honey
    {QColor(0xC9, 0xD6, 0xDE), QColor(0x2E, 0x3E, 0x4C)},  // slate
}};

void drawWaves(QPainter& p) {
    for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        const double y = 92 + i * 22;
        wave.moveTo(30, y);
        for (int k = 0; k < 4; ++k) {
            wave.cubicTo(30 + k * 35 + 12, y - 14, 30 + k * 35 + 23, y + 14, 30 + (k + 1) * 35, y);
        }
        p.setPen(QPen(QColor(255, 255, 255, 230 - i * 40), 7, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(wave);
    }
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(138, 58), 14, 14);  // a moon over the water
}

void drawSun(QPainter& p) {
    p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        const double a = i * std::numbers::pi / 6;
        p.drawLine(QPointF(100 + 44 * std::cos(a), 92 + 44 * std::sin(a)),
                   QPointF(100 + 62 * std::cos(a), 92 + 62 * std::sin(a)));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(100, 92), 34, 34);
}

void drawLeaf(QPainter& p) {
    QPainterPath leaf;
    leaf.moveTo(52, 140);
    leaf.cubicTo(40, 70, 110, 30, 158, 40);
    leaf.cubicTo(160, 96, 118, 152, 52, 140);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawPath(leaf);
    p.setPen(QPen(kPalettes[2].dark, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(58, 134), QPointF(150, 48));
    for (int i = 1; i < 4; ++i) {
        const QPointF base(58 + i * 23, 134 - i * 21.5);
        p.drawLine(base, base + QPointF(-4, -24));
        p.drawLine(base, base + QPointF(22, 6));
    }
}

void drawStar(QPainter& p) {
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double a = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const double r = i % 2 == 0 ? 62 : 26;
        star << QPointF(100 + r * std::cos(a), 94 + r * std::sin(a));
    }
    p.setPen(QPen(QColor(255, 255, 255, 120), 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPolygon(star);
}

void drawMountains(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawPolygon(QPolygonF{QPointF(20, 150), QPointF(78, 62), QPointF(126, 150)});
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF{QPointF(62, 150), QPointF(122, 40), QPointF(182, 150)});
    p.setBrush(kPalettes[4].dark);
    p.drawPolygon(
        QPolygonF{QPointF(122, 40), QPointF(106, 70), QPointF(122, 62), QPointF(138, 70)});
}

void drawHoneycomb(QPainter& p) {
    const auto hexagon = [](QPointF c, double r) {
        QPolygonF h;
        for (int i = 0; i < 6; ++i) {
            const double a = std::numbers::pi / 6 + i * std::numbers::pi / 3;
            h << c + QPointF(r * std::cos(a), r * std::sin(a));
        }
        return h;
    };
    p.setPen(QPen(kPalettes[5].dark, 3));
    const double r = 24;
    const double w = r * std::sqrt(3.0);
    const QPointF centres[] = {{100, 94},         {100 - w, 94},     {100 + w, 94},
                               {100 - w / 2, 58}, {100 + w / 2, 58}, {100 - w / 2, 130},
                               {100 + w / 2, 130}};
    int i = 0;
    for (const QPointF& c : centres) {
        p.setBrush(i++ == 0 ? QColor(Qt::white) : QColor(255, 255, 255, 170));
        p.drawPolygon(hexagon(c, r - 1));
    }
}

void drawSpiral(QPainter& p) {
    QPainterPath spiral;
    for (int i = 0; i <= 360; ++i) {
        const double a = i * std::numbers::pi / 60;
        const double r = 4 + i * 0.17;
        const QPointF pt(100 + r * std::cos(a), 92 + r * std::sin(a));
        i == 0 ? spiral.moveTo(pt) : spiral.lineTo(pt);
    }
    p.setPen(QPen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(spiral);
}

}  // namespace

QImage productPicture(int pictureIndex) {
    QImage image(kPictureSize, kPictureSize, QImage::Format_RGB888);
    const Palette& colors = kPalettes.at(pictureIndex);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QRadialGradient background(QPointF(70, 50), 230);
    background.setColorAt(0, colors.light);
    background.setColorAt(1, colors.dark);
    p.fillRect(image.rect(), background);

    // A soft disc behind the emblem.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawEllipse(QPointF(100, 92), 80, 80);

    switch (pictureIndex) {
        case 0:
            drawWaves(p);
            break;
        case 1:
            drawSun(p);
            break;
        case 2:
            drawLeaf(p);
            break;
        case 3:
            drawStar(p);
            break;
        case 4:
            drawMountains(p);
            break;
        case 5:
            drawHoneycomb(p);
            break;
        default:
            drawSpiral(p);
            break;
    }

    // The product's name along the bottom.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(19);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(font);
    const QString name = QString::fromUtf16(kProducts.at(pictureIndex).bannerName);
    const QRect band(0, 160, kPictureSize, 34);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(band.translated(1, 1), Qt::AlignCenter, name);
    p.setPen(Qt::white);
    p.drawText(band, Qt::AlignCenter, name);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 110), 2));
    p.drawRoundedRect(QRectF(5, 5, kPictureSize - 10, kPictureSize - 10), 14, 14);
    return image;
}

std::vector<QPixmap> productPictures() {
    std::vector<QPixmap> pictures;
    for (int i = 0; i < static_cast<int>(kProducts.size()); ++i) {
        pictures.push_back(QPixmap::fromImage(productPicture(i)));
    }
    return pictures;
}

}  // namespace selvanix
