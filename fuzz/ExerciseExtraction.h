#pragma once

#include <QByteArray>
#include <QString>

namespace selvanix::fuzz {

// Extracts the bytes as an archive with the archiver component (mask "*.*", a fixed password,
// every failure ignored) into a fresh target folder below root that already holds symbolic
// links to a folder and to a file outside it. Returns what changed outside the target (empty
// when nothing did): any such change is a finding.
QString exerciseExtraction(const QByteArray& bytes, const QString& root);

}  // namespace selvanix::fuzz
