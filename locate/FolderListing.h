#pragma once

#include <QString>
#include <QStringList>

namespace selvanix {

// A folder's entries as the search reads them: every name but hidden and system entries,
// folders as "[name]", "[.]" and "[..]" except at a drive's root, in case-insensitive order.
// Read once when the folder is set.
class FolderListing {
public:
    // folder is an installer path ending in '\'. A folder that cannot be entered raises an
    // input/output error with the platform's code; one that can be entered but not read
    // lists nothing.
    void setDirectory(const QString& folder);
    int count() const { return static_cast<int>(items_.size()); }
    const QString& item(int index) const { return items_.at(index); }
    const QStringList& items() const { return items_; }

private:
    QStringList items_;
};

}  // namespace selvanix
