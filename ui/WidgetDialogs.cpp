#include "WidgetDialogs.h"

#include "platform/FileOps.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

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
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
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
    // Laid out in dialog units: a quarter of the average letter width, an eighth of the height.
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    const QFontMetricsF metrics(dialog.font());
    const double letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const double ux = letters / 52 / 4;
    const double uy = metrics.height() / 8;
    const auto box = [&](double x, double y, double w, double h) {
        return QRect(qRound(x * ux), qRound(y * uy), qRound(w * ux), qRound(h * uy));
    };
    dialog.setFixedSize(qRound(180 * ux), qRound(63 * uy));
    auto* text = new QLabel(label, &dialog);
    text->move(box(8, 8, 0, 0).topLeft());
    text->adjustSize();
    auto* edit = new QLineEdit(&dialog);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(maxLength);
    edit->setGeometry(box(8, 19, 164, 12));
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setGeometry(box(38, 41, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
    cancel->setGeometry(box(92, 41, 50, 14));
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    edit->setFocus();
    if (const QScreen* screen = dialog.screen()) {
        dialog.move(screen->geometry().center() - dialog.rect().center());
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return edit->text();
}

std::optional<QString> WidgetDialogs::browseFolder(const QString& caption,
                                                   const QString& startFolder) {
    const QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), caption,
                                                             browseStart(startFolder));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

QString browseStart(const QString& fieldText) {
    QString folder = platform::toHostPath(fieldText.trimmed());
    while (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        folder = parent == folder || !QDir::isAbsolutePath(folder) ? QString() : parent;
    }
    return folder.isEmpty() ? platform::toHostPath(platform::installerFolder()) : folder;
}

}  // namespace selvanix::ui
