#include "OutcomeDetail.h"

#include "platform/Paths.h"

namespace selvanix {

QString keysChangedDetail(const QStringList& added, const QStringList& revoked) {
    QStringList parts;
    if (!added.isEmpty()) {
        parts << QStringLiteral("Selvanix nově důvěřuje klíči vydavatele %1.")
                     .arg(added.join(QStringLiteral(", ")));
    }
    if (!revoked.isEmpty()) {
        parts << QStringLiteral("Klíč vydavatele %1 byl odvolán a už nic neověří.")
                     .arg(revoked.join(QStringLiteral(", ")));
    }
    return parts.join(u' ');
}

namespace {

// more says how many targets follow the first.
QString detail(const QString& versionWord, const QString& version, const QString& in,
               const QStringList& targets, const QString& more) {
    QString line = versionWord + u' ' + version;
    if (!targets.isEmpty()) {
        line += u' ' + in + u' ' + platform::displayPath(targets.first());
    }
    if (targets.size() > 1) {
        line += more;
    }
    return line;
}

}  // namespace

QString installedDetail(const QString& version, const QStringList& targets) {
    // "v /srv/A a 1 další", "v /srv/A a 2 dalších": the folders after "v".
    const qsizetype more = targets.size() - 1;
    return detail(
        QStringLiteral("Verze"), version, QStringLiteral("v"), targets,
        more == 1 ? QStringLiteral(" a 1 další") : QStringLiteral(" a %1 dalších").arg(more));
}

QString installedDetailEnglish(const QString& version, const QStringList& targets) {
    return detail(QStringLiteral("version"), version, QStringLiteral("in"), targets,
                  QStringLiteral(" and %1 more").arg(targets.size() - 1));
}

std::pair<QString, QString> problemHeadline(PackageProblem problem) {
    const QString stopped = QStringLiteral("instalace byla zastavena");
    switch (problem) {
        case PackageProblem::NotFound:
            break;
        case PackageProblem::Unsigned:
            return {QStringLiteral("Balíček není podepsán"), stopped};
        case PackageProblem::SignatureMismatch:
            return {QStringLiteral("Podpis balíčku nesouhlasí"), stopped};
        case PackageProblem::Expired:
            return {QStringLiteral("Platnost balíčku skončila"), stopped};
        case PackageProblem::OlderVersion:
            return {QStringLiteral("Starší verze balíčku"), stopped};
        case PackageProblem::OtherProduct:
            return {QStringLiteral("Jiný program ve složce"), stopped};
    }
    return {QStringLiteral("Nebyl nalezen"), QStringLiteral("instalační balíček")};
}

}  // namespace selvanix
