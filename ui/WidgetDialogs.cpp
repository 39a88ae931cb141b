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
#include <algorithm>

namespace selvanix::ui {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;

namespace {

// The window a dialog belongs to: the active one, else the application's visible top-level
// window, so that a dialog never opens far from the window it speaks for.
QWidget* owner() {
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->isWindow() && !top->inherits("QMenu")) {
            return top;
        }
    }
    return nullptr;
}

// Moves a dialog over its owner's centre when it is shown (its size is known then), kept
// on the owner's screen.
// Centres the dialog on its owner's window as it is shown. A window manager frames a dialog
// only after that and keeps its inside where it was put: until then the dialog is taken to get
// the frame its owner has.
class CentredOnOwner : public QObject {
public:
    explicit CentredOnOwner(QWidget& dialog) : QObject(&dialog), dialog_(dialog) {
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QWidget* parent = dialog_.parentWidget();
        if (watched == &dialog_ && event->type() == QEvent::Show && parent) {
            const QWidget* window = parent->window();
            const bool framed = dialog_.frameGeometry().size() != dialog_.size();
            const QMargins frame =
                framed ? QMargins()
                       : QMargins(window->geometry().left() - window->frameGeometry().left(),
                                  window->geometry().top() - window->frameGeometry().top(),
                                  window->frameGeometry().right() - window->geometry().right(),
                                  window->frameGeometry().bottom() - window->geometry().bottom());
            QRect place(QPoint(0, 0), dialog_.frameGeometry().size().grownBy(frame));
            place.moveCenter(window->frameGeometry().center());
            if (const QScreen* screen = window->screen()) {
                const QRect room = screen->availableGeometry();
                place.moveLeft(std::clamp(place.left(), room.left(),
                                          std::max(room.left(), room.right() - place.width())));
                place.moveTop(std::clamp(place.top(), room.top(),
                                         std::max(room.top(), room.bottom() - place.height())));
            }
            dialog_.move(place.topLeft() + QPoint(frame.left(), frame.top()));
        }
        return false;
    }

private:
    QWidget& dialog_;
};

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

QString iconName(QMessageBox::Icon icon) {
    switch (icon) {
        case QMessageBox::Critical:
            return QStringLiteral("Chyba");
        case QMessageBox::Warning:
            return QStringLiteral("Upozornění");
        case QMessageBox::Information:
            return QStringLiteral("Informace");
        case QMessageBox::Question:
            return QStringLiteral("Otázka");
        case QMessageBox::NoIcon:
            break;
    }
    return {};
}

// The box's icon tells what kind of message it is; a screen reader says so in words.
void nameIcon(QMessageBox& box) {
    if (auto* icon = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"))) {
        icon->setAccessibleName(iconName(box.icon()));
    }
}

}  // namespace

void WidgetDialogs::errorReport(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, owner());
    nameIcon(box);
    new CentredOnOwner(box);
    box.exec();
}

MessageResult WidgetDialogs::message(const QString& caption, const QString& text, MessageIcon icon,
                                     MessageButtons buttons) {
    QMessageBox box(toQt(icon), caption, text, toQt(buttons), owner());
    nameIcon(box);
    new CentredOnOwner(box);
    return fromQt(box.exec());
}

// Our buttons are named here, not by Qt's translation, which follows the locale; a stray Return
// or Escape answers no.
bool WidgetDialogs::confirm(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, owner());
    const QAbstractButton* yes = box.addButton(QStringLiteral("Ano"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Ne"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    nameIcon(box);
    new CentredOnOwner(box);
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<QString> WidgetDialogs::password(const QString& caption, const QString& label,
                                               int maxLength) {
    // Laid out in dialog units: a quarter of the average letter width, an eighth of the height.
    QDialog dialog(owner());
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
    if (dialog.parentWidget()) {
        new CentredOnOwner(dialog);
    } else if (const QScreen* screen = dialog.screen()) {
        dialog.move(screen->geometry().center() - dialog.rect().center());
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return edit->text();
}

std::optional<QString> WidgetDialogs::browseFolder(const QString& caption,
                                                   const QString& startFolder) {
    QFileDialog dialog(owner(), caption, browseStart(startFolder));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    new CentredOnOwner(dialog);
    const QString chosen =
        dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
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
