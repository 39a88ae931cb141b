#include "CliFixture.h"

#include <QThread>
#include <csignal>

#include <signal.h>
#include <unistd.h>

namespace selvanix::test {

void stopHeld(QProcess& p, int sig) {
    const auto pid = static_cast<pid_t>(p.processId());
    ::kill(pid, sig);
    const quint64 bit = quint64{1} << (sig - 1);
    for (int i = 0; i < 500; ++i) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly)) {
            return;
        }
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("ShdPnd:");
        if (at < 0 ||
            (text.mid(at + 7, 24).trimmed().left(16).toULongLong(nullptr, 16) & bit) == 0) {
            break;
        }
        QThread::msleep(10);
    }
    QThread::msleep(50);
}

namespace {

QProcessEnvironment withoutDisplay(const QString& stateHome,
                                   const std::map<QString, QString>& extra) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // English unless a test asks for another language.
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "http_proxy", "https_proxy",
          "HTTPS_PROXY", "no_proxy", "NO_PROXY", "LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
        env.remove(QString::fromLatin1(name));
    }
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
    for (const auto& [name, value] : extra) {
        env.insert(name, value);
    }
    return env;
}

}  // namespace

std::vector<QJsonObject> CliRun::events() const {
    std::vector<QJsonObject> result;
    for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        EXPECT_TRUE(doc.isObject()) << "not a JSON object: " << line.toStdString();
        result.push_back(doc.object());
    }
    return result;
}

QJsonObject CliRun::outcome() const {
    const std::vector<QJsonObject> all = events();
    return all.empty() ? QJsonObject() : all.back();
}

QJsonObject CliRun::event(const char* name) const {
    for (const QJsonObject& e : events()) {
        if (e.value(QStringLiteral("event")).toString() == QLatin1String(name)) {
            return e;
        }
    }
    return {};
}

CommandLineFixture::CommandLineFixture(Program program) {
    QDir().mkpath(host());
    QDir().mkpath(target());
    copyOfSelvanix(host(), program);
}

void copyOfSelvanix(const QString& folder, Program program) {
    // A hard link where the file system allows it: the copy only needs its own folder.
    const QByteArray from =
        QFile::encodeName(program == Program::Hooked ? QStringLiteral(SELVANIX_HOOKED_BINARY)
                                                     : QStringLiteral(SELVANIX_BINARY));
    const QByteArray to = QFile::encodeName(folder + QStringLiteral("/selvanix"));
    if (::link(from.constData(), to.constData()) != 0) {
        EXPECT_TRUE(QFile::copy(QString::fromLocal8Bit(from), QString::fromLocal8Bit(to)));
    }
}

void CommandLineFixture::writeSettings(const QByteArray& definice, const QByteArray& server_) {
    writeBytes(host() + QStringLiteral("/upgrade.kac"),
               "[DEFINICE]\r\n" + definice + "[SERVER]\r\nbaseurl=" +
                   server.url(QStringLiteral("/")).toUtf8() + "\r\n" + server_);
}

void CommandLineFixture::servePackage(const QByteArray& archive) {
    server.route("/brodelik.ini", httpReply(200, descriptor(true)));
    server.route("/upgrade-brodelik.zip", httpReply(200, archive));
}

CliRun CommandLineFixture::run(const QStringList& args) const {
    QProcess p;
    p.setProcessEnvironment(withoutDisplay(stateHome(), env));
    p.start(host() + QStringLiteral("/selvanix"), args);
    CliRun result;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "the command did not end";
        return result;
    }
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.out = p.readAllStandardOutput();
    result.err = p.readAllStandardError();
    return result;
}

QProcess* CommandLineFixture::start(const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(withoutDisplay(stateHome(), env));
    p->start(host() + QStringLiteral("/selvanix"), args);
    running.push_back(std::move(p));
    return running.back().get();
}

QByteArray CommandLineFixture::outputUntil(QProcess& p, const QByteArray& marker) {
    QByteArray out;
    for (int i = 0; i < 500 && !out.contains(marker); ++i) {
        p.waitForReadyRead(20);
        out += p.readAllStandardOutput();
    }
    return out;
}

CliRun CommandLineFixture::stop(QProcess& p, int signal, QByteArray outSoFar) {
    ::kill(static_cast<pid_t>(p.processId()), signal);
    CliRun result;
    EXPECT_TRUE(p.waitForFinished(60000));
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.out = outSoFar + p.readAllStandardOutput();
    result.err = p.readAllStandardError();
    return result;
}

}  // namespace selvanix::test
