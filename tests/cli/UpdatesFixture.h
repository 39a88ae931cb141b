#pragma once

// A signed product on nginx, installed into targets, and newer releases published beside it:
// what list, check and notify are run against.
#include "CliFixture.h"
#include "archive/EntryDeflate.h"
#include "config/ReleaseIndex.h"
#include "config/Signature.h"
#include "support/SignedPackage.h"
#include "support/TestNginx.h"

#include <QCryptographicHash>
#include <memory>
#include <optional>

namespace selvanix::test {

class UpdatesFixture : public CommandLineFixture {
protected:
    explicit UpdatesFixture(Program program = Program::Shipped)
        : CommandLineFixture(program), key(signing::PrivateKey::generate()) {
        QDir().mkpath(www());
        nginx = std::make_unique<TestNginx>(www());
    }
    QString www() const { return root.path() + "/www"; }
    QString folder(const QString& name) const { return root.path() + '/' + name; }

    // Version 14,NN of the product on the server, signed as shown unless tampered.
    void publish(int minor, const Values& tamper = {}, const QString& datum = {}) {
        Values v;
        v.verze = QStringLiteral("14,%1").arg(minor);
        v.datum = datum.isEmpty() ? QStringLiteral("%1.6.2026").arg(minor % 28 + 1) : datum;
        Values shown = v;
        if (tamper.verze != Values().verze) {
            shown.verze = tamper.verze;
        }
        shown.namesArchive = tamper.namesArchive;
        writeBytes(www() + "/upgrade-brodelik.zip", packageArchive());
        writeBytes(www() + "/brodelik.ini", signedDescriptor(*key, packageArchive(), v, shown));
    }
    // The signed index beside the package, offering it to share percent of installations.
    void publishRollout(int share) {
        ReleaseIndex index;
        index.product = "brodelik";
        index.archive =
            QCryptographicHash::hash(packageArchive(), QCryptographicHash::Sha256).toHex();
        index.deflate = deflateRecipe();
        index.rollout = share;
        writeBytes(www() + "/upgrade-brodelik.zip.index", index.text(*key));
    }
    // The server, the key unless told, and more lines of section SERVER.
    void settings(bool keyed = true, const QByteArray& server = {}) {
        writeBytes(host() + "/upgrade.kac",
                   "[DEFINICE]\r\n[SERVER]\r\nbaseurl=" + nginx->url("/").toUtf8() +
                       (keyed ? "\r\npublickey=" + key->publicKey().base64() : QByteArray()) +
                       "\r\n" + server);
    }
    // Installs what the server holds into the folders (made first).
    void install(const QStringList& folders) {
        settings();
        QStringList args{"install", "--product", "brodelik", "--source", "internet", "--json"};
        for (const QString& f : folders) {
            QDir().mkpath(f);
            args << "--target" << f;
        }
        const CliRun done = run(args);
        ASSERT_EQ(done.exitCode, 0) << done.out.toStdString() << done.err.toStdString();
    }
    // The requests nginx served since the last call.
    QStringList served() { return nginx->newRequests(); }
    // The JSON "target" events of a run by their folder.
    static std::map<QString, QJsonObject> targets(const CliRun& run) {
        std::map<QString, QJsonObject> byFolder;
        for (const QJsonObject& e : run.events()) {
            if (e.value("event") == "target") {
                byFolder[e.value("target").toString()] = e;
            }
        }
        return byFolder;
    }

    std::optional<signing::PrivateKey> key;
    std::unique_ptr<TestNginx> nginx;
};

}  // namespace selvanix::test
