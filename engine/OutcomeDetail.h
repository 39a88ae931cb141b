#pragma once

#include <QString>
#include <QStringList>

namespace selvanix {

// What the publisher's statements changed in this copy's trust, in one Czech line.
QString keysChangedDetail(const QStringList& added, const QStringList& revoked);

// The line below a successful outcome: the version installed and where, the first target
// standing for the rest ("Verze 14,20 v /home/a/Prog a 2 dalších").
QString installedDetail(const QString& version, const QStringList& targets);

// The same in English, for the command line: "version 14,20 in /home/a/Prog and 2 more".
QString installedDetailEnglish(const QString& version, const QStringList& targets);

}  // namespace selvanix
