#include "ConsoleReport.h"

#include "Language.h"

#include "engine/OutcomeDetail.h"
#include "engine/RunLog.h"
#include "engine/Version.h"
#include "net/WebHTTPGet.h"
#include "platform/Paths.h"

#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace selvanix::cli {

namespace {

// Targets and folders as Linux paths, in lines and in JSON alike.
QString shown(const QString& path) {
    return platform::linuxPath(path);
}

QString problemWords(PackageProblem problem) {
    switch (problem) {
        case PackageProblem::Unsigned:
            return say(u"package not signed, installation stopped",
                       u"balíček není podepsán, instalace zastavena");
        case PackageProblem::SignatureMismatch:
            return say(u"package signature does not match, installation stopped",
                       u"podpis balíčku nesouhlasí, instalace zastavena");
        case PackageProblem::Expired:
            return say(u"package expired, installation stopped",
                       u"platnost balíčku skončila, instalace zastavena");
        case PackageProblem::OlderVersion:
        case PackageProblem::OtherProduct:
        case PackageProblem::NotFound:
            break;
    }
    return say(u"package not found", u"balíček nebyl nalezen");
}

// The outcome's name as the line says it; JSON keeps the name.
QString outcomeWords(const QString& outcome) {
    static const Words kCzech[] = {
        {u"installed", u"nainstalováno"},
        {u"no package", u"balíček nebyl nalezen"},
        {u"refused", u"odmítnuto"},
        {u"no target", u"žádný cíl"},
        {u"target failed", u"cíl selhal"},
        {u"entries skipped", u"soubory vynechány"},
        {u"target busy", u"cíl je obsazen"},
        {u"interrupted", u"přerušeno"},
        {u"usage error", u"chybné použití"},
        {u"failed", u"selhalo"},
        {u"verified", u"ověřeno"},
        {u"differences", u"rozdíly"},
        {u"uninstalled", u"odinstalováno"},
        {u"no record", u"bez záznamu"},
        {u"no previous version", u"žádná předchozí verze"},
        {u"rolled back", u"vráceno"},
        {u"repaired", u"opraveno"},
        {u"fetched", u"staženo"},
        {u"not fetched", u"nestaženo"},
        {u"update available", u"k dispozici je aktualizace"},
        {u"current", u"aktuální"},
    };
    return nameAsSaid(outcome, kCzech);
}

QString answerWords(TArcAction answer) {
    static const Words kCzech[] = {
        {u"abort", u"přerušit"}, {u"ignore", u"vynechat"}, {u"retry", u"zkusit znovu"}};
    return nameAsSaid(answerName(answer).toLower(), kCzech);
}

}  // namespace

ConsoleReport::ConsoleReport(bool json, std::FILE* out)
    : json_(json), terminal_(::isatty(::fileno(out)) == 1), out_(out) {}

