#include "TFrDRozbal.h"

#include "ProductPictures.h"
#include "engine/ProductTable.h"
#include "platform/FileOps.h"
#include "ui/Accessibility.h"
#include "ui/BandLabel.h"
#include "ui/BitBtn.h"
#include "ui/DirectoryEdit.h"
#include "ui/Guard.h"
#include "ui/Label3D.h"
#include "ui/ListImage.h"
#include "ui/Look.h"
#include "ui/RadioGroup.h"
#include "ui/WindowFit.h"
#include "ui/WrappedText.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QWindow>
#include <algorithm>

namespace selvanix {

namespace {

constexpr int kBottomBarHeight = 31;
constexpr int kHintHeight = 16;

const std::array<const char*, kTargetCount> kTargetSuffixes{"I",  "II",  "III",  "IV", "V",
                                                            "VI", "VII", "VIII", "IX", "X"};

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QVBoxLayout* column(QWidget* owner) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

ui::Label3D* bannerLine(QWidget* parent, const char* name, int height) {
    auto* label = named(new ui::Label3D(parent), name);
    label->setFixedHeight(height);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* tealLine(QWidget* parent, const char* name) {
    auto* label = named(new ui::BandLabel(parent), name);
    label->setFixedHeight(31);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(ui::timesNewRoman(27));
    return label;
}

QProgressBar* smoothBar(QWidget* parent, const char* name, int height) {
    auto* bar = named(new QProgressBar(parent), name);
    bar->setFixedHeight(height);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

}  // namespace

TFrDRozbal::TFrDRozbal(QWidget* parent) : QWidget(parent) {
    ui::installAccessibility();
    setObjectName(QStringLiteral("FrDRozbal"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Instalace programu"));
    setFont(ui::sansSerif(11));
    move(35, 12);

    // The screens keep their size; on a screen too small for them the window scrolls.
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    ScrollView = named(new QScrollArea(this), "ScrollView");
    ScrollView->setFrameShape(QFrame::NoFrame);
    ScrollView->setFocusPolicy(Qt::NoFocus);  // the control that takes the focus is scrolled to
    ScrollView->setWidgetResizable(true);
    window->addWidget(ScrollView);
    PanContent = named(new QWidget, "PanContent");
    auto* screens = new QHBoxLayout(PanContent);
    screens->setContentsMargins(0, 0, 0, 0);
    screens->setSpacing(0);
    buildFirstScreen();
    buildRunScreen();
    screens->addWidget(PanUvod, 0, Qt::AlignLeft);
    screens->addWidget(PanStart, 1);
    ScrollView->setWidget(PanContent);
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this,
                          [this](QWidget*, QWidget* now) { scrollTo(now); });

    connect(RgPrg, &ui::RadioGroup::userChanged, this, ui::guarded([this] { RGPrgClick(); }));
    connect(RgZdroj, &ui::RadioGroup::userChanged, this, ui::guarded([this] { RgZdrojClick(); }));
    connect(BtnOK, &QPushButton::clicked, this, ui::guarded([this] { BtnOKClick(); }));
    connect(BtnAktual, &QPushButton::clicked, this, ui::guarded([this] { BtnAktualClick(); }));
    connect(BtnStorno, &QPushButton::clicked, this, ui::guarded([this] { BtnUvodCloseClick(); }));
    connect(BtnKonec, &QPushButton::clicked, this, ui::guarded([this] { BtnKonecClick(); }));

    Pakovna.Name = QStringLiteral("Pakovna");
    engine_.setLog(&runLog_);

    ui::guarded([this] { FormCreate(); })();
}

// Destroying the controls moves the focus; by then this is no longer a whole window.
TFrDRozbal::~TFrDRozbal() {
    disconnect(focusWatch_);
}

QByteArray TFrDRozbal::targetRowName(const char* control, int index) {
    return QByteArray(control) + kTargetSuffixes[static_cast<std::size_t>(index)];
}

void TFrDRozbal::buildFirstScreen() {
    PanUvod = named(new QWidget(PanContent), "PanUvod");
    PanUvod->setFixedWidth(370);
    QVBoxLayout* screen = column(PanUvod);

    LbNadpisPanUvod = bannerLine(PanUvod, "LbNadpisPanUvod", 51);
    LbNadpisPanUvod->setText(QStringLiteral("TARMOL software"));
    LbNadpisPanUvod->setFont(ui::timesNewRoman(40));
    LbNadpisPanUvod->setStyle(ui::Label3D::Style::Raised);
    LbNadpisPanUvod->setShadowDepth(2);
    screen->addWidget(LbNadpisPanUvod);

    PanUvodLevy = named(new QWidget(PanUvod), "PanUvodLevy");
    PanUvodLevy->setFixedHeight(206);
    auto* left = new QHBoxLayout(PanUvodLevy);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(4);
    RgPrg = named(new ui::RadioGroup(PanUvodLevy), "RgPrg");
    RgPrg->setFixedWidth(210);
    RgPrg->setCaption(QStringLiteral("Výběr programu"));
    RgPrg->setCaptionFont(ui::sansSerif(13, true));
    // Narrow letters let the longest names fit two columns of a 210-pixel group.
    RgPrg->setItemFont(ui::windowsFont(QStringLiteral("Liberation Sans Narrow"), 19, true));
    RgPrg->setColumns(2);
    RgPrg->setItemHeight(40);
    QStringList products;
    for (const Product& p : kProducts) {
        products << QString::fromUtf16(p.displayName);
    }
    RgPrg->setItems(products);
    RgPrg->setPictures(productPictures());
    RgPrg->setItemIndex(0);
    RgPrg->setListIndex(0);
    left->addWidget(RgPrg);

    auto* options = new QVBoxLayout;
    options->setContentsMargins(0, 2, 2, 2);
    options->setSpacing(4);
    RgZdroj = named(new ui::RadioGroup(PanUvodLevy), "RgZdroj");
    RgZdroj->setCaption(QStringLiteral("Výběr zdroje"));
    RgZdroj->setCaptionFont(font());
    RgZdroj->setItems({QStringLiteral("Z internetu"), QStringLiteral("Z pevného disku")});
    RgZdroj->setItemHeight(22);
    RgZdroj->setFixedHeight(68);
    RgZdroj->setItemIndex(0);
    options->addWidget(RgZdroj);
    CbKoukani = named(new QCheckBox(QStringLiteral("Vyjímka"), PanUvodLevy), "CbKoukani");
    CbAutomaticky = named(new QCheckBox(QStringLiteral("Instalovat automaticky"), PanUvodLevy),
                          "CbAutomaticky");
    options->addWidget(CbKoukani);
    options->addWidget(CbAutomaticky);
    ProgressBar1 = smoothBar(PanUvodLevy, "ProgressBar1", 16);
    options->addWidget(ProgressBar1);
    options->addStretch(1);
    left->addLayout(options, 1);
    screen->addWidget(PanUvodLevy);

    PanUvodPravy = named(new QWidget(PanUvod), "PanUvodPravy");
    QVBoxLayout* right = column(PanUvodPravy);
    PanUvodniCheck = named(new QWidget(PanUvodPravy), "PanUvodniCheck");
    auto* rows = new QGridLayout(PanUvodniCheck);
    rows->setContentsMargins(4, 1, 4, 1);
    rows->setHorizontalSpacing(4);
    rows->setVerticalSpacing(0);
    LbOdkudCesta =
        named(new QLabel(QStringLiteral("Umístění instalačního balíčku"), PanUvodniCheck),
              "LbOdkudCesta");
    EdOdkudCesta = named(new ui::DirectoryEdit(PanUvodniCheck), "EdOdkudCesta");
    EdOdkudCesta->setAccessibleName(LbOdkudCesta->text());
    LbOdkudCesta->setBuddy(EdOdkudCesta);
    rows->addWidget(LbOdkudCesta, 0, 0);
    rows->addWidget(EdOdkudCesta, 0, 1);
    for (int i = 0; i < kTargetCount; ++i) {
        LbKamCesta[i] = named(new QLabel(QStringLiteral("Cílový adresář"), PanUvodniCheck),
                              targetRowName("LbKamCesta", i).constData());
        EdKamCesta[i] = named(new ui::DirectoryEdit(PanUvodniCheck),
                              targetRowName("EdKamCesta", i).constData());
        // The visible label is the same on every row; the name tells the rows apart.
        EdKamCesta[i]->setAccessibleName(
            QStringLiteral("Cílový adresář ") +
            QLatin1String(kTargetSuffixes[static_cast<std::size_t>(i)]));
        LbKamCesta[i]->setBuddy(EdKamCesta[i]);
        rows->addWidget(LbKamCesta[i], i + 1, 0);
        rows->addWidget(EdKamCesta[i], i + 1, 1);
    }
    rows->setColumnStretch(1, 1);
    // Rows are 20 high where the panel has room and give way evenly where a window frame
    // leaves less, so no row is ever cut off at the bottom.
    for (QLabel* label : PanUvodniCheck->findChildren<QLabel*>()) {
        label->setSizePolicy(label->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    }
    for (QLineEdit* edit : PanUvodniCheck->findChildren<QLineEdit*>()) {
        edit->setMinimumHeight(17);
        edit->setMaximumHeight(20);
        edit->setSizePolicy(edit->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    }
    PanUvodniCheck->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    right->addWidget(PanUvodniCheck, 1);
    right->addStretch(0);
    screen->addWidget(PanUvodPravy, 1);

    PanUvodDolni = named(new QWidget(PanUvod), "PanUvodDolni");
    PanUvodDolni->setFixedHeight(kBottomBarHeight);
    QVBoxLayout* bar = column(PanUvodDolni);
    LbNovyVyber = named(new ui::BandLabel(PanUvodDolni), "LbNovyVyber");
    LbNovyVyber->setFixedHeight(kHintHeight);
    LbNovyVyber->setAlignment(Qt::AlignCenter);
    LbNovyVyber->hide();
    bar->addWidget(LbNovyVyber);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(4, 3, 4, 3);
    bottom->setSpacing(4);
    bar->addLayout(bottom);
    Label1 = named(new QLabel(QStringLiteral("selvanix 2023"), PanUvodDolni), "Label1");
    Label1->setFont(ui::timesNewRoman(16));
    bottom->addWidget(Label1);
    bottom->addStretch(1);
    BtnAktual =
        named(new ui::BitBtn(ui::BitBtn::Glyph::No, QStringLiteral("Upgrade"), PanUvodDolni),
              "BtnAktual");
    BtnAktual->setFixedWidth(82);
    BtnOK = named(new ui::BitBtn(ui::BitBtn::Glyph::Ok, QStringLiteral("Instalovat"), PanUvodDolni),
                  "BtnOK");
    BtnOK->setFixedWidth(104);
    BtnStorno =
        named(new ui::BitBtn(ui::BitBtn::Glyph::Cancel, QStringLiteral("Storno"), PanUvodDolni),
              "BtnStorno");
    BtnStorno->setFixedWidth(74);
    for (QPushButton* b : {static_cast<QPushButton*>(BtnAktual), static_cast<QPushButton*>(BtnOK),
                           static_cast<QPushButton*>(BtnStorno)}) {
        b->setFixedHeight(25);
        bottom->addWidget(b);
    }
    screen->addWidget(PanUvodDolni);
}

void TFrDRozbal::buildRunScreen() {
    PanStart = named(new QWidget(PanContent), "PanStart");
    QVBoxLayout* screen = column(PanStart);

    LbNadpisPanStart = bannerLine(PanStart, "LbNadpisPanStart", 51);
    LbNadpisPanStart->setText(QStringLiteral("TARMOL software"));
    LbNadpisPanStart->setFont(ui::timesNewRoman(40));
    LbNadpisPanStart->setStyle(ui::Label3D::Style::Raised);
    LbNadpisPanStart->setShadowDepth(2);
    LbDiraPanStart = bannerLine(PanStart, "LbDiraPanStart", 51);
    LbRadekA = bannerLine(PanStart, "LbRadekA", 51);
    LbRadekA->setFont(ui::timesNewRoman(24));
    LbRadekA->setText(QStringLiteral("Vítám Vás při instalaci programu"));
    LbRadekB = bannerLine(PanStart, "LbRadekB", 51);
    LbRadekB->setFont(ui::timesNewRoman(40));
    for (QWidget* w : {LbNadpisPanStart, LbDiraPanStart, LbRadekA, LbRadekB}) {
        screen->addWidget(w);
    }

    // The install panel, when shown, covers the picture below it.
    auto* middle = new QGridLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    ImPanStart = named(new ui::ListImage(PanStart), "ImPanStart");
    ImPanStart->setFixedSize(209, 191);
    ImPanStart->setPictures(productPictures());
    middle->addWidget(ImPanStart, 0, 0, Qt::AlignHCenter | Qt::AlignTop);

    PanInst = named(new QWidget(PanStart), "PanInst");
    QVBoxLayout* inst = column(PanInst);
    // A final screen's lines, each one band, in this order: the outcome's own lines, where it
    // went, how the archive came, what was skipped, and the reason last as the longest.
    LbVerze = tealLine(PanInst, "LbVerze");
    LbDatum = tealLine(PanInst, "LbDatum");
    LbKde = tealLine(PanInst, "LbKde");
    LbStazeno = tealLine(PanInst, "LbStazeno");
    LbRadekC = tealLine(PanInst, "LbRadekC");
    LbCizi = tealLine(PanInst, "LbCizi");
    LbVynechano = tealLine(PanInst, "LbVynechano");
    // The reason is read whole: it wraps below the lines above, and scrolls when long.
    ScReason = named(new ui::WrappedText(PanInst, "LbReason"), "ScReason");
    LbReason = ScReason->label();
    LbReason->setFont(ui::timesNewRoman(16));
    for (QLabel* line : {LbVerze, LbDatum, LbKde, LbStazeno, LbRadekC, LbCizi, LbVynechano}) {
        inst->addWidget(line);
    }
    inst->addWidget(ScReason);
    ImPaninst = named(new ui::ListImage(PanInst), "ImPaninst");
    ImPaninst->setPictures(productPictures());
    ImPaninst->setMinimumHeight(40);
    inst->addWidget(ImPaninst, 1);
    PanInstTlacitka = named(new QWidget(PanInst), "PanInstTlacitka");
    PanInstTlacitka->setFixedHeight(8);
    inst->addWidget(PanInstTlacitka);
    BtnKonec = named(new QPushButton(QStringLiteral("Konec"), PanInst), "BtnKonec");
    BtnKonec->setFixedSize(185, 25);
    BtnKonec->setAutoDefault(false);
    inst->addWidget(BtnKonec, 0, Qt::AlignHCenter);
    inst->addSpacing(6);
    middle->addWidget(PanInst, 0, 0);
    PanInst->raise();
    screen->addLayout(middle, 1);

    PanNaselVicIni = named(new QWidget(PanStart), "PanNaselVicIni");
    QVBoxLayout* found = column(PanNaselVicIni);
    LbNaselVicA = named(new QLabel(PanNaselVicIni), "LbNaselVicA");
    LbNaselVicB = named(new QLabel(PanNaselVicIni), "LbNaselVicB");
    ListBox = named(new QListWidget(PanNaselVicIni), "ListBox");
    found->addWidget(LbNaselVicA);
    found->addWidget(LbNaselVicB);
    found->addWidget(ListBox);
    screen->addWidget(PanNaselVicIni);

    PanStartBar = named(new QWidget(PanStart), "PanStartBar");
    PanStartBar->setFixedHeight(62);
    auto* bars = new QVBoxLayout(PanStartBar);
    bars->setContentsMargins(4, 1, 4, 2);
    bars->setSpacing(0);
    BarStartA = smoothBar(PanStartBar, "BarStartA", 34);
    BarStartB = smoothBar(PanStartBar, "BarStartB", 25);
    nameBars(false);
    bars->addWidget(BarStartA);
    bars->addWidget(BarStartB);
    screen->addWidget(PanStartBar);
}

// A screen reader names each bar by what it measures: the search, then the installation.
void TFrDRozbal::nameBars(bool installing) {
    BarStartA->setAccessibleName(QStringLiteral("Prohledané složky"));
    BarStartB->setAccessibleName(installing ? QStringLiteral("Průběh instalace")
                                            : QStringLiteral("Prohledané disky"));
}

void TFrDRozbal::paintColours() {
    const QColor c = ui::windowsColor(ui::kCream);
    const QColor t = ui::windowsColor(ui::kTeal);
    const QColor navy = ui::windowsColor(ui::kNavy);

    // The window and the product group keep the platform's window colour, so the group's
    // cream caption stands out; the group must say so, or it would take its panel's cream.
    ui::setBackground(RgPrg, QApplication::palette(RgPrg).color(QPalette::Window));
    ui::setBackground(PanStart, c);
    ui::setBackground(ImPanStart, c);
    LbDiraPanStart->setBackgroundColor(c);
    for (ui::Label3D* label : {LbDiraPanStart, LbNadpisPanStart, LbNadpisPanUvod}) {
        label->setActiveColor(c);
        label->setInactiveColor(c);
        label->setTwinkleColor(c);
        label->setFontColor(t);
    }
    LbNadpisPanStart->setBackgroundColor(navy);
    LbNadpisPanUvod->setBackgroundColor(navy);
    for (ui::Label3D* label : {LbRadekA, LbRadekB}) {
        label->setBackgroundColor(t);
        label->setActiveColor(t);
        label->setInactiveColor(c);
        label->setTwinkleColor(c);
        label->setFontColor(t);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{
             PanInst, ImPaninst, PanInstTlacitka, PanNaselVicIni, PanStartBar, PanUvod, ScReason,
             ScReason->viewport(), PanUvodDolni, PanUvodLevy, PanUvodniCheck, CbAutomaticky,
             CbKoukani, PanUvodPravy, RgZdroj}) {
        ui::setBackground(w, c);
    }
    for (QLabel* label : {LbDatum, LbKde, LbStazeno, LbRadekC, LbCizi, LbVynechano, LbReason,
                          LbVerze, LbNaselVicA, LbNaselVicB}) {
        ui::setBackground(label, c);
        ui::setFontColor(label, t);
    }
    ui::setFontColor(Label1, t);
    ui::setFontColor(LbNovyVyber, t);
    RgPrg->setCaptionColor(c);
    RgZdroj->setCaptionColor(t);
}

void TFrDRozbal::keyPressEvent(QKeyEvent* event) {
    // Return acts on the focused push button; the default button takes it only when the focus
    // is elsewhere. Default and cancel buttons act on the first screen only.
    const bool firstScreen = !PanUvod->isHidden();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (focused && focused->isVisible() && focused->isEnabled()) {
            focused->click();
            return;
        }
        if (firstScreen && BtnOK->isEnabled()) {
            BtnOK->click();
            return;
        }
    } else if (event->key() == Qt::Key_Escape) {
        if (firstScreen && BtnStorno->isEnabled()) {
            BtnStorno->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void TFrDRozbal::setOuterSize(int width, int height) {
    outerSize_ = QSize(width, height);
    appliedRoom_ = QRect();
    applyOuterSize();
}

// The frame is known only once a window manager has framed the window, after it is shown; the
// size follows each frame it reports and each screen the window goes to, and the user cannot
// resize or maximise it. Where the screen is too small, the window is cut to it and scrolls.
void TFrDRozbal::applyOuterSize() {
    const QSize frame = frameGeometry().size() - geometry().size();
    const QScreen* shownOn = screen();
    if (shownOn == nullptr || !outerSize_.isValid()) {
        return;
    }
    const QRect room = shownOn->availableGeometry();
    const QRect inside(room.topLeft(), room.size() - frame);
    const QSize content = screensSize(outerSize_ - frame, inside.size());
    if (frame == appliedFrame_ && inside == appliedRoom_ && content == appliedContent_) {
        return;
    }
    appliedFrame_ = frame;
    appliedRoom_ = inside;
    appliedContent_ = content;
    const ui::WindowFit fit =
        ui::windowFit(content, inside.size(), style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    // The screens keep their size only where the window scrolls. Elsewhere they take the window
    // as it is now: a window manager widens it later, and until then the screens must not
    // scroll sideways.
    PanContent->setMinimumSize(fit.across ? content.width() : 0, fit.down ? content.height() : 0);
    PanContent->setMaximumSize(content);
    setFixedSize(fit.size);
    if (fit.size != content) {
        // Cut to the screen, the window must lie on it whole.
        const QRect outer(frameGeometry().topLeft(), fit.size + frame);
        if (!room.contains(outer)) {
            move(std::clamp(outer.x(), room.left(), room.right() + 1 - outer.width()),
                 std::clamp(outer.y(), room.top(), room.bottom() + 1 - outer.height()));
        }
    }
}

// A final screen has only its lines, a picture that shrinks and Konec: where the screen is too
// low for the window, it takes no more height than the screen gives, so its headline and Konec
// are seen together.
QSize TFrDRozbal::screensSize(QSize content, QSize room) const {
    if (finalScreen_ && content.height() > room.height()) {
        const int least = PanContent->minimumSizeHint().height();
        content.setHeight(std::max(least, room.height()));
    }
    return content;
}

// The whole control, not only its text cursor as the scroll area would have it.
void TFrDRozbal::scrollTo(const QWidget* control) {
    if (control == nullptr || !PanContent->isAncestorOf(control)) {
        return;
    }
    const QRect shown(control->mapTo(PanContent, QPoint(0, 0)), control->size());
    constexpr int kMargin = 4;
    ScrollView->ensureVisible(shown.center().x(), shown.center().y(), shown.width() / 2 + kMargin,
                              shown.height() / 2 + kMargin);
}

void TFrDRozbal::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!screenWatched_ && windowHandle() != nullptr) {
        screenWatched_ = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { applyOuterSize(); });
    }
    applyOuterSize();
}

void TFrDRozbal::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    applyOuterSize();
}

void TFrDRozbal::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyOuterSize();
}

void TFrDRozbal::explainDisabledInstall() {
    BtnOK->setToolTip(
        QStringLiteral("Výběr programu nebo zdroje se změnil a platí až od příštího spuštění. "
                       "Uložte ho tlačítkem Storno a spusťte instalaci znovu."));
    if (LbNovyVyber->isHidden()) {
        LbNovyVyber->setText(
            QStringLiteral("Nový výběr uložte tlačítkem Storno a spusťte instalaci znovu."));
        LbNovyVyber->show();
        PanUvodDolni->setFixedHeight(kBottomBarHeight + kHintHeight);
    }
}

void TFrDRozbal::BtnUvodCloseClick() {
    UlozCFG(platform::installerFolder());
    close();
    QCoreApplication::quit();
}

void TFrDRozbal::BtnKonecClick() {
    close();
}

}  // namespace selvanix
