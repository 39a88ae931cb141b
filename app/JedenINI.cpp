#include "PointSize.h"
#include "TFrDRozbal.h"
#include "ui/Label3D.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace selvanix {

void TFrDRozbal::JedenINI() {
    ListBox->clear();
    engine_.JedenINI();
    showDescriptor();
}

void TFrDRozbal::showDescriptorFile(const QString& path) {
    state.Cestaini = path;
    JedenINI();
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
