#include "Commands.h"
#include "Deltas.h"
#include "KeyFile.h"
#include "Options.h"
#include "OutputFile.h"
#include "ZipBuilder.h"
#include "archive/InstallMasks.h"
#include "config/PackageSignature.h"
#include "config/PackageVersion.h"
#include "engine/ProductTable.h"
#include "profile/ProfileText.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <memory>
#include <optional>

namespace selvanix::publish {

namespace {

// The masks the installer extracts by.
bool installerTakes(const QString& relativeName) {
    return takenByMasks(relativeName.mid(relativeName.lastIndexOf(u'/') + 1));
}

struct SourceFile {
    QByteArray name;  // relative, '/' between folders, UTF-8: the archive's order
    QByteArray path;  // the host path, as bytes
    unsigned mode;
    qint64 modified;
    dev_t device;
    ino_t inode;
};

// Why the installer could not take a name as it stands, or nothing when it can.
std::optional<QString> unfitName(const QByteArray& name) {
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            return QStringLiteral("a control character");
        }
        if (c == ':' || c == '\\') {
            return QStringLiteral("\"%1\"").arg(QLatin1Char(c));
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(name);
    if (utf8.hasError()) {
        return QStringLiteral("bytes that are not UTF-8");
    }
    return std::nullopt;
}

// Every regular file below the folder, listed by the bytes of their names; links are left
// out. False (said why) at a name the installer would refuse or misread.
bool listFolder(const QByteArray& host, const QByteArray& relative,
                std::vector<SourceFile>& files) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(host.constData()), &::closedir);
    if (!folder) {
        report(kFailed, QStringLiteral("cannot read folder %1").arg(QFile::decodeName(host)));
        return false;
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        const QByteArray path = host + '/' + name;
        const QByteArray inside = relative.isEmpty() ? name : relative + '/' + name;
        if (const auto why = unfitName(name)) {
            report(kFailed, QStringLiteral("%1: the name holds %2, which the installer cannot "
                                           "take; rename it")
                                .arg(QString::fromUtf8(inside), *why));
            return false;
        }
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0) {
            report(kFailed, QStringLiteral("cannot read %1").arg(QFile::decodeName(path)));
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!listFolder(path, inside, files)) {
                return false;
            }
        } else if (S_ISREG(st.st_mode)) {
            files.push_back({inside, path, static_cast<unsigned>(st.st_mode & 0777),
                             st.st_mtim.tv_sec, st.st_dev, st.st_ino});
        } else {
            warn(QStringLiteral("%1 is not a regular file; left out")
                     .arg(QString::fromUtf8(inside)));
        }
    }
    return true;
}

std::optional<std::vector<SourceFile>> sourceFiles(const QString& folder) {
    std::vector<SourceFile> files;
    if (!listFolder(QFile::encodeName(QFileInfo(folder).absoluteFilePath()), {}, files)) {
        return std::nullopt;
    }
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
    return files;
}

// The listed file itself: opened without following a link and checked on the open file, so a
// file swapped for a link (to the key, say) after the listing is never read.
std::unique_ptr<QFile> openListed(const SourceFile& f) {
    const int fd = ::open(f.path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != f.device ||
        st.st_ino != f.inode) {
        if (fd >= 0) {
            ::close(fd);
        }
        report(kFailed, QStringLiteral("%1 changed while it was packaged (no longer the file "
                                       "listed); nothing was published")
                            .arg(QString::fromUtf8(f.name)));
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        report(kFailed, QStringLiteral("cannot read %1").arg(QString::fromUtf8(f.name)));
        return nullptr;
    }
    return file;
}

// What would reach every customer wrong: a package no copy looks for, a version every
// target with a record refuses as not comparable, a date nobody can read.
std::optional<QString> releaseFault(const QString& stem, const QString& version,
                                    const QString& date) {
    QStringList stems;
    for (const Product& product : kProducts) {
        stems << QString::fromUtf16(product.stem);
    }
    if (!stems.contains(stem)) {
        return QStringLiteral("--stem %1 names no product (%2)").arg(stem, stems.join(u", "));
    }
    if (compareVersions(version, version) == VersionOrder::Incomparable) {
        return QStringLiteral(
                   "--version %1 is not numeric parts separated by a comma or a dot (14,20)")
            .arg(version);
    }
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})$"));
    const QRegularExpressionMatch parts = form.match(date);
    if (!parts.hasMatch() ||
        !QDate(parts.captured(3).toInt(), parts.captured(2).toInt(), parts.captured(1).toInt())
             .isValid()) {
        return QStringLiteral("--date %1 is no real date written D.M.YYYY (12.5.2023)").arg(date);
    }
    return std::nullopt;
}

