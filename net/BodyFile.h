#pragma once

#include "platform/handles/StagedFile.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace selvanix::net {

// The part of a body beyond what is kept in memory, in an unnamed temporary file in the
// folder the body will be saved into, so it takes the file's place without a copy. It never
// has a name of its own until it is published; on any failure or a stop it simply goes.
class BodyFile {
public:
    // A new file in the host folder; nothing when the folder does not take one.
    static std::unique_ptr<BodyFile> create(const QString& hostFolder);
    // A whole file written under a name of its own, taken as it is; the name goes with the
    // object unless the file is published.
    static std::unique_ptr<BodyFile> adopt(platform::StagedFile staged);
    BodyFile(const BodyFile&) = delete;
    BodyFile& operator=(const BodyFile&) = delete;
    ~BodyFile();

    // Appends all of it, or fails; small pieces are gathered into large writes.
    bool write(const char* data, qint64 size);
    bool flush();  // what is gathered goes to the file
    // Room for an announced length at once, so the file system lays it out in one piece; only
    // a hint, the size stays what was written.
    void reserve(qint64 size);
    qint64 size() const { return written_ + pending_.size(); }
    int descriptor() const { return fd_; }
    // Bytes the folder's file system can still take, less what must stay free.
    qint64 room(qint64 keepFree) const;

    // Gives the file its name (host path in the same folder), replacing what stands there.
    bool publishAs(const QString& hostPath, qint64 lastModifiedMs);
    const platform::FolderHandle& folder() const { return staged_.folder(); }
    // Copies the content into an open file at its current position.
    bool copyInto(int targetFd, qint64 offset);

private:
    explicit BodyFile(platform::StagedFile staged)
        : staged_(std::move(staged)), fd_(staged_.file().descriptor()) {
        pending_.reserve(kGather);
    }
    static constexpr qint64 kGather = 1 << 20;
    platform::StagedFile staged_;
    int fd_;
    qint64 written_ = 0;
    QByteArray pending_;
};

}  // namespace selvanix::net
