#pragma once

#include <QString>
#include <QTemporaryFile>

namespace selvanix::publish {

// A file written under a temporary name beside its final one and renamed into place by
// commit(); removed when it never was, so a failed command leaves nothing half-written.
class StagedFile {
public:
    explicit StagedFile(const QString& finalPath);
    bool open();
    QTemporaryFile& file() { return file_; }
    QString temporaryPath() const { return file_.fileName(); }
    // Replaces whatever stands at the final name.
    bool commit();
    const QString& finalPath() const { return finalPath_; }

private:
    QString finalPath_;
    QTemporaryFile file_;
};

}  // namespace selvanix::publish
