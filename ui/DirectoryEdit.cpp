#include "DirectoryEdit.h"

#include "platform/Dialogs.h"

#include <QAction>
#include <QStyle>

namespace selvanix::ui {

DirectoryEdit::DirectoryEdit(QWidget* parent)
    : QLineEdit(parent),
      browse_(
          addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition)) {
    browse_->setToolTip(QStringLiteral("Vybrat adresář"));
    connect(browse_, &QAction::triggered, this, &DirectoryEdit::browse);
}

void DirectoryEdit::browse() {
    if (const auto chosen =
            platform::dialogs().browseFolder(QStringLiteral("Vyberte adresář"), text())) {
        setText(*chosen);
    }
}

}  // namespace selvanix::ui
