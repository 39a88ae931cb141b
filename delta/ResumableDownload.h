#pragma once

#include <QString>
#include <memory>

#include "net/BodyAssembly.h"

namespace selvanix {

// A download of the file NAME into the folder (host path) that, cut or stopped, goes on the
// next time from the bytes it holds, while the server's file is the same (size, validator and
// last bytes): its last bytes come first, then the rest as ranges. A server that ignores
// ranges sends it whole. Nothing when the folder cannot be opened.
std::shared_ptr<net::BodyAssembly> resumableDownload(const QString& hostFolder,
                                                     const QString& name);

// What a resumable download of NAME left in the folder is gone.
void forgetResumable(const QString& hostFolder, const QString& name);

}  // namespace selvanix
