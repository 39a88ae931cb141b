#include "PointSize.h"
#include "TFrDRozbal.h"
#include "config/PackageDescriptor.h"
#include "ui/Label3D.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace selvanix {

void TFrDRozbal::JedenINI() {
    setOuterSize(400, outerSize().height());
    PanStartBar->hide();
    LbRadekA->setText(QStringLiteral("Vítám Vás při instalaci programu"));
    QFont font = LbRadekA->font();
    font.setPixelSize(pointsToPixels(18));
    LbRadekA->setFont(font);
    PanInst->show();
    BtnKonec->hide();

    ListBox->clear();
    const PackageDescriptor descriptor = readPackageDescriptor(state.Cestaini);
    if (descriptor.hledany) {
        state.exac = *descriptor.hledany;
    }
    if (descriptor.nazev) {
        state.nazev = *descriptor.nazev;
    }
    if (descriptor.verze) {
        state.verze = *descriptor.verze;
    }
    if (descriptor.datum) {
        state.datum = *descriptor.datum;
    }
    if (descriptor.run) {
        state.run = *descriptor.run;
    }

    LbRadekB->setText(state.nazev);
    LbVerze->setText(QStringLiteral("verze ") + state.verze);
    LbDatum->setText(state.datum);
}

}  // namespace selvanix
