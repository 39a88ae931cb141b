#include "WidgetDialogs.h"

#include "platform/Paths.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace selvanix::ui {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;

namespace {

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Confirmation:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toQt(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return QMessageBox::Ok;
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::AbortRetryIgnore:
            return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        case MessageButtons::AbortIgnore:
            return QMessageBox::Abort | QMessageBox::Ignore;
        case MessageButtons::YesNoNoToAllYesToAll:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::NoToAll |
                   QMessageBox::YesToAll;
    }
    return QMessageBox::Ok;
}

MessageResult fromQt(int button) {
    switch (button) {
        case QMessageBox::Ok:
            return MessageResult::Ok;
        case QMessageBox::Abort:
            return MessageResult::Abort;
        case QMessageBox::Retry:
            return MessageResult::Retry;
        case QMessageBox::Ignore:
            return MessageResult::Ignore;
        case QMessageBox::Yes:
            return MessageResult::Yes;
        case QMessageBox::No:
            return MessageResult::No;
        case QMessageBox::NoToAll:
            return MessageResult::NoToAll;
        case QMessageBox::YesToAll:
            return MessageResult::YesToAll;
        default:
            return MessageResult::Cancel;
    }
}

}  // namespace

void WidgetDialogs::errorReport(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

MessageResult WidgetDialogs::message(const QString& caption, const QString& text, MessageIcon icon,
                                     MessageButtons buttons) {
    QMessageBox box(toQt(icon), caption, text, toQt(buttons), QApplication::activeWindow());
    return fromQt(box.exec());
}

std::optional<QString> WidgetDialogs::password(const QString& caption, const QString& label,
                                               int maxLength) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(label, &dialog));
    auto* edit = new QLineEdit(&dialog);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(maxLength);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return edit->text();
}

std::optional<QString> WidgetDialogs::browseFolder(const QString& caption,
                                                   const QString& startFolder) {
    const QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), caption,
                                                             platform::toHostPath(startFolder));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

}  // namespace selvanix::ui
