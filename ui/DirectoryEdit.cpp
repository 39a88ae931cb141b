#include "DirectoryEdit.h"

#include "platform/Dialogs.h"

#include <QAction>
#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>

namespace selvanix::ui {

DirectoryEdit::DirectoryEdit(QWidget* parent)
    : QLineEdit(parent),
      browse_(
          addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition)) {
    browse_->setToolTip(QStringLiteral("Vybrat adresář (F4)"));
    connect(browse_, &QAction::triggered, this, &DirectoryEdit::browse);
    setAccessibleDescription(QStringLiteral("F4 vybere adresář"));
    for (QToolButton* button : findChildren<QToolButton*>()) {
        button->setAccessibleName(QStringLiteral("Vybrat adresář"));
    }
}

// The button takes no focus, so the keyboard opens the browser from the field.
void DirectoryEdit::keyPressEvent(QKeyEvent* event) {
    const bool browseKey = (event->key() == Qt::Key_F4 && event->modifiers() == Qt::NoModifier) ||
                           (event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier);
    if (browseKey) {
        browse();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void DirectoryEdit::browse() {
    if (const auto chosen =
            platform::dialogs().browseFolder(QStringLiteral("Vyberte adresář"), text())) {
        setText(*chosen);
    }
}

}  // namespace selvanix::ui
