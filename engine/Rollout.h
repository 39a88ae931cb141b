#pragma once

#include <QByteArray>
#include <QString>

namespace selvanix {

// A staged rollout offers a release unattended to a share of installations first. Each
// installation's place for a release is its bucket, 0 to 99: a hash keyed with the machine's
// id, of this program's purpose, the product and the version. The same machine keeps its
// bucket across runs, is not first for every release, and its id never leaves it.
int rolloutBucket(const QByteArray& machineId, const QString& stem, const QString& version);

// Whether a release published for share percent of installations reaches this one.
bool inRollout(int bucket, int share);

// The machine's id from /etc/machine-id; where there is none, a random one kept in the data
// folder (machine.id) and made on first use. Empty when neither can be had.
QByteArray rolloutMachineId();

}  // namespace selvanix
