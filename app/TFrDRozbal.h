#pragma once

#include "InstallerState.h"
#include "WindowFetcher.h"
#include "archive/Pakovna.h"
#include "dlwindow/InteractiveDownload.h"
#include "engine/InstallEngine.h"
#include "engine/RunLog.h"
#include "locate/FolderSearch.h"
#include "net/WebHTTPGet.h"

#include <QWidget>
#include <array>
#include <memory>

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace selvanix {

namespace ui {
class BitBtn;
class DirectoryEdit;
class Label3D;
class ListImage;
class RadioGroup;
class WrappedText;
}  // namespace ui

// The installer's one window with its two screens: the first screen PanUvod and the run
// screen PanStart. The run itself is the engine's; the window shows each of its steps.
class TFrDRozbal : public QWidget, private RunObserver, private DialogQuestions {
    Q_OBJECT
public:
    // Builds the controls and runs FormCreate; an error there is reported and the window
    // still opens with the state reached so far.
    explicit TFrDRozbal(QWidget* parent = nullptr);
    ~TFrDRozbal() override;

    // What the run and the choices hold now.
    const InstallerState& runState() const { return state; }
    // The server and the publisher key the run uses: the settings' unless set here.
    const QString& server() const { return BaseURL; }
    void setServer(const QString& baseUrl) { BaseURL = baseUrl; }
    const QString& publisherKey() const { return PublicKey; }
    void setPublisherKey(const QString& key) { PublicKey = key; }
    // The download window's hook, called with the window before it shows.
    dlwindow::InteractiveDownload& downloads() { return Downloads; }
    // The chosen product's package files, and whether the last fetch brought them.
    const QString& descriptorName() const { return nazini; }
    const QString& archiveName() const { return nazzip; }
    bool descriptorFetched() const { return iniAn; }
    bool archiveFetched() const { return zipAn; }
    // Chooses a product and puts a folder in field I, with Install enabled, as the window's
    // arguments ask; nothing runs until the user presses Install.
    void preselect(std::optional<int> productCode, const std::optional<QString>& target);
    // Reads the descriptor at path and shows it as the run does.
    void showDescriptorFile(const QString& path);

    // Handlers and methods.
    void FormCreate();
    void NactiCFG();
    // Into a target folder with LinkAtName::Replace; beside the program links are followed.
    void UlozCFG(const QString& kam, platform::LinkAtName links = platform::LinkAtName::Follow);
    void RGPrgClick();
    void RgZdrojClick();
    void JedenINI();
    void kopirujzWebu();
    // Starts the file below defaultDir that passes the checks of a checked program, from the
    // open file; returns the shell's result.
    int SpustFile(const QString& fileName, const QString& params, const QString& defaultDir,
                  int showCmd);
    void PakovnaOverallProgress(double progress);
    // The run as the fields ask for it.
    RunRequest request() const;
    void BtnOKClick();
    void BtnAktualClick();
    void BtnUvodCloseClick();
    void BtnKonecClick();
    // A change of product or source takes effect at the next start: say so.
    void explainDisabledInstall();

    // The object name of target row index's control ("EdKamCesta", "LbKamCesta"): I ... X.
    static QByteArray targetRowName(const char* control, int index);

    // Fixes the window's outer size, frame included; applied again whenever the frame changes.
    void setOuterSize(int width, int height);
    QSize outerSize() const { return outerSize_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildFirstScreen();
    void showFinalScreen();
    void showNoTarget(const QString& reason);
    void showReason(const QString& reason);
    static void showLine(QLabel* label, const QString& text);
    void buildRunScreen();
    void nameBars(bool installing);
    void paintColours();

    void applyOuterSize();
    // The size the screens are laid out at, frame excluded, on a screen that leaves room.
    QSize screensSize(QSize content, QSize room) const;
    // Scrolls the window, where it is cut to its screen, until control is seen whole.
    void scrollTo(const QWidget* control);

    InstallerState state;
    QString nazini;
    QString nazzip;
    bool iniAn = false;
    bool zipAn = false;

    QScrollArea* ScrollView;  // around both screens
    QWidget* PanContent;      // the screens at their own size

    // First screen.
    QWidget* PanUvod;
    ui::Label3D* LbNadpisPanUvod;
    QWidget* PanUvodLevy;
    ui::RadioGroup* RgPrg;
    ui::RadioGroup* RgZdroj;
    QCheckBox* CbKoukani;
    QCheckBox* CbAutomaticky;
    QProgressBar* ProgressBar1;
    QWidget* PanUvodPravy;
    QWidget* PanUvodniCheck;
    QLabel* LbOdkudCesta;
    ui::DirectoryEdit* EdOdkudCesta;
    std::array<QLabel*, kTargetCount> LbKamCesta;
    std::array<ui::DirectoryEdit*, kTargetCount> EdKamCesta;
    QWidget* PanUvodDolni;
    QLabel* LbNovyVyber;  // why Install is disabled, after a change of product or source
    QLabel* Label1;
    ui::BitBtn* BtnAktual;
    ui::BitBtn* BtnOK;
    ui::BitBtn* BtnStorno;

    // Run screen.
    QWidget* PanStart;
    ui::Label3D* LbNadpisPanStart;
    ui::Label3D* LbDiraPanStart;
    ui::Label3D* LbRadekA;
    ui::Label3D* LbRadekB;
    ui::ListImage* ImPanStart;
    QWidget* PanInst;
    QLabel* LbVerze;
    QLabel* LbDatum;
    QLabel* LbRadekC;
    QLabel* LbReason;           // why a run came to nothing, in the style of LbRadekC, whole
    ui::WrappedText* ScReason;  // LbReason's place: it wraps, and scrolls when long
    QLabel* LbCizi;             // how many found folders another user could change, below LbRadekC
    QLabel* LbStazeno;          // how little of the archive had to be fetched, below LbDatum
    QLabel* LbKde;              // which version went where, on the success screen
    QLabel* LbVynechano;        // how many files were not installed, above LbReason
    ui::ListImage* ImPaninst;
    QWidget* PanInstTlacitka;
    QPushButton* BtnKonec;
    QWidget* PanNaselVicIni;
    QLabel* LbNaselVicA;
    QLabel* LbNaselVicB;
    QListWidget* ListBox;
    QWidget* PanStartBar;
    QProgressBar* BarStartA;
    QProgressBar* BarStartB;
    // Not shown: the listings of the folder search, level 0 (FileListA) to 7 (FileListH).
    FolderListings FileLists;
    net::WebHTTPGet WebHTTPGet1;
    dlwindow::InteractiveDownload Downloads{this};
    TPakovna Pakovna;
    // The download server's root, ending in "/": the built-in one unless the settings file
    // beside the program names another (read at start).
    QString BaseURL = QStringLiteral(SELVANIX_BASE_URL);
    QString Channel;  // the release channel the settings name; empty for stable
    // The publisher's public key (base64) that packages and updates must be signed with:
    // the built-in one unless the settings file names another; empty requires none.
    QString PublicKey = QStringLiteral(SELVANIX_PUBLIC_KEY);

    // What the run tells the window.
    void fetchingPackage() override;
    void archiveReused(qint64 fetched, qint64 size, qint64 delta) override;
    void packageLooked(const QString& folder, bool found) override;
    void packageMissing(PackageProblem problem, const QString& reason) override;
    void descriptorRead(const PackageInfo& info) override;
    void searchStarted(const QString& marker) override;
    SearchProgress& searchProgress(int which) override;
    void searchEnded(const SearchSkips& skips) override;
    void targetFound(const QString& target) override;
    void noTarget(const QString& reason, const SearchSkips& skips) override;
    void targetStarted(const QString& target, int index, int count) override;
    bool allowDowngrade(const QString& packageVersion, const QString& installedVersion,
                        bool comparable) override;
    void extractionProgress(double percent) override;
    void extractionStatus(const QString& entry, std::optional<int> secondsLeft) override;
    void targetFailed(const QString& target, const QString& reason) override;
    void keysChanged(const QStringList& added, const QStringList& revoked) override;
    bool allowOtherProduct(const QString& target, const QString& stem,
                           const QString& name) override;
    void installed(const RunResult& result, const SearchSkips& skips,
                   const QString& startProblem) override;
    void takeDescriptor(const PackageInfo& info);
    void showDescriptor();
    void showSkippedFolders(const SearchSkips& skips);

    RunLog runLog_;
    WindowFetcher fetcher_{WebHTTPGet1, Downloads};
    InstallEngine engine_{*this, *this, fetcher_, Pakovna, FileLists};
    std::array<std::unique_ptr<SearchProgress>, 2> searchBars_;
    QSize outerSize_;
    // What the size was last fitted to: the frame, and the room inside it on the screen.
    QSize appliedFrame_{-1, -1};
    QRect appliedRoom_;
    QSize appliedContent_;
    bool finalScreen_ = false;  // the run has ended and its outcome is shown
    bool screenWatched_ = false;
    QMetaObject::Connection focusWatch_;
    QString installingInto_;  // the target being installed, as the detail line names it
};

}  // namespace selvanix
