#pragma once

// The state after an installation and the fetch of the next release, for the assembly's
// tests against nginx, caches and the scripted server on loopback.
#include "delta/ArchiveDelta.h"
#include "delta/AssemblyState.h"
#include "net/WebHTTPGet.h"
#include "platform/handles/File.h"
#include "support/ReleasePair.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

namespace selvanix::test {

inline const QString kName = QStringLiteral("upgrade-brodelik.zip");

inline QByteArray sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// The check a signed descriptor makes: only the archive it names passes.
inline ArchiveHashCheck namesOnly(const QByteArray& archive) {
    return [expected = sha256(archive)](const QByteArray& sha) { return sha == expected; };
}

struct Fetched {
    bool ok = false;
    QByteArray bytes;
    qint64 transferred = 0;  // what came over the wire, as the download window counts it
    qint64 reused = 0;
};

class ArchiveDeltaTest : public ::testing::Test {
protected:
    QString downloads() const { return dl.path(); }
    QString path(const QString& name) const { return dl.path() + u'/' + name; }

    // The state after an installation of `archive`: its archive kept, its own name gone as
    // the next download deletes it.
    void installed(const QByteArray& archive) {
        writeBytes(path(kName), archive);
        keepArchive(downloads(), kName);
        QFile::remove(path(kName));
    }

    Fetched fetch(const QString& url, ArchiveHashCheck check = {}, qint64 mergeGap = kDeltaMergeGap,
                  std::shared_ptr<const VerifiedDelta> delta = nullptr) {
        net::WebHTTPGet get;
        get.DownloadDir = downloads() + u'/';
        get.DestinationName = kName;
        get.URL = url;
        get.AssembleNextFrom(
            archiveDelta(downloads(), kName, std::move(check), mergeGap, std::move(delta)));
        Fetched f;
        f.ok = get.Process(false, false);
        f.bytes = QFile::exists(path(kName)) ? readBytes(path(kName)) : QByteArray();
        f.transferred = get.List().AllSize();
        f.reused = get.Result().reused;
        return f;
    }

    // What the assembly asks for first, from the kept copy's directory.
    qint64 keptTailLength() const {
        return deltaTailLength(*readZipLayout(
            *platform::File::openRegular(path(QString::fromLatin1(keptArchiveName(kName))))));
    }

    // Fetches url as an assembly and stops it from another thread, as Cancel does, once a
    // megabyte came.
    void stopAfterAMegabyte(const QString& url) {
        net::WebHTTPGet get;
        get.DownloadDir = downloads() + u'/';
        get.DestinationName = kName;
        get.URL = url;
        get.AssembleNextFrom(archiveDelta(downloads(), kName, {}));
        std::atomic<bool> ended{false};
        std::thread stopper([&] {
            while (!ended && get.List().AllSize() < (1 << 20)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            get.Stop();
        });
        EXPECT_FALSE(get.Process(false, false));
        ended = true;
        stopper.join();
    }

    QStringList leftovers() const {
        return QDir(downloads())
            .entryList({QStringLiteral("*.assembly*")}, QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dl;
};

}  // namespace selvanix::test
