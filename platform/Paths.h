#pragma once

#include <QString>

namespace selvanix::platform {

// Turns an installer path ("C:\Prog\Tool", "D:", "/opt/tool", "\upgrade.kac") into a host path
// through the drive map: every '\' becomes '/', doubled separators collapse. A drive letter
// without a drive gives an empty path, which every file operation refuses.
QString toHostPath(const QString& path);

// True when the path starts with a drive letter and a colon.
bool hasDrive(const QString& path);

// A path as a message shows it: a host path ("/tmp/x\\upgrade.kac") with '/' only, doubled
// separators collapsed; anything else ("C:\\Prog\\upgrade.kac", a bare name) as it is held.
QString displayPath(const QString& path);
// A path as a Linux shell writes it: displayPath without separators at its end ("/srv/a\\"
// and "/srv/a/" are "/srv/a"; "/" stays).
QString linuxPath(const QString& path);

// A text from a server or an archive as one line shows it: control characters, line and
// paragraph separators as '?'.
QString printableText(const QString& text);

}  // namespace selvanix::platform
