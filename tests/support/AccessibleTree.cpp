#include "AccessibleTree.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

namespace selvanix::test {

std::vector<AccessibleNode> readAccessibleTree(QString* failure) {
    QProcess client;
    QEventLoop loop;
    QObject::connect(&client, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&client, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    // Debian's python3, where pyatspi lies, whatever python3 the PATH finds first.
    client.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(SELVANIX_ATSPI_TREE), QCoreApplication::applicationName()});
    loop.exec();
    if (client.state() != QProcess::NotRunning || client.exitStatus() != QProcess::NormalExit ||
        client.exitCode() != 0) {
        client.kill();
        client.waitForFinished();
        *failure = QStringLiteral("atspi-tree failed: ") +
                   QString::fromUtf8(client.readAllStandardError());
        return {};
    }
    std::vector<AccessibleNode> tree;
    for (const QByteArray& line : client.readAllStandardOutput().split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        const QJsonObject node = QJsonDocument::fromJson(line).object();
        tree.push_back(
            {node[QLatin1String("path")].toString(), node[QLatin1String("role")].toString(),
             node[QLatin1String("name")].toString(), node[QLatin1String("showing")].toBool(),
             node[QLatin1String("children")].toInt()});
    }
    return tree;
}

QStringList unnamedNodes(const std::vector<AccessibleNode>& tree) {
    QStringList unnamed;
    for (const AccessibleNode& node : tree) {
        const bool container =
            node.children > 0 && (node.role == u"filler" || node.role == u"panel" ||
                                  node.role == u"scroll pane" || node.role == u"viewport");
        if (node.showing && node.name.trimmed().isEmpty() && !container &&
            node.role != u"application") {
            unnamed << node.role + QStringLiteral(" at ") + node.path;
        }
    }
    return unnamed;
}

std::vector<AccessibleNode> nodesNamed(const std::vector<AccessibleNode>& tree,
                                       const QString& name) {
    std::vector<AccessibleNode> named;
    for (const AccessibleNode& node : tree) {
        if (node.showing && node.name == name) {
            named.push_back(node);
        }
    }
    return named;
}

}  // namespace selvanix::test
