#pragma once

#include "platform/handles/File.h"

#include <QByteArray>

namespace selvanix {

// Where an entry's bytes go.
class ArcOutput {
public:
    virtual ~ArcOutput() = default;
    // Bytes stored; fewer than asked when the medium is full.
    virtual qint64 write(const char* data, qint64 size) = 0;
    virtual qint64 position() const = 0;
    virtual bool seek(qint64 position) = 0;
};

// An open file, written from its start; the position is counted here, not asked of the system.
class FileOutput : public ArcOutput {
public:
    explicit FileOutput(platform::File& file) : file_(file) {}
    qint64 write(const char* data, qint64 size) override;
    qint64 position() const override { return position_; }
    bool seek(qint64 position) override;

private:
    platform::File& file_;
    qint64 position_ = 0;
};

// Memory, for tests.
class MemoryOutput : public ArcOutput {
public:
    qint64 write(const char* data, qint64 size) override;
    qint64 position() const override { return position_; }
    bool seek(qint64 position) override;
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    qint64 position_ = 0;
};

}  // namespace selvanix
