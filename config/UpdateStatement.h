#pragma once

#include "Signature.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace selvanix {

// The signed statement published beside a new Selvanix as selvanixnext.exe.sig:
//   selvanix-update 2
//   purpose selvanixnext
//   version 0.2
//   sha256 <lowercase hex of selvanixnext.exe>
//   podpis <base64 signature over the four lines above, line ends included>
// It names what the file is for and which version it is, so no other file the publisher
// ever signed, and no older Selvanix, passes for the next one.
QByteArray updateSigningText(const QString& version, const QByteArray& sha256);
QByteArray updateStatementText(const QString& version, const QByteArray& sha256,
                               const QByteArray& signature);

enum class UpdateCheck {
    Verified,
    BadSignature,  // no statement, another key, another purpose or another file
    OldForm,       // a bare signature over the file's bytes, as first published: refused
    NotNewer,      // verified, but not newer than the running Selvanix
};
struct UpdateVerdict {
    UpdateCheck check = UpdateCheck::BadSignature;
    QString version;  // as the statement names it
};

// Checks a downloaded file (host path) against its statement file, hashing the file as it
// streams by. An empty runningVersion skips the comparison (the publisher's own check).
UpdateVerdict checkUpdate(const QString& file, const QString& statementFile,
                          const std::vector<signing::PublicKey>& keys,
                          const QString& runningVersion);

}  // namespace selvanix
