#include "TFrDRozbal.h"
#include "engine/InstallerSettings.h"
#include "platform/FileOps.h"
#include "store/Recovery.h"
#include "ui/DirectoryEdit.h"

#include <QCheckBox>

namespace selvanix {

void TFrDRozbal::NactiCFG() {
    const InstallerSettings settings = readInstallerSettings(WebHTTPGet1.InternetOptions());
    BaseURL = settings.baseUrl;
    Channel = settings.channel;
    PublicKey = settings.publicKey;
    applyDownloadSettings(settings, WebHTTPGet1.InternetOptions());
    const StoredSettings& stored = settings.stored;
    recoverNamedTargets(stored);
    if (stored.program) {
        state.cisloProgramu = *stored.program;
    }
    if (stored.source) {
        state.odkudinstC = *stored.source;
    }
    if (stored.packageFolder) {
        state.odkudCesta = *stored.packageFolder;
    }
    if (stored.targetMode) {
        state.cilinstalace = *stored.targetMode;
    }
    for (int i = 0; i < kTargetCount; ++i) {
        if (stored.targets[i]) {
            state.KamCesta[i] = *stored.targets[i];
        }
    }
    if (stored.koukani) {
        state.Koukani = *stored.koukani;
        CbKoukani->setChecked(state.Koukani == u"Y");
    }
    if (stored.automaticky) {
        state.Automaticky = *stored.automaticky;
        CbAutomaticky->setChecked(state.Automaticky == u"Y");
    }
}

void TFrDRozbal::UlozCFG(const QString& kam, platform::LinkAtName links) {
    state.odkudCesta = EdOdkudCesta->text();
    const SettingsToWrite settings = request().settingsFor(QString(), state.odkudCesta);
    state.KamCesta = settings.targets;
    state.Koukani = settings.koukani ? QStringLiteral("Y") : QStringLiteral("N");
    state.Automaticky = settings.automaticky ? QStringLiteral("Y") : QStringLiteral("N");
    writeSettings(settingsFileName(kam), settings, links);
}

}  // namespace selvanix
