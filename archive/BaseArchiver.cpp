#include "BaseArchiver.h"

#include "ArcException.h"
#include "Inflater.h"

namespace selvanix {

TArcBaseArchiver::TArcBaseArchiver(QString name) : Name(std::move(name)) {}

TArcBaseArchiver::~TArcBaseArchiver() = default;

void TArcBaseArchiver::openStream(ArchiveStream stream) {
    closeStream();
    stream_.emplace(std::move(stream));
    auto dir = std::make_unique<TArcDirManager>(
        *stream_, TArcDirManager::Options{OEMFileNames, OpenCorruptedArchives});
    try {
        dir->LoadDir();
    } catch (...) {
        stream_.reset();
        throw;
    }
    dir_ = std::move(dir);
}

void TArcBaseArchiver::closeStream() {
    claims_.clear();
    dir_.reset();
    stream_.reset();
}

void TArcBaseArchiver::raise(int nativeError, const QString& argument) const {
    raiseArcError(nativeError, Name, argument);
}

void TArcBaseArchiver::fireProgress(const QString& fileName) {
    if (!FProgressEnabled) {
        return;
    }
    const long double part = static_cast<long double>(FProgress) / FProgressMax;
    bool cancel = false;
    if (OnFileProgress) {
        OnFileProgress(*this, fileName, static_cast<double>(part * 100), FCurrentOperation,
                       ppProcess, cancel);
    }
    if (cancel) {
        FProgressCancel = true;
        return;
    }
    // Outside an operation nothing has been counted; one entry is then the whole.
    const long double count = FProcessedFileCount == 0 ? 1 : FProcessedFileCount;
    if (OnOverallProgress) {
        OnOverallProgress(*this, static_cast<double>((part + FProcessedFileNo) / count * 100),
                          FCurrentOperation, ppProcess, cancel);
    }
    if (cancel) {
        FProgressCancel = true;
    }
}

}  // namespace selvanix
