#pragma once

#include "RunObserver.h"

#include <QString>
#include <QStringList>
#include <utility>

namespace selvanix {

// The run screen's two lines for a run that ends without a package it would install.
std::pair<QString, QString> problemHeadline(PackageProblem problem);

// What the publisher's statements changed in this copy's trust, in one Czech line.
QString keysChangedDetail(const QStringList& added, const QStringList& revoked);

// The line below a successful outcome: the version installed and where, the first target
// standing for the rest ("Verze 14,20 v /home/a/Prog a 2 dalších").
QString installedDetail(const QString& version, const QStringList& targets);

// The same in English, for the command line: "version 14,20 in /home/a/Prog and 2 more".
QString installedDetailEnglish(const QString& version, const QStringList& targets);

}  // namespace selvanix
