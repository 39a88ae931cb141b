#include "Accessibility.h"

#include "Label3D.h"

#include <QAccessibleWidget>

namespace selvanix::ui {

namespace {

// A banner line reads as its text. Without one it is only a coloured band: hidden from
// readers, as an empty label would otherwise be announced with no name.
class BannerAccessible : public QAccessibleWidget {
public:
    explicit BannerAccessible(Label3D* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return static_cast<const Label3D*>(widget())->text();
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (text(QAccessible::Name).isEmpty()) {
            s.invisible = true;
        }
        return s;
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (!object->isWidgetType()) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String(Label3D::staticMetaObject.className())) {
        return new BannerAccessible(static_cast<Label3D*>(widget));
    }
    // Asked for the most derived class first: a window of ours, never one of Qt's.
    if (className == QLatin1String(object->metaObject()->className()) &&
        className.startsWith(QLatin1String("selvanix::")) && widget->isWindow() &&
        !widget->inherits("QDialog") && !widget->inherits("QMainWindow")) {
        // A plain widget shown as a window would read as a "filler"; it is the program's frame.
        return new QAccessibleWidget(widget, QAccessible::Window);
    }
    return nullptr;
}

}  // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

}  // namespace selvanix::ui
