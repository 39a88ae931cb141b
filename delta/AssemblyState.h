#pragma once

#include <QByteArray>
#include <map>
#include <optional>
#include <vector>

#include "net/BodyAssembly.h"

namespace selvanix {

// Which bytes of a file already hold their final content: disjoint, merged intervals.
class ByteIntervals {
public:
    void add(qint64 at, qint64 length);
    // The parts of [at, at + length) not yet held, ascending.
    std::vector<net::ByteRange> missing(qint64 at, qint64 length) const;
    qint64 total() const;
    const std::map<qint64, qint64>& intervals() const { return byStart_; }  // start -> end

private:
    std::map<qint64, qint64> byStart_;
};

// What an interrupted assembly left: for which remote file (its size, validator and the hash
// of its tail, which holds the directory) and which bytes it had fetched. Text, one item a line:
// "selvanix-assembly 1", "size N", "validator V", "tail HEX", then "done AT END" lines.
struct AssemblyState {
    qint64 size = 0;
    QByteArray validator;
    QByteArray tailSha256;
    ByteIntervals done;

    // What an assembly of the remote file starts from: its size, validator and tail's hash.
    static AssemblyState of(const net::RemoteFile& remote);
    QByteArray toText() const;
    // Nothing for anything but such a text with every interval inside the file.
    static std::optional<AssemblyState> fromText(const QByteArray& text);
    bool sameFile(const AssemblyState& other) const {
        return size == other.size && validator == other.validator && tailSha256 == other.tailSha256;
    }
};

}  // namespace selvanix
