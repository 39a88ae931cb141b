#include "Commands.h"
#include "KeyFile.h"
#include "Options.h"
#include "StagedFile.h"
#include "ZipBuilder.h"
#include "config/PackageSignature.h"
#include "profile/ProfileText.h"

#include <sys/stat.h>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

namespace selvanix::publish {

namespace {

// The masks the installer extracts by.
bool installerTakes(const QString& relativeName) {
    const QString name = relativeName.mid(relativeName.lastIndexOf(u'/') + 1);
    for (const char* ending : {".exe", ".sql", ".chm", ".dll", ".fr3"}) {
        if (name.endsWith(QLatin1String(ending), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

struct SourceFile {
    QByteArray name;  // relative, '/' between folders, UTF-8: the archive's order
    QString path;
    unsigned mode;
    qint64 modified;
};

// Every regular file below the folder in byte order of its name; links are left out.
std::vector<SourceFile> sourceFiles(const QString& folder) {
    std::vector<SourceFile> files;
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    const QDir root(absolute);
    QDirIterator it(absolute, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
            warn(QStringLiteral("%1 is not a regular file; left out").arg(path));
            continue;
        }
        files.push_back({root.relativeFilePath(path).toUtf8(), path,
                         static_cast<unsigned>(st.st_mode & 0777), st.st_mtim.tv_sec});
    }
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
    return files;
}

}  // namespace

int package(const QStringList& arguments) {
    const QStringList known = {"--key",  "--stem",   "--name", "--version",
                               "--date", "--marker", "--run"};
    const auto options = Options::parse(arguments, known, {2});
    if (!options ||
        !options->require({"--key", "--stem", "--name", "--version", "--date", "--marker"})) {
        return kUsage;
    }
    const auto value = [&](const char* name) { return options->named.value(QLatin1String(name)); };
    const QString stem = value("--stem");
    if (stem.isEmpty() || stem.contains(u'/') || stem.startsWith(u'.')) {
        return report(kUsage, QStringLiteral("--stem must be a plain file stem"));
    }
    const auto key = loadPrivateKey(value("--key"));
    if (!key) {
        return kFailed;
    }
    const QString source = options->plain[0];
    const QString out = options->plain[1];
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
    for (const auto* field : {&descriptor.hledany, &descriptor.nazev, &descriptor.verze,
                              &descriptor.datum, &descriptor.run}) {
        if (*field && !ProfileText::isWritableValue(**field)) {
            return report(kUsage, QStringLiteral("values cannot hold line breaks"));
        }
    }

    const std::vector<SourceFile> files = sourceFiles(source);
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
    StagedFile archive(outDir.absoluteFilePath(QStringLiteral("upgrade-") + stem + ".zip"));
    StagedFile ini(outDir.absoluteFilePath(stem + QStringLiteral(".ini")));
    if (!archive.open() || !ini.open()) {
        return report(kFailed, QStringLiteral("%1: cannot write there").arg(out));
    }
    ZipBuilder zip(archive.file());
    for (const SourceFile& f : files) {
        if (!zip.addFile(QString::fromUtf8(f.name), f.path, f.mode, f.modified)) {
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
        QString::fromLatin1(key->sign(packageSigningText(descriptor, *hash)).toBase64());

    ProfileText text;  // UTF-8 with BOM
    const QString section = QStringLiteral("DEFINICE");
    text.setValue(section, QStringLiteral("hledany"), *descriptor.hledany);
    text.setValue(section, QStringLiteral("nazev"), *descriptor.nazev);
    text.setValue(section, QStringLiteral("verze"), *descriptor.verze);
    text.setValue(section, QStringLiteral("datum"), *descriptor.datum);
    if (descriptor.run) {
        text.setValue(section, QStringLiteral("run"), *descriptor.run);
    }
    text.setValue(section, QStringLiteral("podpis"), *descriptor.podpis);
    if (ini.file().write(text.encode()) < 0 || !ini.file().flush()) {
        return report(kFailed, QStringLiteral("cannot write the descriptor"));
    }
    // What the installer will read must verify before anything is published.
    if (checkPackage(ini.temporaryPath(), archive.temporaryPath(), key->publicKey()) !=
        PackageCheck::Verified) {
        return report(kFailed, QStringLiteral("the package does not verify as written"));
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

}  // namespace selvanix::publish
