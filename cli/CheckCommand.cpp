// list and check: what the data folder remembers of installed targets, and which of them a
// newer release waits for.
#include "Commands.h"
#include "ConsoleReport.h"
#include "ExitCode.h"
#include "Language.h"
#include "StopSignals.h"
#include "engine/InstallEngine.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"

namespace selvanix::cli {

namespace {

QString stateName(TargetNow::State state) {
    switch (state) {
        case TargetNow::State::Present:
            return QStringLiteral("present");
        case TargetNow::State::Replaced:
            return QStringLiteral("replaced");
        case TargetNow::State::Vanished:
            break;
    }
    return QStringLiteral("vanished");
}

QString statusName(TargetUpdate::Status status) {
    switch (status) {
        case TargetUpdate::Status::Current:
            return QStringLiteral("current");
        case TargetUpdate::Status::Newer:
            return QStringLiteral("update available");
        case TargetUpdate::Status::Unknown:
            return QStringLiteral("unknown");
        case TargetUpdate::Status::Rollout:
            return QStringLiteral("held back by rollout");
        case TargetUpdate::Status::Gone:
            break;
    }
    return QStringLiteral("gone");
}

}  // namespace

QJsonObject targetFields(const InstalledTarget& target, TargetNow::State state,
                         const std::optional<Manifest>& record) {
    QJsonObject fields{{QStringLiteral("target"), platform::linuxPath(target.path)},
                       {QStringLiteral("state"), stateName(state)}};
    fields.insert(QStringLiteral("product"), record ? record->stem : target.stem);
    if (record) {
        fields.insert(QStringLiteral("name"), record->name);
        fields.insert(QStringLiteral("installed_version"), record->version);
        fields.insert(QStringLiteral("date"), record->date);
    }
    return fields;
}

namespace {

QString targetLine(const InstalledTarget& target, TargetNow::State state,
                   const std::optional<Manifest>& record) {
    const QString path = platform::linuxPath(target.path);
    if (state == TargetNow::State::Replaced) {
        return say(u"%1: another folder now (%2 was installed there)",
                   u"%1: teď jiná složka (byl v ní nainstalován %2)")
            .arg(path, target.stem);
    }
    if (!record) {
        return say(u"%1: no longer installed (%2 was)", u"%1: už není nainstalováno (byl %2)")
            .arg(path, target.stem);
    }
    return QStringLiteral("%1: %2 %3 (%4)").arg(path, record->name, record->version, record->date);
}

QString checkLine(const TargetUpdate& update) {
    const QString shown = targetLine(update.target, update.state, update.record);
    switch (update.status) {
        case TargetUpdate::Status::Newer:
            return say(u"%1, update available: %2 (%3)", u"%1, k dispozici je aktualizace: %2 (%3)")
                .arg(shown, update.availableVersion, update.availableDate);
        case TargetUpdate::Status::Current:
            return shown + say(u", current", u", aktuální");
        case TargetUpdate::Status::Unknown:
            return say(u"%1, not checked: %2", u"%1, nezkontrolováno: %2")
                .arg(shown, update.problem);
        case TargetUpdate::Status::Rollout:
            return say(u"%1, %2 held back: its rollout reaches %3 % of installations",
                       u"%1, %2 zadržena: vydavatel ji zatím nabízí %3 % instalací")
                .arg(shown, update.availableVersion)
                .arg(update.rollout);
        case TargetUpdate::Status::Gone:
            break;
    }
    return shown;
}

}  // namespace

// The outcome of a check: a failure first, then an update, then current.
int reportCheck(const AvailableUpdates& check, ConsoleReport& report) {
    QStringList newer;
    for (const TargetUpdate& update : check.targets) {
        QJsonObject fields = targetFields(update.target, update.state, update.record);
        fields.insert(QStringLiteral("status"), statusName(update.status));
        if (!update.availableVersion.isEmpty()) {
            fields.insert(QStringLiteral("available_version"), update.availableVersion);
            fields.insert(QStringLiteral("available_date"), update.availableDate);
            fields.insert(QStringLiteral("rollout"), update.rollout);
        }
        if (update.status == TargetUpdate::Status::Unknown) {
            fields.insert(QStringLiteral("reason"), update.problem);
        }
        report.event(QStringLiteral("target"), fields, checkLine(update));
        if (update.status == TargetUpdate::Status::Newer) {
            newer << QStringLiteral("%1 %2 ve složce %3")
                         .arg(update.record->name, update.availableVersion,
                              platform::linuxPath(update.target.path));
        }
    }
    if (!check.verified) {
        report.event(
            QStringLiteral("unverified"), {},
            say(u"nothing was verified: no publisher key is set (publickey= in upgrade.kac)",
                u"nic nebylo ověřeno: není nastaven klíč vydavatele (publickey= v "
                u"upgrade.kac)"));
    }
    const QJsonObject extra{{QStringLiteral("verified"), check.verified}};
    if (check.failure != RunOutcome::Installed) {
        const ExitCode code = exitCodeOf(check.failure);
        report.outcome(outcomeName(check.failure), code, check.problem, false, extra);
        return code;
    }
    if (!newer.isEmpty()) {
        report.outcome(QStringLiteral("update available"), kUpdateAvailable,
                       QStringLiteral("Je k dispozici nová verze: %1.").arg(newer.join(u"; ")),
                       false, extra);
        return kUpdateAvailable;
    }
    report.outcome(QStringLiteral("current"), kInstalled, QString(), false, extra);
    return kInstalled;
}

std::vector<InstalledTarget> rememberedTargets() {
    const std::optional<platform::FolderHandle> folder =
        platform::FolderHandle::open(platform::installerFolder());
    return folder ? readInstalledTargets(*folder) : std::vector<InstalledTarget>();
}

int runList(const CliOptions& options) {
    ConsoleReport report(options.json, stdout);
    const std::vector<InstalledTarget> remembered = rememberedTargets();
    for (const InstalledTarget& target : remembered) {
        const TargetNow now = targetNow(target);
        report.event(QStringLiteral("target"), targetFields(target, now.state, now.record),
                     targetLine(target, now.state, now.record));
    }
    report.outcome(
        QStringLiteral("listed"), kInstalled,
        remembered.empty() ? QStringLiteral("Selvanix si nepamatuje žádnou instalaci.") : QString(),
        false, {{QStringLiteral("count"), static_cast<int>(remembered.size())}});
    return kInstalled;
}

int runCheck(const CliOptions& options, StopSignals& stops) {
    return withEngine(options, stops, false,
                      [](InstallEngine& engine, const RunRequest& r, ConsoleReport& report) {
                          return reportCheck(engine.checkUpdates(r, rememberedTargets()), report);
                      });
}

}  // namespace selvanix::cli