void ConsoleReport::print(const QString& line) {
    endProgress();
    std::fputs(platform::printableText(line).toUtf8().constData(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ConsoleReport::endProgress() {
    if (lineShown_) {
        std::fputc('\n', out_);
    }
    lineShown_ = false;
    lineLength_ = 0;
    shownPercent_ = -1;
}

void ConsoleReport::showOnTerminal(const QString& text) {
    const QString line = platform::printableText(text);
    const QByteArray padding(std::max<qsizetype>(lineLength_ - line.size(), 0), ' ');
    std::fputc('\r', out_);
    std::fputs(line.toUtf8().constData(), out_);
    std::fputs(padding.constData(), out_);
    std::fflush(out_);
    lineShown_ = true;
    lineLength_ = static_cast<int>(line.size());
}

void ConsoleReport::event(const QString& name, QJsonObject fields, const QString& line) {
    if (json_) {
        fields.insert(QStringLiteral("event"), name);
        std::fputs(QJsonDocument(fields).toJson(QJsonDocument::Compact).constData(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
    } else if (!line.isEmpty()) {
        print(line);
    }
}

void ConsoleReport::outcome(const QString& outcome, int exitCode, const QString& reason,
                            bool changed, const QJsonObject& extra) {
    if (json_) {
        QJsonObject last = extra;
        last.insert(QStringLiteral("outcome"), outcome);
        last.insert(QStringLiteral("exit"), exitCode);
        last.insert(QStringLiteral("reason"), reason);
        last.insert(QStringLiteral("changed"), changed);
        last.insert(QStringLiteral("version"), selvanixVersion());
        std::fputs(QJsonDocument(last).toJson(QJsonDocument::Compact).constData(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
        return;
    }
    const QString said =
        say(u"outcome", u"výsledek") + QStringLiteral(": ") + outcomeWords(outcome);
    print(reason.isEmpty() ? said : said + QStringLiteral(": ") + reason);
}

void ConsoleReport::downloadStarted(const QString& url, const QString& name) {
    const QString shownUrl = RunLog::redacted(url);
    event(QStringLiteral("download"), {{QStringLiteral("url"), shownUrl}},
          say(u"fetching %1", u"stahuji %1").arg(shownUrl));
    downloading_ = name;
    pace_.emplace(json_       ? DownloadPace::Output::Json
                  : terminal_ ? DownloadPace::Output::Terminal
                              : DownloadPace::Output::Lines,
                  DownloadPace::Clock::now());
}

// A long download is seen moving: bytes, pace and time left, as often as the output suits.
void ConsoleReport::downloadProgress(const QString& name, qint64 received, qint64 total) {
    if (!pace_ || name != downloading_ ||
        !pace_->due(DownloadPace::Clock::now(), received, total)) {
        return;
    }
    if (json_) {
        const std::optional<qint64> rate = pace_->bytesPerSecond();
        const std::optional<qint64> left = pace_->secondsLeft();
        event(QStringLiteral("progress"),
              {{QStringLiteral("name"), name},
               {QStringLiteral("received"), received},
               {QStringLiteral("total"), total > 0 ? QJsonValue(total) : QJsonValue()},
               {QStringLiteral("bytes_per_second"), rate ? QJsonValue(*rate) : QJsonValue()},
               {QStringLiteral("seconds_left"), left ? QJsonValue(*left) : QJsonValue()}},
              QString());
    } else if (terminal_) {
        showOnTerminal(QStringLiteral("  ") + downloadLine(*pace_));
    } else {
        print(name + QStringLiteral(": ") + downloadLine(*pace_));
    }
}

void ConsoleReport::archiveReused(qint64 fetched, qint64 size, qint64 delta) {
    event(QStringLiteral("archive-reused"),
          {{QStringLiteral("fetched"), fetched},
           {QStringLiteral("size"), size},
           {QStringLiteral("delta"), delta}},
          say(u"fetched %1 of %2 bytes, the rest from the last installed archive",
              u"staženo %1 z %2 bajtů, zbytek z minule nainstalovaného archivu")
              .arg(fetched)
              .arg(size));
}

void ConsoleReport::packageLooked(const QString& folder, bool found) {
    event(QStringLiteral("package"),
          {{QStringLiteral("folder"), shown(folder)}, {QStringLiteral("found"), found}},
          found ? say(u"package in %1", u"balíček ve složce %1").arg(shown(folder)) : QString());
}

// A refused downgrade or another product in a target had its own event: the package itself
// was there.
void ConsoleReport::packageMissing(PackageProblem problem, const QString& reason) {
    if (problem == PackageProblem::OlderVersion || problem == PackageProblem::OtherProduct) {
        return;
    }
    event(QStringLiteral("no-package"), {{QStringLiteral("reason"), reason}},
          problemWords(problem) + QStringLiteral(": ") + reason);
}

void ConsoleReport::descriptorRead(const PackageInfo& info) {
    event(QStringLiteral("descriptor"),
          {{QStringLiteral("name"), info.name},
           {QStringLiteral("version"), info.version},
           {QStringLiteral("date"), info.date},
           {QStringLiteral("marker"), info.marker},
           {QStringLiteral("run"), info.run}},
          say(u"package %1, version %2, %3", u"balíček %1, verze %2, %3")
              .arg(info.name, info.version, info.date));
}

void ConsoleReport::searchStarted(const QString& marker) {
    event(QStringLiteral("search"), {{QStringLiteral("marker"), marker}},
          say(u"searching the fixed drives for %1", u"hledám %1 na pevných discích").arg(marker));
}

void ConsoleReport::targetFound(const QString& target) {
    event(QStringLiteral("target-found"), {{QStringLiteral("target"), shown(target)}}, QString());
}

void ConsoleReport::noTarget(const QString& reason, const SearchSkips& skips) {
    event(QStringLiteral("no-target"),
          {{QStringLiteral("reason"), reason},
           {QStringLiteral("refused"), skips.refused},
           {QStringLiteral("foreign"), skips.foreign}},
          say(u"no target: %1", u"žádný cíl: %1").arg(reason));
}

void ConsoleReport::targetStarted(const QString& target, int index, int count) {
    event(QStringLiteral("target-started"),
          {{QStringLiteral("target"), shown(target)},
           {QStringLiteral("index"), index + 1},
           {QStringLiteral("count"), count}},
          say(u"installing into %1 (%2 of %3)", u"instaluji do %1 (%2 z %3)")
              .arg(shown(target), QString::number(index + 1), QString::number(count)));
}

void ConsoleReport::downgradeAnswered(const QString& packageVersion,
                                      const QString& installedVersion, bool comparable,
                                      bool allowed) {
    event(
        QStringLiteral("downgrade"),
        {{QStringLiteral("package_version"), packageVersion},
         {QStringLiteral("installed_version"), installedVersion},
         {QStringLiteral("comparable"), comparable},
         {QStringLiteral("allowed"), allowed}},
        (comparable ? say(u"the package's version %1 is older than the installed %2%3",
                          u"verze balíčku %1 je starší než nainstalovaná %2%3")
                    : say(u"the package's version %1 cannot be compared with the installed %2%3",
                          u"verzi balíčku %1 nelze porovnat s nainstalovanou %2%3"))
            .arg(packageVersion, installedVersion,
                 allowed ? say(u": installed, --allow-downgrade", u": instaluji, --allow-downgrade")
                         : QString()));
}

void ConsoleReport::otherProductAnswered(const QString& target, const QString& stem,
                                         const QString& name, bool allowed) {
    event(QStringLiteral("other-product"),
          {{QStringLiteral("target"), shown(target)},
           {QStringLiteral("installed_product"), stem},
           {QStringLiteral("installed_name"), name},
           {QStringLiteral("allowed"), allowed}},
          say(u"%1 holds another product, %2%3", u"ve složce %1 je jiný program, %2%3")
              .arg(shown(target), shown(name),
                   allowed ? say(u": installed, --allow-other-product",
                                 u": instaluji, --allow-other-product")
                           : QString()));
}

void ConsoleReport::fileKept(const QString& target, const QString& path) {
    event(QStringLiteral("kept"),
          {{QStringLiteral("target"), shown(target)}, {QStringLiteral("path"), shown(path)}},
          say(u"kept %1: changed since it was installed", u"ponechán %1: od instalace změněn")
              .arg(shown(path)));
}

void ConsoleReport::keysChanged(const QStringList& added, const QStringList& revoked) {
    event(
        QStringLiteral("keys"),
        {{QStringLiteral("added"), QJsonArray::fromStringList(added)},
         {QStringLiteral("revoked"), QJsonArray::fromStringList(revoked)}},
        say(u"publisher keys: %1 now trusted, %2 revoked",
            u"klíče vydavatele: nově důvěryhodné %1, odvolané %2")
            .arg(added.isEmpty() ? say(u"none", u"žádné") : added.join(QStringLiteral(", ")),
                 revoked.isEmpty() ? say(u"none", u"žádné") : revoked.join(QStringLiteral(", "))));
}

void ConsoleReport::targetUnchanged(const QString& target) {
    event(QStringLiteral("target-unchanged"), {{QStringLiteral("target"), shown(target)}},
          say(u"%1 already holds this package", u"složka %1 už tento balíček obsahuje")
              .arg(shown(target)));
}

void ConsoleReport::extractionProgress(double percent) {
    showPercent(static_cast<int>(percent));
}

// On a terminal only, on a line of its own that the next line ends.
void ConsoleReport::showPercent(int percent) {
    if (json_ || !terminal_ || percent == shownPercent_) {
        return;
    }
    shownPercent_ = percent;
    showOnTerminal(QStringLiteral("  %1 %").arg(percent, 3));
}

void ConsoleReport::entryFailed(const EntryFailure& failure) {
    event(QStringLiteral("entry-failed"),
          {{QStringLiteral("entry"), failure.entry},
           {QStringLiteral("native"), failure.nativeError},
           {QStringLiteral("message"), failure.message},
           {QStringLiteral("answer"), answerName(failure.answer).toLower()}},
          say(u"entry %1: %2 (error %3), %4", u"soubor %1: %2 (chyba %3), %4")
              .arg(failure.entry, failure.message, QString::number(failure.nativeError),
                   answerWords(failure.answer)));
}

void ConsoleReport::entrySkipped(const QString& entry) {
    event(QStringLiteral("entry-skipped"), {{QStringLiteral("entry"), entry}},
          say(u"entry %1: no password, skipped", u"soubor %1: chybí heslo, vynechán").arg(entry));
}

void ConsoleReport::programStarted(const QString& target, const QString& program) {
    event(QStringLiteral("program-started"),
          {{QStringLiteral("target"), shown(target)}, {QStringLiteral("program"), program}},
          say(u"started %1", u"spuštěn %1").arg(program));
}

void ConsoleReport::targetFailed(const QString& target, const QString& reason) {
    lastFailure_ = reason;
    event(QStringLiteral("target-failed"),
          {{QStringLiteral("target"), shown(target)}, {QStringLiteral("reason"), reason}},
          say(u"failed: %1", u"selhalo: %1").arg(reason));
}

void ConsoleReport::targetBusy(const QString& target, const QString& reason) {
    lastFailure_ = reason;
    event(QStringLiteral("target-busy"),
          {{QStringLiteral("target"), shown(target)}, {QStringLiteral("reason"), reason}},
          say(u"busy: %1", u"obsazeno: %1").arg(reason));
}

void ConsoleReport::programsNotStarted(const QString& reason) {
    event(QStringLiteral("programs-not-started"), {{QStringLiteral("reason"), reason}},
          say(u"programs not started: %1", u"programy nespuštěny: %1").arg(reason));
}

void ConsoleReport::installed(const RunResult& result, const SearchSkips& skips,
                              const QString& startProblem) {
    QJsonObject fields = where(result);
    fields.insert(QStringLiteral("installed"), result.installed);
    fields.insert(QStringLiteral("unchanged"), result.unchanged);
    fields.insert(QStringLiteral("skipped_entries"), result.skippedEntries);
    fields.insert(QStringLiteral("refused"), skips.refused);
    fields.insert(QStringLiteral("foreign"), skips.foreign);
    fields.insert(QStringLiteral("start_problem"), startProblem);
    QString line = say(u"installed %1, unchanged %2: %3", u"nainstalováno %1, beze změny %2: %3")
                       .arg(QString::number(result.installed), QString::number(result.unchanged),
                            speaksCzech() ? installedDetail(result.version, result.targets)
                                          : installedDetailEnglish(result.version, result.targets));
    if (!startProblem.isEmpty()) {
        line += QStringLiteral("; ") + startProblem;
    }
    event(QStringLiteral("installed"), fields, line);
}

QJsonObject ConsoleReport::where(const RunResult& result) {
    if (result.targets.isEmpty()) {
        return {};
    }
    QJsonArray targets;
    for (const QString& target : result.targets) {
        targets.append(shown(target));
    }
    return {{QStringLiteral("package_version"), result.version},
            {QStringLiteral("targets"), targets}};
}

}  // namespace selvanix::cli
