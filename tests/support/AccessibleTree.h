#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace selvanix::test {

// A node of this program's accessibility tree as a screen reader gets it over AT-SPI.
struct AccessibleNode {
    QString path;  // child indexes from the application, "/0/2/1"
    QString role;  // AT-SPI's role name: "frame", "push button", "filler", ...
    QString name;
    bool showing = false;
    int children = 0;
};

// This program's windows as a real AT-SPI client reads them; the event loop runs meanwhile, as
// it must to answer. Empty when the client found no tree, with the reason in failure.
std::vector<AccessibleNode> readAccessibleTree(QString* failure);

// The showing nodes a screen reader announces with no name, "role at path": every control and
// every leaf; a container with children needs none.
QStringList unnamedNodes(const std::vector<AccessibleNode>& tree);

// The showing nodes with this name.
std::vector<AccessibleNode> nodesNamed(const std::vector<AccessibleNode>& tree,
                                       const QString& name);

}  // namespace selvanix::test
