#pragma once

#include <QByteArray>
#include <QString>

namespace selvanix::fuzz {

struct DeltaRun {
    QString finding;  // what went wrong; empty when nothing did
    int rebuilt = 0;  // entries that came out right
};

// Reads bytes as a client reads what a server sends for an update, against a fixed old
// archive and the fixed next release of it (two text entries, one edited, one added):
// the first byte chooses how. 'i': the rest is an index, signed here with the fuzzer's own key
// so its reader is reached. 'p': a patch method byte, a little-endian u16 size (at most
// 65535) and a patch of the old entry's contents. Anything else: the rest is a delta file
// whose records are rebuilt against the next release's directory and its true hashes. A
// rebuilt entry with other bytes than the next release's is a finding.
DeltaRun exerciseDelta(const QByteArray& bytes, const QString& root);

// Inputs on which each reader succeeds: an index, a patch, and the honest delta.
QByteArray deltaSeed(char kind, const QString& root);

}  // namespace selvanix::fuzz
