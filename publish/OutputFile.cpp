#include "OutputFile.h"

#include <QFileInfo>

namespace selvanix::publish {

bool OutputFile::open() {
    std::optional<platform::StagedFile> staged = platform::StagedFile::beside(finalPath_);
    if (!staged) {
        return false;
    }
    staged_.emplace(std::move(*staged));
    return file_.open(staged_->file().descriptor(), QIODevice::ReadWrite,
                      QFileDevice::DontCloseHandle);
}

QString OutputFile::temporaryPath() const {
    return staged_
               ? QFileInfo(finalPath_).absolutePath() + u'/' + QFile::decodeName(staged_->name())
               : QString();
}

bool OutputFile::commit() {
    if (!staged_ || !file_.flush()) {
        return false;
    }
    file_.close();
    return staged_->commit();
}

}  // namespace selvanix::publish
