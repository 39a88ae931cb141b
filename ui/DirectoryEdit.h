#pragma once

#include <QLineEdit>

class QAction;

namespace selvanix::ui {

// A one-line folder field with a button that opens the folder browser (through the installed
// dialogs) and puts the chosen folder into the field; F4 or Alt+Down in the field opens it too.
class DirectoryEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DirectoryEdit(QWidget* parent = nullptr);
    QAction* browseAction() const { return browse_; }
    void browse();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QAction* browse_;
};

}  // namespace selvanix::ui
