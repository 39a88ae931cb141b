// The shipped playbook, run by a real ansible-playbook against several local hosts, each with
// its own Selvanix, settings and target, fed by nginx on loopback.
#include "CliFixture.h"
#include "support/SignedPackage.h"
#include "support/TestNginx.h"

#include <QRegularExpression>
#include <QStandardPaths>

namespace selvanix::test {
namespace {

struct Recap {
    int changed = -1;
    int failed = -1;
};

// "h1 : ok=2 changed=1 unreachable=0 failed=0 ..." per host.
std::map<QString, Recap> recapOf(const QString& out) {
    std::map<QString, Recap> hosts;
    static const QRegularExpression line(
        QStringLiteral("^(\\S+)\\s*:\\s*ok=\\d+\\s+changed=(\\d+)\\s+unreachable=\\d+\\s+"
                       "failed=(\\d+)"),
        QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(out); it.hasNext();) {
        const auto m = it.next();
        hosts[m.captured(1)] = {m.captured(2).toInt(), m.captured(3).toInt()};
    }
    return hosts;
}

class Ansible : public ::testing::Test {
protected:
    Ansible() {
        key = signing::PrivateKey::generate();
        const QByteArray archive = packageArchive();
        const QByteArray ini = signedDescriptor(*key, archive, Values{}, Values{});
        writeBytes(root.path() + "/www/good/brodelik.ini", ini);
        writeBytes(root.path() + "/www/good/upgrade-brodelik.zip", archive);
        // Signed, then changed on the server: the signature no longer holds.
        writeBytes(root.path() + "/www/tampered/brodelik.ini", ini);
        QByteArray altered = archive;
        altered[altered.size() / 2] = static_cast<char>(altered[altered.size() / 2] ^ 1);
        writeBytes(root.path() + "/www/tampered/upgrade-brodelik.zip", altered);
    }

    QString hostFolder(const QString& host) const { return root.path() + u'/' + host; }

    // A host with its own copy of Selvanix, settings pointing at folder on the server.
    void addHost(const QString& host, const QString& folder) {
        const QString dir = hostFolder(host);
        QDir().mkpath(dir + "/target");
        copyOfSelvanix(dir);
        writeBytes(dir + "/upgrade.kac", "[DEFINICE]\r\nprogram=1\r\n[SERVER]\r\nbaseurl=" +
                                             nginx->url("/" + folder + "/").toUtf8() +
                                             "\r\npublickey=" + key->publicKey().base64() + "\r\n");
        inventory += host + " ansible_connection=local ansible_python_interpreter=" +
                     QStandardPaths::findExecutable("python3") + " selvanix_binary=" + dir +
                     "/selvanix selvanix_targets='[\"" + dir + "/target\"]'\n";
    }

    QString play() {
        writeBytes(
            root.path() + "/inventory.ini",
            ("[selvanix]\n" + inventory + "[selvanix:vars]\nselvanix_product=brodelik\n").toUtf8());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8");
        env.insert("ANSIBLE_HOME", root.path() + "/ansible-home");
        env.insert("ANSIBLE_LOCAL_TEMP", root.path() + "/ansible-tmp");
        env.insert("ANSIBLE_REMOTE_TEMP", root.path() + "/ansible-remote-tmp");
        env.insert("ANSIBLE_NOCOLOR", "1");
        env.insert("XDG_STATE_HOME", root.path() + "/state");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("ansible-playbook"),
                {"-i", root.path() + "/inventory.ini", "--forks", "4",
                 QStringLiteral(SELVANIX_SOURCE_DIR "/examples/ansible/install.yml")});
        EXPECT_TRUE(p.waitForFinished(240000));
        return QString::fromUtf8(p.readAll());
    }

    QTemporaryDir root;
    std::optional<signing::PrivateKey> key;
    std::unique_ptr<TestNginx> nginx;
    QString inventory;
};

TEST_F(Ansible, FirstRunChangesEveryHostTheSecondNoneAndATamperedHostFailsAlone) {
    ASSERT_FALSE(QStandardPaths::findExecutable("ansible-playbook").isEmpty())
        << "scripts/install-deps installs ansible-core";
    nginx = std::make_unique<TestNginx>(root.path() + "/www");
    ASSERT_TRUE(nginx->ok()) << nginx->error().toStdString();
    for (const char* host : {"desk1", "desk2", "desk3"}) {
        addHost(host, "good");
    }
    const QString first = play();
    std::map<QString, Recap> recap = recapOf(first);
    for (const char* host : {"desk1", "desk2", "desk3"}) {
        EXPECT_EQ(recap[host].changed, 1) << host << "\n" << first.toStdString();
        EXPECT_EQ(recap[host].failed, 0) << host;
        EXPECT_TRUE(QFileInfo(hostFolder(host) + "/target/brodelik.exe").isFile()) << host;
    }

    const QString second = play();
    recap = recapOf(second);
    for (const char* host : {"desk1", "desk2", "desk3"}) {
        EXPECT_EQ(recap[host].changed, 0) << host << "\n" << second.toStdString();
        EXPECT_EQ(recap[host].failed, 0) << host;
    }

    addHost("desk4", "tampered");
    const QString third = play();
    recap = recapOf(third);
    EXPECT_EQ(recap["desk4"].failed, 1) << third.toStdString();
    EXPECT_TRUE(third.contains(
        QRegularExpression(QStringLiteral("fatal: \\[desk4\\]: FAILED! => \\{.*\"rc\": 4"))))
        << third.toStdString();
    EXPECT_FALSE(QFileInfo::exists(hostFolder("desk4") + "/target/brodelik.exe"));
    for (const char* host : {"desk1", "desk2", "desk3"}) {
        EXPECT_EQ(recap[host].failed, 0) << host;
        EXPECT_EQ(recap[host].changed, 0) << host;
    }
}

}  // namespace
}  // namespace selvanix::test
