#pragma once

#include <QByteArray>
#include <QString>

namespace selvanix::fuzz {

struct AssemblyRun {
    QString finding;  // what went wrong; empty when nothing did
    bool assembled = false;
};

// Runs an update's assembly in a fresh folder below root, against a fixed kept archive (three
// stored entries) whose next release changes one; a server whose tail and answers come from
// the bytes: a little-endian u16 that sets the claimed file size (in 16384ths of the next
// release's), a u16 tail length and the tail, then answers split at "\n--next--\n", each a
// first byte choosing its head (206 multipart with boundary "fz", 206 one part with a
// Content-Range line first, 416, 200 unchanged, 200 changed) and its body. Only the next
// release passes the check: a success with any other bytes is a finding.
AssemblyRun exerciseAssembly(const QByteArray& bytes, const QString& root);

// An input on which an honest server's answers make the assembly succeed.
QByteArray assemblySeed(const QString& root);

}  // namespace selvanix::fuzz
