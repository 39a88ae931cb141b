#include "PointSize.h"
#include "TFrDRozbal.h"
#include "ui/Label3D.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace selvanix {

void TFrDRozbal::JedenINI() {
    ListBox->clear();
    takeDescriptor(packageInfo(readPackageDescriptor(state.Cestaini)));
    showDescriptor();
}

void TFrDRozbal::showDescriptorFile(const QString& path) {
    state.Cestaini = path;
    JedenINI();
}

void TFrDRozbal::takeDescriptor(const PackageInfo& info) {
    state.exac = info.marker;
    state.nazev = info.name;
    state.verze = info.version;
    state.datum = info.date;
    state.run = info.run;
}

void TFrDRozbal::showDescriptor() {
    setOuterSize(400, outerSize().height());
    PanStartBar->hide();
    LbRadekA->setText(QStringLiteral("Vítám Vás při instalaci programu"));
    QFont font = LbRadekA->font();
    font.setPixelSize(pointsToPixels(18));
    LbRadekA->setFont(font);
    PanInst->show();
    BtnKonec->hide();
    ListBox->clear();
    LbRadekB->setText(state.nazev);
    LbVerze->setText(QStringLiteral("verze ") + state.verze);
    LbDatum->setText(state.datum);
}

}  // namespace selvanix
