#include "StagedFile.h"

#include "platform/FolderHandle.h"

#include <sys/stat.h>
#include <QFileInfo>
#include <cstdio>

namespace selvanix::publish {

StagedFile::StagedFile(const QString& finalPath)
    : finalPath_(finalPath),
      file_(QFileInfo(finalPath).absolutePath() + QStringLiteral("/.") +
            QFileInfo(finalPath).fileName() + QStringLiteral(".XXXXXX")) {}

bool StagedFile::open() {
    return file_.open();
}

bool StagedFile::commit() {
    // A published file is read by the web server: the usual mode, not a temporary's 0600.
    if (!file_.flush() ||
        ::fchmod(file_.handle(), static_cast<mode_t>(0666 & ~platform::processUmask())) != 0) {
        return false;
    }
    // rename(2) replaces an existing file in one step; QFile::rename would refuse it.
    if (std::rename(QFile::encodeName(file_.fileName()).constData(),
                    QFile::encodeName(finalPath_).constData()) != 0) {
        return false;
    }
    file_.setAutoRemove(false);
    return true;
}

}  // namespace selvanix::publish
