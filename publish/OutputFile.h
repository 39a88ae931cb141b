#pragma once

#include "platform/handles/StagedFile.h"

#include <QFile>
#include <QString>
#include <optional>

namespace selvanix::publish {

// A file the tool writes, staged beside its final name and renamed into place by commit();
// removed when it never was, so a failed command leaves nothing half-written.
class OutputFile {
public:
    explicit OutputFile(const QString& finalPath) : finalPath_(finalPath) {}
    bool open();
    QFile& file() { return file_; }
    QString temporaryPath() const;
    // Replaces whatever stands at the final name.
    bool commit();
    const QString& finalPath() const { return finalPath_; }

private:
    QString finalPath_;
    std::optional<platform::StagedFile> staged_;
    QFile file_;
};

}  // namespace selvanix::publish
