#pragma once

// Two versions of a package and targets that hold one or the other, for the tests of what
// runs do to a target: killed, stopped, or beside another run.
#include "CliFixture.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace selvanix::test {

// Every file below a folder with its SHA-256; the started program's marker aside.
inline std::map<QString, QByteArray> hashes(const QString& folder) {
    std::map<QString, QByteArray> found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QDir(folder).relativeFilePath(path);
        if (name != QLatin1String("started.txt")) {
            found[name] = QCryptographicHash::hash(readBytes(path), QCryptographicHash::Sha256);
        }
    }
    return found;
}

inline QStringList leftovers(const QString& folder) {
    static const QRegularExpression temporary(QStringLiteral("/\\.[^/]*\\.[0-9a-f]{16}\\.tmp$"));
    QStringList found;
    for (const auto& [name, hash] : hashes(folder)) {
        if (temporary.match(u'/' + name).hasMatch() || name == ".selvanix/journal") {
            found << name;
        }
    }
    return found;
}

// The older package: the usual one and a plugin. The newer one changes each of the usual
// files, drops the plugin, adds some and writes two larger files in many blocks, so kill
// points fall within files too.
inline QByteArray newerArchive() {
    ZipWriter zip;
    const auto add = [&](const QByteArray& name, const QByteArray& data, std::uint16_t method) {
        ZipEntry e;
        e.name = name;
        e.data = data;
        e.method = method;
        if (name == "brodelik.exe") {
            e.versionMadeBy = 0x031E;
            e.externalAttr = 0100755u << 16;
        }
        zip.entries.push_back(e);
    };
    add("brodelik.exe", kProgram + "# 2\n", 8);
    add("data/brodelik.sql", "create table u;", 8);
    add("brodelik.chm", "help, second edition", 8);
    add("lib/engine.dll", "dll 2", 8);
    add("reports/list.fr3", "<report v='2'/>", 8);
    for (int i = 0; i < 12; ++i) {
        add("lib/m" + QByteArray::number(i) + ".dll", "module " + QByteArray::number(i), 8);
    }
    QByteArray big;
    for (int i = 0; big.size() < (1 << 20); ++i) {
        big += QByteArray::number(i * 7919) + '\n';
    }
    add("big1.dll", big, 0);
    add("extra/big2.fr3", big, 0);
    return zip.build();
}

// Runs that tests kill at a step or hold at a point: the program with those points.
class Versions : public CommandLineFixture {
protected:
    Versions() : CommandLineFixture(Program::Hooked) {}
    void SetUp() override {
        writeSettings();
        // The newer release no longer has lib/legacy.dll: an update drops it.
        ZipEntry legacy;
        legacy.name = "lib/legacy.dll";
        legacy.data = "a plugin the next release left out";
        older = packageArchive({legacy});
        newer = newerArchive();
    }
    QString t(int i) const { return root.path() + QStringLiteral("/t%1").arg(i); }
    QString pkg() const { return root.path() + QStringLiteral("/pkg"); }
    void offer(const QByteArray& archive) const {
        writeBytes(pkg() + "/brodelik.ini", descriptor(true));
        writeBytes(pkg() + "/upgrade-brodelik.zip", archive);
    }
    QStringList install(const QStringList& targets) const {
        QStringList args{"install", "--product", "brodelik", "--source", pkg(), "--json"};
        for (const QString& target : targets) {
            args << "--target" << target;
        }
        return args;
    }
    QByteArray older;
    QByteArray newer;
};

}  // namespace selvanix::test
