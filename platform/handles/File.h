#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace selvanix::platform {

// An open file; closed when the object goes. Errors leave their code in lastError().
// Writes all of data at offset of an open descriptor, or fails with errno set.
bool writeAllAt(int fd, const char* data, qint64 size, qint64 offset);
// Copies size bytes from one descriptor's offset to another's, in the kernel where it can.
bool copyAllAt(int from, qint64 fromOffset, int to, qint64 toOffset, qint64 size);

class File {
public:
    enum class Mode {
        Read,       // existing file, read only
        ReadWrite,  // existing file, read and write at any offset
        Create,     // new empty file, replacing an existing one
        CreateNew,  // new empty file; fails when the name exists
    };

    // path is an installer path (see toHostPath).
    static std::optional<File> open(const QString& path, Mode mode);
    // A regular file for reading; a pipe, a device or a folder there is refused without
    // waiting for a writer that never comes.
    static std::optional<File> openRegular(const QString& path);
    // The whole of a regular file of at most bound bytes, read once; nothing when it is
    // missing, no regular file, or larger.
    static std::optional<QByteArray> readWithin(const QString& path, qint64 bound);

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    qint64 read(char* data, qint64 maxSize);  // bytes read, 0 at the end, -1 on failure
    // Reads at an offset without moving the position; stops early only at the end.
    qint64 readAt(qint64 offset, char* data, qint64 size) const;
    bool write(const char* data, qint64 size);  // all bytes or failure
    bool write(const QByteArray& data) { return write(data.constData(), data.size()); }
    bool seek(qint64 offset);
    bool resize(qint64 size);
    qint64 position() const;
    qint64 size() const;
    bool flush();  // down to the device
    bool setLastWriteTime(qint64 msecsSinceEpoch);
    bool setPermissions(unsigned mode);  // the permission bits of the open file
    bool close();
    bool isOpen() const { return fd_ >= 0; }
    // The same open file once more (reads at offsets do not disturb each other).
    std::optional<File> duplicate() const;
    int descriptor() const { return fd_; }

private:
    friend class FolderHandle;
    friend class CheckedProgram;
    explicit File(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace selvanix::platform
