#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "TFrDRozbal.h"
#include "engine/SelfUpdate.h"
#include "platform/ErrorReport.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "platform/ShellOpen.h"

namespace selvanix {

void TFrDRozbal::BtnAktualClick() {
    const UpdateDownload update = fetchUpdate(fetcher_, *this, BaseURL, PublicKey);
    // The report comes before the window goes: a message box opened after quit() would
    // return at once, unseen.
    const QString failed = QStringLiteral("Novou verzi programu Selvanix se nepodařilo stáhnout. ");
    // With a publisher key, only a new copy signed by it may start; otherwise this one stays.
    if (update.signatureRequired) {
        if (!update.complete) {
            platform::reportError(failed + update.problem);
            return;
        }
        if (!update.trusted) {
            platform::reportError(
                update.refusal.isEmpty()
                    ? QStringLiteral("Novou verzi programu Selvanix se nepodařilo ověřit, proto "
                                     "nebyla spuštěna")
                    : update.refusal);
            return;
        }
    }
    if (!update.complete) {
        platform::reportError(failed + update.problem);
    }
    if (!update.path.trimmed().isEmpty()) {
        close();
        QCoreApplication::quit();
        if (update.complete) {
            makeRunnable(update.path);
        }
        platform::ShellOpen(update.path, QString(), QString(), platform::SW_SHOWNORMAL);
    }
}

}  // namespace selvanix
