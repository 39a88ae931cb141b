#pragma once

#include <QByteArray>
#include <functional>
#include <memory>
#include <vector>

namespace selvanix::net {

class BodyFile;

struct ByteRange {
    qint64 at = 0;
    qint64 length = 0;
};

// Ranges of the file a download's tail came from, over the download's own connection; each
// request names the file's validator, so every byte comes from that same file.
class RangeSource {
public:
    using Sink = std::function<bool(qint64 offset, const char* data, std::size_t size)>;
    enum class Result {
        Done,     // every asked range went to the sink (a server may send more around them)
        Changed,  // the file is no longer the one the tail came from, or ranges are not served
        Failed,   // the exchange failed, or the sink refused
        Stopped,
    };
    // Ranges ascending and disjoint; saves: the bytes of the file the assembly need not fetch
    // once these are in, which decides how many requests they are worth.
    virtual Result fetch(const std::vector<ByteRange>& ranges, qint64 saves, const Sink& sink) = 0;
    // What the assembly is going to fetch, so progress counts real bytes against it.
    virtual void expect(qint64 bytes) = 0;

protected:
    ~RangeSource() = default;
};

struct RemoteFile {
    qint64 size = 0;
    QByteArray validator;  // a strong ETag or the Last-Modified date, as the server gave it
    QByteArray tail;       // the file's last bytes
};

// Builds a download's body from what is kept locally plus ranges of the remote file, instead
// of fetching all of it.
class BodyAssembly {
public:
    virtual ~BodyAssembly() = default;
    // How many of the file's last bytes to fetch first.
    virtual qint64 tailLength() const = 0;
    struct Outcome {
        std::unique_ptr<BodyFile> body;  // the whole file; none: fetch it whole instead
        qint64 reused = 0;               // bytes of it that were not fetched
        bool stopped = false;
    };
    virtual Outcome assemble(const RemoteFile& file, RangeSource& ranges) = 0;
};

}  // namespace selvanix::net
