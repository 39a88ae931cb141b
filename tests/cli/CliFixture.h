#pragma once

// The command line as a fleet runs it: a copy of the real executable in a folder of its own,
// with its settings beside it, started as a process without any display.
#include "support/SamplePackage.h"
#include "support/TestDrives.h"
#include "support/TestHttpServer.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <map>
#include <vector>

namespace selvanix::test {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    // The JSON lines of standard output; a line that is no JSON object fails the test.
    std::vector<QJsonObject> events() const;
    QJsonObject outcome() const;
    // The first event of that name.
    QJsonObject event(const char* name) const;
};

// Which build of the program: the shipped one, or the one whose runs tests can kill at a
// step, hold at a point or make wait shorter for a lock (selvanix-hooked).
enum class Program { Shipped, Hooked };

// The executable in a folder of its own, where its settings will lie: folder/selvanix.
void copyOfSelvanix(const QString& folder, Program program = Program::Shipped);

// Sends sig to a run held at a pause point and returns once its stop thread has taken it, so
// that the run, released, meets the stop.
void stopHeld(QProcess& p, int sig);

class CommandLineFixture : public ::testing::Test {
protected:
    explicit CommandLineFixture(Program program = Program::Shipped);

    // A copy of the executable beside which the settings lie.
    QString host() const { return root.path() + QStringLiteral("/host"); }
    QString target() const { return root.path() + QStringLiteral("/target"); }
    QString stateHome() const { return root.path() + QStringLiteral("/state"); }
    QString logPath() const { return stateHome() + QStringLiteral("/selvanix/selvanix.log"); }
    // Settings: DEFINICE lines, and the SERVER section pointing at the test server.
    void writeSettings(const QByteArray& definice = {}, const QByteArray& server = {});
    void servePackage(const QByteArray& archive = packageArchive());

    CliRun run(const QStringList& args) const;
    // Started and left running; for signals.
    QProcess* start(const QStringList& args);
    // The output so far, read until it holds marker or ten seconds passed.
    static QByteArray outputUntil(QProcess& p, const QByteArray& marker);
    // Sends the signal, waits for the end and returns the exit code and all the output.
    static CliRun stop(QProcess& p, int signal, QByteArray outSoFar);

    QTemporaryDir root;
    // Environment variables the commands get besides the test's own, no display among them.
    std::map<QString, QString> env;
    TestHttpServer server;
    std::vector<std::unique_ptr<QProcess>> running;
};

}  // namespace selvanix::test
