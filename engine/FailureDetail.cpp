#include "FailureDetail.h"

#include "CzechPlural.h"

#include <cerrno>

#include "archive/ArcException.h"
#include "net/InternetErrors.h"
#include "net/UrlParts.h"
#include "net/WebHTTPGet.h"
#include "platform/Paths.h"
#include "profile/IniFile.h"

#include <QFileInfo>

namespace selvanix {

namespace {

// The server as a user would type it: its host, and its port when not the scheme's own.
QString serverOf(const QString& url) {
    const std::optional<net::UrlParts> parts = net::crackUrl(url);
    if (!parts || parts->host.isEmpty()) {
        return url;
    }
    const bool usualPort = (parts->scheme == u"http" && parts->port == 80) ||
                           (parts->scheme == u"https" && parts->port == 443);
    return usualPort ? parts->host : parts->host + u':' + QString::number(parts->port);
}

}  // namespace

QString downloadFailure(const net::WebHTTPGet& get, bool finished, const QString& fileName) {
    const net::DownloadItem* item = get.FileDownloader();
    if (!finished) {
        return QStringLiteral("Stahování bylo zrušeno.");
    }
    if (item == nullptr) {
        return QStringLiteral("Soubor %1 se nepodařilo stáhnout.").arg(fileName);
    }
    const QString server = serverOf(item->Request().url);
    if (item->StatusCode() >= 300 && item->StatusCode() != 302) {
        return QStringLiteral("Server %1 odmítl soubor %2 (HTTP %3).")
            .arg(server, fileName, QString::number(item->StatusCode()));
    }
    if (item->Error() == 0 && item->ActualType().contains(QLatin1String("text/html"))) {
        return QStringLiteral("Server %1 poslal místo souboru %2 webovou stránku.")
            .arg(server, fileName);
    }
    switch (item->Error()) {
        case 0:
            return QStringLiteral("Server %1 poslal soubor %2 prázdný.").arg(server, fileName);
        case 2:
            return QStringLiteral("Počítač není připojen k síti.");
        case net::ERROR_STOPPED:
        case net::ERROR_INTERNET_OPERATION_CANCELLED:
            return QStringLiteral("Stahování bylo zrušeno.");
        case net::ERROR_INTERNET_NAME_NOT_RESOLVED:
            return QStringLiteral("Server %1 nebyl nalezen.").arg(server);
        case net::ERROR_INTERNET_CANNOT_CONNECT:
        case net::ERROR_INTERNET_TIMEOUT:
            return QStringLiteral("Server %1 neodpovídá.").arg(server);
        case net::ERROR_PROXY_NAME_NOT_RESOLVED:
            return QStringLiteral("Proxy server %1 nebyl nalezen.").arg(item->ProxyAddress());
        case net::ERROR_PROXY_CANNOT_CONNECT:
            return QStringLiteral("Proxy server %1 neodpovídá.").arg(item->ProxyAddress());
        case net::ERROR_INTERNET_CONNECTION_ABORTED:
        case net::ERROR_INTERNET_CONNECTION_RESET:
        case net::ERROR_HTTP_INVALID_SERVER_RESPONSE:
            return QStringLiteral("Server %1 přerušil přenos souboru %2.").arg(server, fileName);
        case net::ERROR_INTERNET_INVALID_CA:
        case net::ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            return QStringLiteral("Serveru %1 nelze ověřit zabezpečení.").arg(server);
        case net::ERROR_HTTP_REDIRECT_FAILED:
            return QStringLiteral("Server %1 přesměroval stahování na nedovolenou adresu.")
                .arg(server);
        case 8:
            if (item->Request().sizeLimit > 0) {
                return QStringLiteral("Server %1 poslal soubor %2 větší, než je dovoleno.")
                    .arg(server, fileName);
            }
            [[fallthrough]];
        case net::ERROR_DISK_FULL:
            return QStringLiteral("Soubor %1 se nevejde na disk.").arg(fileName);
        default:
            return QStringLiteral("Soubor %1 se nepodařilo stáhnout (%2).")
                .arg(fileName, item->ErrorString());
    }
}

QString badChannel(const QString& channel) {
    return QStringLiteral(
               "Nastavení channel=%1 nenese název kanálu (písmena, číslice a "
               "pomlčka, nejvýše 32 znaků).")
        .arg(channel);
}

QString missingPackageFile(const QString& folder, const QString& fileName) {
    if (folder.isEmpty()) {
        return QStringLiteral("Složka instalačního balíčku není zadána.");
    }
    if (fileName.isEmpty()) {
        return QStringLiteral("Program z nastavení nemá instalační balíček.");
    }
    return QStringLiteral("Ve složce %1 není soubor %2.")
        .arg(platform::displayPath(folder), fileName);
}

QString oversizedDescriptor(const QString& folder, const QString& fileName) {
    return QStringLiteral("Soubor %1 ve složce %2 je větší než 1 MiB.")
        .arg(fileName, platform::displayPath(folder));
}

QString noTargetReason(TargetMode targetMode, const QString& searchedFile) {
    if (targetMode == TargetMode::Fields) {
        return QStringLiteral("Není vyplněn žádný cílový adresář.");
    }
    return QStringLiteral("Na pevných discích není složka se souborem %1.").arg(searchedFile);
}

QString badMarkerReason(const QString& descriptorName, const QString& marker) {
    if (marker.isEmpty()) {
        return QStringLiteral("Soubor %1 neudává, jaký program hledat.").arg(descriptorName);
    }
    return QStringLiteral("Soubor %1 hledá program pod nepřípustným jménem %2.")
        .arg(descriptorName, marker);
}

QString programNotStarted(const QString& program, const QString& target,
                          platform::CheckedProgram::Refusal why) {
    using Refusal = platform::CheckedProgram::Refusal;
    const QString start = QStringLiteral("Program %1 nebyl spuštěn: ").arg(program);
    QString folder = target;
    while (folder.size() > 1 && (folder.endsWith(u'\\') || folder.endsWith(u'/'))) {
        folder.chop(1);
    }
    const QString shown = platform::displayPath(folder);
    switch (why) {
        case Refusal::Link:
            return start + QStringLiteral("ve složce %1 je jen odkazem.").arg(shown);
        case Refusal::NotRegular:
            return start + QStringLiteral("ve složce %1 není souborem.").arg(shown);
        case Refusal::Foreign:
            return start + QStringLiteral("ve složce %1 ho může změnit jiný uživatel.").arg(shown);
        case Refusal::NotExecutable:
            return start + QStringLiteral("ve složce %1 nemá právo spuštění.").arg(shown);
        case Refusal::Missing:
        case Refusal::None:
            break;
    }
    return start + QStringLiteral("ve složce %1 není.").arg(shown);
}

QString missingTarget(const QString& target) {
    return QStringLiteral("Složka %1 neexistuje.").arg(platform::displayPath(target));
}

QString installersOwnFolder(const QString& target) {
    return QStringLiteral(
               "Složka %1 patří programu Selvanix (jeho nastavení a stažené balíčky); do ní se "
               "neinstaluje.")
        .arg(platform::displayPath(target));
}

QString noRecord(const QString& target) {
    return QStringLiteral("Složka %1 nemá záznam o instalaci Selvanixem.")
        .arg(platform::displayPath(target));
}

QString partialRecord(const QString& target) {
    return QStringLiteral(
               "Do složky %1 nebyl nainstalován celý balíček; opravit ji lze jen "
               "novou instalací.")
        .arg(platform::displayPath(target));
}

QString otherPackage(const QString& target, const QString& recordedVersion) {
    return QStringLiteral(
               "Balíček není ten, který je nainstalován ve složce %1 (verze %2); "
               "opravit ji lze jen z něho.")
        .arg(platform::displayPath(target), recordedVersion);
}

QString unfinishedCommit(const QString& target) {
    return QStringLiteral("Instalaci do %1 se nepodařilo dokončit; dokončí ji příští spuštění.")
        .arg(platform::displayPath(target));
}

QString stagedFileGone(const QString& target, const QString& path) {
    return QStringLiteral(
               "Připravený soubor %1 ve složce %2 někdo odstranil nebo nahradil; instalace "
               "nic nezměnila.")
        .arg(path, platform::displayPath(target));
}

QString lostStagedFiles(const QString& target, const QStringList& paths) {
    return QStringLiteral(
               "Ve složce %1 chybí připravené soubory nedokončené instalace (%2) a na jejich "
               "místě nejsou zapsané soubory; deník .selvanix/journal zůstal, složku je třeba "
               "zkontrolovat.")
        .arg(platform::displayPath(target), paths.join(QStringLiteral(", ")));
}

QString programsHeldByStop() {
    return QStringLiteral(
        "Instalace byla přerušena až při dokončování: složky mají novou verzi, programy "
        "nebyly spuštěny.");
}

QString installFailure(const QString& target, const std::exception& error) {
    const QString shown = platform::displayPath(target);
    if (dynamic_cast<const EIniFileException*>(&error) != nullptr) {
        return QFileInfo(platform::toHostPath(target)).isDir() ? unwritableTarget(target)
                                                               : missingTarget(target);
    }
    if (dynamic_cast<const EArcException*>(&error) != nullptr) {
        return QStringLiteral("Balíček se nepodařilo rozbalit do %1.").arg(shown);
    }
    return QStringLiteral("Instalace do %1 se nezdařila.").arg(shown);
}

QString abortedEntry(const QString& target, const QString& message) {
    return QStringLiteral("Balíček se nepodařilo rozbalit do %1: %2")
        .arg(platform::displayPath(target), message);
}

QString entryCause(int nativeError, int osError) {
    // The system's number tells only where a system call failed (it may be an older one's
    // otherwise), and comes first there: the archiver calls every failed write a full disk.
    const bool fromSystem = nativeError == ARC_ERROR_CANNOT_CREATE_FILE ||
                            nativeError == ARC_ERROR_CANNOT_CREATE_DIR ||
                            nativeError == ARC_ERROR_DISK_FULL;
    switch (fromSystem ? osError : 0) {
        case ELOOP:
            return QStringLiteral(
                "složka na cestě k souboru je symbolický odkaz, přes který "
                "Selvanix nezapisuje");
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("na disku není volné místo");
        case EFBIG:
            return QStringLiteral("soubor je větší, než dovoluje limit velikosti souborů");
        case EACCES:
        case EPERM:
            return QStringLiteral("do složky nelze zapisovat, přístup byl odepřen");
        case EROFS:
            return QStringLiteral("disk je jen pro čtení");
        default:
            break;
    }
    if (nativeError == ARC_ERROR_INVALID_DATA) {
        return QStringLiteral("data v balíčku jsou poškozená");
    }
    return nativeError == ARC_ERROR_DISK_FULL ? QStringLiteral("na disku není volné místo")
                                              : QString();
}

QString notInstalledEntries(const QStringList& entries, const QStringList& causes) {
    if (entries.isEmpty()) {
        return {};
    }
    QString text =
        QStringLiteral("Nenainstalováno: ") + entries.mid(0, 5).join(QStringLiteral(", "));
    if (entries.size() > 5) {
        text += czechPlural(entries.size() - 5, u" a %1 další", u" a %1 další", u" a %1 dalších");
    }
    if (!causes.isEmpty()) {
        text += QStringLiteral(" (%1)").arg(causes.join(QStringLiteral("; ")));
    }
    return text + u'.';
}

}  // namespace selvanix