// The written package published: deltas from each previous release and their index first,
// so a client that meets the new descriptor finds them, then the archive and the descriptor.
struct DeltaSources {
    QStringList previous;
    QString stem;
    QString signedStem;  // the index names the product as the signature does
    QString out;
    const signing::PrivateKey& key;
    std::optional<int> rollout;
};

int publishAll(OutputFile& archive, OutputFile& ini, const DeltaSources& sources) {
    PublishedDeltas deltas;
    // The index carries the deltas and the rollout; a release with neither needs none.
    if (!sources.previous.isEmpty() || sources.rollout) {
        if (const std::optional<QString> fault = stageDeltas(
                archive.temporaryPath(), QStringLiteral("upgrade-") + sources.stem + ".zip",
                sources.signedStem.toUtf8(), sources.previous, sources.out, sources.key,
                sources.rollout, deltas)) {
            return report(kFailed, *fault);
        }
    }
    for (const auto& file : deltas.files) {
        if (!file->commit()) {
            return report(kFailed, QStringLiteral("cannot write %1").arg(file->finalPath()));
        }
    }
    if (!archive.commit()) {
        return report(kFailed, QStringLiteral("cannot write %1").arg(archive.finalPath()));
    }
    if (!ini.commit()) {
        QFile::remove(archive.finalPath());
        return report(kFailed, QStringLiteral("cannot write %1").arg(ini.finalPath()));
    }
    return kDone;
}

}  // namespace

