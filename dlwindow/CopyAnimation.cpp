#include "CopyAnimation.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace selvanix::dlwindow {

namespace {

constexpr int kFrameMs = 60;
const QColor kFolderFace(0xF5, 0xD0, 0x6A);
const QColor kFolderEdge(0xB8, 0x8A, 0x1E);

void drawFolder(QPainter& p, const QRectF& box, bool open) {
    QPainterPath back;
    back.moveTo(box.left(), box.top() + 6);
    back.lineTo(box.left() + box.width() * 0.35, box.top() + 6);
    back.lineTo(box.left() + box.width() * 0.42, box.top());
    back.lineTo(box.right(), box.top());
    back.lineTo(box.right(), box.bottom());
    back.lineTo(box.left(), box.bottom());
    back.closeSubpath();
    p.setPen(QPen(kFolderEdge, 1));
    p.setBrush(kFolderFace.darker(110));
    p.drawPath(back);
    const qreal lift = open ? 8 : 0;
    QPolygonF front;
    front << QPointF(box.left() + lift, box.top() + 12)
          << QPointF(box.right() + lift, box.top() + 12) << QPointF(box.right(), box.bottom())
          << QPointF(box.left(), box.bottom());
    p.setBrush(kFolderFace);
    p.drawPolygon(front);
}

void drawSheet(QPainter& p, const QPointF& centre, qreal angle) {
    p.save();
    p.translate(centre);
    p.rotate(angle);
    const QRectF sheet(-8, -10, 16, 20);
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.setBrush(Qt::white);
    p.drawRect(sheet);
    p.setPen(QPen(QColor(0x40, 0x60, 0xB0), 1));
    for (int line = 0; line < 4; ++line) {
        const qreal y = sheet.top() + 5 + line * 3.5;
        p.drawLine(QPointF(sheet.left() + 3, y), QPointF(sheet.right() - 3, y));
    }
    p.restore();
}

// The animation only shows that the download moves, as the bar below it says in numbers: screen
// readers pass it by rather than announce a nameless picture.
class DecorationAccessible : public QAccessibleWidget {
public:
    explicit DecorationAccessible(QWidget* widget) : QAccessibleWidget(widget) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        return s;
    }
};

QAccessibleInterface* decorationFactory(const QString& className, QObject* object) {
    return className == QLatin1String(CopyAnimation::staticMetaObject.className())
               ? new DecorationAccessible(static_cast<QWidget*>(object))
               : nullptr;
}

}  // namespace

CopyAnimation::CopyAnimation(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(decorationFactory);
        return true;
    }();
    (void)factoryInstalled;
    timer_.setInterval(kFrameMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % (StopFrame + 1);
        update();
    });
}

void CopyAnimation::setActive(bool active) {
    if (active) {
        timer_.start();
    } else {
        timer_.stop();
        frame_ = 0;
    }
    update();
}

void CopyAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().window());
    const qreal h = height();
    const QRectF from(20, h - 40, 48, 34);
    const QRectF to(width() - 68, h - 40, 48, 34);
    drawFolder(p, from, true);
    drawFolder(p, to, true);
    if (timer_.isActive()) {
        const qreal t = static_cast<qreal>(frame_) / StopFrame;
        const qreal x = from.center().x() + (to.center().x() - from.center().x()) * t;
        const qreal y = from.center().y() - 6 - std::sin(t * M_PI) * 14;
        drawSheet(p, QPointF(x, y), -20 + 40 * t);
    }
}

}  // namespace selvanix::dlwindow
