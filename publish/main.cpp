// selvanix-publish: the publisher's tool that makes keys, signed packages and signed updates.
#include "Commands.h"
#include "platform/ProcessSignals.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

constexpr char kUsageText[] =
    "usage:\n"
    "  selvanix-publish keygen KEYFILE\n"
    "  selvanix-publish package --key KEYFILE --stem STEM --name NAME --version VER --date DATE\n"
    "                           --marker FILE [--run FILE] [--valid-days N]\n"
    "                           [--previous OLD.zip]... [--rollout PERCENT]\n"
    "                           [--channel NAME] SRCDIR OUTDIR   (OUTDIR/NAME for a channel)\n"
    "  selvanix-publish sign --key KEYFILE --version VERSION FILE\n"
    "  selvanix-publish verify --public-key BASE64 [--channel NAME] (PACKAGEDIR STEM | FILE)\n"
    "  selvanix-publish key --key KEYFILE (--add BASE64 | --revoke BASE64) STATEMENTSFILE\n"
    "  selvanix-publish diff OLD.zip NEW.zip\n";

}  // namespace

int main(int argc, char** argv) {
    selvanix::platform::ignoreFileSizeSignal();
    const QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString command = arguments.isEmpty() ? QString() : arguments.takeFirst();
    using namespace selvanix::publish;
    if (command == u"keygen") {
        return keygen(arguments);
    }
    if (command == u"package") {
        return package(arguments);
    }
    if (command == u"sign") {
        return sign(arguments);
    }
    if (command == u"verify") {
        return verify(arguments);
    }
    if (command == u"key") {
        return keyChange(arguments);
    }
    if (command == u"diff") {
        return diff(arguments);
    }
    std::fputs(kUsageText, stderr);
    return kUsage;
}
