#include "ExerciseExtraction.h"

#include "archive/ArcException.h"
#include "archive/Pakovna.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace selvanix::fuzz {

namespace {

// Every name below the folder, links not followed, with what a write could change.
QStringList snapshot(const QString& folder) {
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        QString line =
            path + QStringLiteral(" mode=%1 size=%2").arg(st.st_mode, 0, 8).arg(st.st_size);
        if (S_ISLNK(st.st_mode)) {
            line += QStringLiteral(" -> ") + QFileInfo(path).symLinkTarget();
        } else if (S_ISREG(st.st_mode)) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly)) {
                line +=
                    u' ' +
                    QString::fromLatin1(
                        QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex());
            }
        }
        lines << line;
    }
    lines.sort();
    return lines;
}

bool plant(const QString& target, const QString& link) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

}  // namespace

QString exerciseExtraction(const QByteArray& bytes, const QString& root) {
    const QString outside = root + QStringLiteral("/outside");
    const QString target = root + QStringLiteral("/target");
    const QString archive = root + QStringLiteral("/in.zip");
    if (!QFileInfo::exists(outside)) {
        QDir().mkpath(outside + QStringLiteral("/dir"));
        QFile file(outside + QStringLiteral("/file.exe"));
        if (file.open(QIODevice::WriteOnly)) {
            file.write("outside");
        }
    }
    QDir(target).removeRecursively();
    QDir().mkpath(target + QStringLiteral("/a"));
    // Links where entries often go: a folder at the top and deeper, files at the name.
    for (const char* name : {"/data", "/lib", "/a/b", "/pts"}) {
        plant(outside + QStringLiteral("/dir"), target + QLatin1String(name));
    }
    for (const char* name : {"/app.exe", "/a/x.dll", "/setup.exe"}) {
        plant(outside + QStringLiteral("/file.exe"), target + QLatin1String(name));
    }
    {
        QFile file(archive);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) < 0) {
            return QStringLiteral("cannot write the archive");
        }
    }
    const QStringList before = snapshot(outside);

    TPakovna arc;
    arc.FileName = archive;
    arc.Password = "fuzz";
    // The fixed password once; asked again, the entry is skipped as a user would.
    arc.OnPassword = [](TArcBaseArchiver&, const QString&, QByteArray& password, bool& skip) {
        skip = password == "fuzz";
        password = "fuzz";
    };
    arc.OnProcessFileFailure = [](TPakovna&, const QString&, TArcProcessOperation, int, int,
                                  const QString&, TArcAction& action) { action = fxaIgnore; };
    arc.OnConfirmOverwrite = [](TPakovna&, const QString&, QString&, bool& confirm) {
        confirm = true;
    };
    try {
        arc.OpenArchive(0);
        arc.BaseDir = target;
        arc.ExtractFiles(QStringLiteral("*.*"));
        // The report folder below the target, where a link is planted too.
        arc.SetBaseAnchor(target);
        arc.BaseDir = target + QStringLiteral("\\pts");
        arc.ExtractFiles(QStringLiteral("*.fr3"));
    } catch (const Exception&) {
        // A refused archive is an expected outcome.
    }
    arc.CloseArchive();

    const QStringList after = snapshot(outside);
    QStringList strays =
        QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    strays.removeAll(QStringLiteral("outside"));
    strays.removeAll(QStringLiteral("target"));
    strays.removeAll(QStringLiteral("in.zip"));
    if (before != after) {
        return QStringLiteral("outside changed: ") + after.join(u'\n');
    }
    // Only files and folders are made; the planted links stay links to where they pointed.
    QDirIterator made(target, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                      QDirIterator::Subdirectories);
    while (made.hasNext()) {
        const QString path = made.next();
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        const bool planted =
            S_ISLNK(st.st_mode) && QFileInfo(path).symLinkTarget().startsWith(outside);
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !planted) {
            return QStringLiteral("made something else than a file or folder: ") + path;
        }
    }
    if (!strays.isEmpty()) {
        return QStringLiteral("written beside the target: ") + strays.join(u' ');
    }
    return QString();
}

}  // namespace selvanix::fuzz