int package(const QStringList& arguments) {
    const QStringList known = {"--key",    "--stem", "--name",       "--version", "--date",
                               "--marker", "--run",  "--valid-days", "--rollout", "--channel"};
    const auto options = Options::parse(arguments, known, {2}, {QStringLiteral("--previous")});
    if (!options ||
        !options->require({"--key", "--stem", "--name", "--version", "--date", "--marker"})) {
        return kUsage;
    }
    const auto value = [&](const char* name) { return options->named.value(QLatin1String(name)); };
    const QString stem = value("--stem");
    if (stem.isEmpty() || stem.contains(u'/') || stem.startsWith(u'.')) {
        return report(kUsage, QStringLiteral("--stem must be a plain file stem"));
    }
    if (const std::optional<QString> fault =
            releaseFault(stem, value("--version"), value("--date"))) {
        return report(kFailed, *fault);
    }
    const auto key = loadPrivateKey(value("--key"));
    if (!key) {
        return kFailed;
    }
    // A channel's packages lie in its own folder below the base, signed for it alone.
    const QString channel = value("--channel");
    if (options->named.contains(QStringLiteral("--channel")) && !isChannelName(channel)) {
        return report(kUsage, QStringLiteral("--channel takes letters, digits and '-', at most "
                                             "32 characters"));
    }
    const QString signedFor = signedStem(stem, channel);
    const QString source = options->plain[0];
    const QString out =
        signedFor == stem ? options->plain[1] : QDir(options->plain[1]).filePath(channel);
    if (!QFileInfo(source).isDir()) {
        return report(kFailed, QStringLiteral("%1: no such folder").arg(source));
    }
    if (!QDir().mkpath(out) || !QFileInfo(out).isDir()) {
        return report(kFailed, QStringLiteral("%1: cannot be made as a folder").arg(out));
    }

    PackageDescriptor descriptor;
    descriptor.hledany = value("--marker");
    descriptor.nazev = value("--name");
    descriptor.verze = value("--version");
    descriptor.datum = value("--date");
    if (options->named.contains(QStringLiteral("--run"))) {
        descriptor.run = value("--run");
    }
    const QDate today = QDate::currentDate();
    if (options->named.contains(QStringLiteral("--valid-days"))) {
        bool number = false;
        const int days = value("--valid-days").toInt(&number);
        if (!number || days < 0 || days > 36500) {
            return report(kUsage, QStringLiteral("--valid-days takes a number of days"));
        }
        descriptor.platnost = today.addDays(days).toString(Qt::ISODate);
    }
    std::optional<int> rollout;
    if (options->named.contains(QStringLiteral("--rollout"))) {
        bool number = false;
        rollout = value("--rollout").toInt(&number);
        if (!number || *rollout < 0 || *rollout > 100) {
            return report(kUsage, QStringLiteral("--rollout takes a share from 0 to 100"));
        }
    }
    for (const auto* field : {&descriptor.hledany, &descriptor.nazev, &descriptor.verze,
                              &descriptor.datum, &descriptor.run}) {
        if (*field && !ProfileText::isWritableValue(**field)) {
            return report(kUsage, QStringLiteral("values cannot hold line breaks"));
        }
    }

    const std::optional<std::vector<SourceFile>> listed = sourceFiles(source);
    if (!listed) {
        return kFailed;
    }
    const std::vector<SourceFile>& files = *listed;
    if (files.empty()) {
        return report(kFailed, QStringLiteral("%1 holds no file to package").arg(source));
    }
    for (const SourceFile& f : files) {
        if (!installerTakes(QString::fromUtf8(f.name))) {
            warn(QStringLiteral("%1 matches no installer mask (*.exe *.sql *.chm *.dll *.fr3); "
                                "it will not be installed")
                     .arg(QString::fromUtf8(f.name)));
        }
    }
    const auto present = [&](const QString& name) {
        return std::any_of(files.begin(), files.end(), [&](const SourceFile& f) {
            return f.name == QString(name).replace(u'\\', u'/').toUtf8();
        });
    };
    if (!present(*descriptor.hledany)) {
        warn(QStringLiteral("--marker %1 is not in %2").arg(*descriptor.hledany, source));
    }
    if (descriptor.run && !present(*descriptor.run)) {
        warn(QStringLiteral("--run %1 is not in %2").arg(*descriptor.run, source));
    }

    const QDir outDir(out);
    OutputFile archive(outDir.absoluteFilePath(QStringLiteral("upgrade-") + stem + ".zip"));
    OutputFile ini(outDir.absoluteFilePath(stem + QStringLiteral(".ini")));
    if (!archive.open() || !ini.open()) {
        return report(kFailed, QStringLiteral("%1: cannot write there").arg(out));
    }
    ZipBuilder zip(archive.file());
    for (const SourceFile& f : files) {
        const std::unique_ptr<QFile> in = openListed(f);
        if (!in) {
            return kFailed;
        }
        if (!zip.addFile(QString::fromUtf8(f.name), *in, QFile::decodeName(f.path), f.mode,
                         f.modified)) {
            return report(kFailed, zip.error());
        }
    }
    if (!zip.finish() || !archive.file().flush()) {
        return report(kFailed, zip.error().isEmpty() ? QStringLiteral("cannot write the archive")
                                                     : zip.error());
    }
    const auto hash = signing::sha256OfFile(archive.temporaryPath());
    if (!hash) {
        return report(kFailed, QStringLiteral("cannot read back the archive"));
    }
    descriptor.podpis =
        QString::fromLatin1(key->sign(packageSigningText(signedFor, descriptor, *hash)).toBase64());

    ProfileText text;  // UTF-8 with BOM
    const QString section = QStringLiteral("DEFINICE");
    text.setValue(section, QStringLiteral("hledany"), *descriptor.hledany);
    text.setValue(section, QStringLiteral("nazev"), *descriptor.nazev);
    text.setValue(section, QStringLiteral("verze"), *descriptor.verze);
    text.setValue(section, QStringLiteral("datum"), *descriptor.datum);
    if (descriptor.run) {
        text.setValue(section, QStringLiteral("run"), *descriptor.run);
    }
    if (descriptor.platnost) {
        text.setValue(section, QStringLiteral("platnost"), *descriptor.platnost);
    }
    text.setValue(section, QStringLiteral("archiv"), QString::fromLatin1(*hash));
    text.setValue(section, QStringLiteral("podpis"), *descriptor.podpis);
    if (ini.file().write(text.encode()) < 0 || !ini.file().flush()) {
        return report(kFailed, QStringLiteral("cannot write the descriptor"));
    }
    // What the installer will read must verify before anything is published.
    if (checkPackage(ini.temporaryPath(), archive.temporaryPath(), signedFor, {key->publicKey()},
                     today) != PackageCheck::Verified) {
        return report(kFailed, QStringLiteral("the package does not verify as written"));
    }
    return publishAll(archive, ini,
                      {options->repeated.value(QStringLiteral("--previous")), stem, signedFor, out,
                       *key, rollout});
}

}  // namespace selvanix::publish
