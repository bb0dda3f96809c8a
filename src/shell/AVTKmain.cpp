#include "AVTKmain.h"

#include "definitions/Common.h"
#include "definitions/DropDownCombo.h"
#include "guard/WinGuard.h"
#include "integrity/Integrity.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/InstallLayout.h"
#include "platform/VallorinError.h"
#include "platform/qt/ScreenPlacement.h"
#include "repair/Repair.h"
#include "scan/Find.h"
#include "shell/Keyboard.h"
#include "shell/Launchers.h"
#include "shell/ReportViewer.h"
#include "store/SettingsStore.h"
#include "toolkit/InstalledToolkit.h"
#include "toolkit/SignatureDatabase.h"
#include "toolkit/Toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>

#include <algorithm>

namespace {

const QString GuardFilter =
    "All files (*.*)|*.*|Text files (*.txt)|*.txt|WinGuard logs (*.log)|*.log";

} // namespace

TMainForm::TMainForm(Services services, QWidget* parent)
    : QWidget(parent), MainState(*this, std::move(services),
                                 {findSheet, repairSheet, checkSheet, guardSheet, viewSheet}) {
    Main.setupUi(this);
    Find.setupUi(Main.FindSheet);
    Repair.setupUi(Main.RepairSheet);
    Check.setupUi(Main.CheckSheet);
    Guard.setupUi(Main.GuardSheet);
    View.setupUi(Main.ViewSheet);
    // The toolkit file combos' design state, which they keep when the start-up ends early.
    for (QComboBox* combo : {Find.ChklistCombo, Find.DrvCombo, Repair.RChkCombo, Repair.RDrvCombo})
        combo->addItem(NoneEntry);
    for (QWidget* warning : std::initializer_list<QWidget*>{
             Find.LabFindV, Repair.LabRep, Repair.LabCleanBoo, Check.LabVerify, Guard.ChkBoxEnable})
        ShowAsWarning(warning);
    setFixedSize(size());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    OpenDialog.filter = GuardFilter;
    OpenDialog.mustExist = true;
    OpenDialog.showHelp = true;
    SaveDialog.filter = GuardFilter;

    // Only the user's choice of a tab runs this; BringPageToFront keeps it quiet.
    connect(Main.PageControl, &QTabWidget::currentChanged, this,
            [this] { guarded([this] { PageControlChange(); }); });
    connect(Main.BtnExit, &QAbstractButton::clicked, this, [this] { BtnExitClick(); });
    // A click on a tab focuses the tab bar, so that F1 there shows the tabs' own topic.
    Main.PageControl->tabBar()->setFocusPolicy(Qt::StrongFocus);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, [this] { guarded([this] { ShowContextHelp(); }); });

    ConnectFindPage(*this);
    ConnectRepairPage(*this);
    ConnectCheckPage(*this);
    ConnectGuardPage(*this);
    ConnectViewPage(*this);
    ConnectLaunchers(*this);
    // A letter two visible controls share ("&Apply" and "&About...", "&A" and "&About...") moves
    // the focus between them in turn and presses neither, as Windows does: Qt's own answer.
    KeepOneTabStopPerRadioGroup(this);
    AddPageKeys(this, Main.PageControl);
    ChainPagesBeforeButtons(Main.PageControl, {Main.SBtnEnc, Main.SBtnSchedule, Main.btnHelp,
                                               Main.btnAbout, Main.BtnExit});

    // Before centring: the title bar adds its height (and the frame) to the window.
    QFont captionFont = font();
    captionFont.setBold(true);
    captionFont.setItalic(true);
    CoolCaption = TMSOfficeCaption::attach(this, {.appName = tr("Vallorin -"),
                                                  .captionColor = Wordcap::clInactiveCaptionText,
                                                  .captionFont = captionFont});

    FormCreate();
}

TMainForm::~TMainForm() = default;

// ---- Start-up

void TMainForm::FormCreate() {
    // One listing of the toolkit folder serves its checks and the pages' fills: in a folder of
    // thousands of files each name it lacks would otherwise cost a listing of its own.
    FileSystem::FolderListing toolkit;
    // Each step that fails ends the sequence there; the window opens with what was done.
    const std::function<void()> steps[] = {
        // The files' check for damage waits until the window is shown (a change before then
        // runs it first): it reads the whole of both files.
        [this] {
            Settings = std::make_unique<SettingsStore>(prefixFolder(),
                                                       SettingsStore::Check::BeforeFirstChange);
        },
        [this] { RegisterInstalledToolkit(store(), installedToolkitFolder()); },
        [this] { ToolkitFolder = LocateToolkit(); },
        [this] { CentreOnScreen(this); },
        // The prefix is the program folder: writable, and where every toolkit program runs.
        [this] { ProgramFolder = prefixFolder(); },
        [this, &toolkit] {
            toolkit = ListToolkitFolder(*this);
            CheckToolkitFiles(toolkit);
        },
        [this, &toolkit] { LoadPages(toolkit); },
        // What the pages read stays in the system's file cache: the store's copy of it goes
        // back to the heap, for the window's first paint.
        [this] { store().releaseMemory(); },
    };
    const bool completed = std::all_of(std::begin(steps), std::end(steps),
                                       [this](const auto& step) { return guarded(step); });
    // A store that could not be opened is given up as one found unusable.
    if (!Settings)
        GiveUpStore();
    // A page the start-up never loaded has no changes of the user's to apply at the close; the
    // choice of its tab loads it.
    if (!completed)
        Guard.SBtnApply->setEnabled(false);
    // Once the window is shown, a damaged store is given up as one refused at the start would
    // have been (the guard reports it): what the pages read from it stays shown, and nothing is
    // written to it. After a failed step the check is left to the next change, which refuses
    // itself on a damaged store.
    if (completed)
        QTimer::singleShot(0, this, [this] {
            guarded([this] {
                if (Settings)
                    Settings->checkFiles();
            });
        });
}

void TMainForm::DisableStoreControls() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             Find.ScanCombo, Find.SBtnAddScan, Find.SBtnDelScan, Find.SBtnScan, Check.CheckCombo,
             Check.SBtnAddCheck, Check.SBtnDelCheck, Check.SBtnCompute, Check.SBtnVerify,
             Guard.SBtnApply, Guard.SBtnRestore, Guard.SBtnLoad, Guard.SBtnSave,
             Guard.SBtnMessages})
        control->setEnabled(false);
}

QString TMainForm::LocateToolkit() {
    store().setRootKey(RootKey::LocalMachine);
    QString result;
    for (const QString& key : {ToolkitKey::Avtk, ToolkitKey::AntiVirus}) {
        if (store().keyExists(key))
            result = ReadInstallPath(key, result);
    }
    // A Windows path ("C:\AVTK\") goes through the prefix's drive map; case is kept, since
    // names resolve without regard to case anyway.
    return result.isEmpty() ? result : Drives::NativePath(prefixFolder(), result);
}

QString TMainForm::installedToolkitFolder() const {
    return InstallLayout::ToolkitFolder(QFileInfo(programPath()).absolutePath());
}

QString TMainForm::ReadInstallPath(const QString& keyPath, const QString& previous) {
    QString outcome = previous;
    WithOpenKey(store(), keyPath, false, [&] { outcome = ReadText(store(), "InstallPath"); });
    return outcome;
}

void TMainForm::CheckToolkitFiles(const FileSystem::FolderListing& toolkit) {
    const auto missing = [&](const QString& name) { return !toolkit.fileExists(name); };
    if (missing(ToolkitFile::FindVirus)) {
        Find.SBtnScan->setEnabled(false);
        Repair.SBtnRepair->setEnabled(false);
        Find.LabFindV->setVisible(true);
        Repair.LabRep->setVisible(true);
    } else if (!SignatureDatabase::Look(SignatureDatabase::Folder()).installed) {
        // The scanner runs, but finds only the toolkit's test files: said where one looks
        // before scanning. Names and times only, so that the start-up does not wait on it.
        Find.LabFindV->setText(tr("Test signatures only: install clamav-freshclam."));
        Find.LabFindV->setVisible(true);
    }
    if (missing(ToolkitFile::Encyclopedia))
        Main.SBtnEnc->setEnabled(false);
    if (missing(ToolkitFile::SchedulerTest))
        Main.SBtnSchedule->setEnabled(false);
    if (missing(ToolkitFile::Cleaner)) {
        Repair.SBtnClean->setEnabled(false);
        Repair.LabCleanBoo->setVisible(true);
    }
    if (missing(ToolkitFile::ViVerify)) {
        Check.SBtnCompute->setEnabled(false);
        Check.SBtnVerify->setEnabled(false);
        Check.LabVerify->setVisible(true);
    }
}

void TMainForm::LoadPages(const FileSystem::FolderListing& toolkit) {
    // The four fills in their order; the two pages' choosers of a kind share one list.
    const QStringList checklists = ToolkitFileEntries(toolkit, "lst");
    const QStringList drivers = ToolkitFileEntries(toolkit, "drv");
    FillToolkitFileCombo(Find.ChklistCombo, checklists);
    FillToolkitFileCombo(Find.DrvCombo, drivers);
    FillToolkitFileCombo(Repair.RChkCombo, checklists);
    FillToolkitFileCombo(Repair.RDrvCombo, drivers);

    store().setRootKey(RootKey::CurrentUser);
    FillDefinitionCombo(*this, "Find", Find.ScanCombo);
    if (Find.ScanCombo->count() > 0)
        Find.SBtnDelScan->setEnabled(true);
    if (Find.ScanCombo->currentIndex() >= 0)
        ScanComboChange(*this);

    LoadRepairSettings(*this);

    store().setRootKey(RootKey::CurrentUser);
    FillDefinitionCombo(*this, "Verify", Check.CheckCombo);
    if (Check.CheckCombo->count() > 0)
        Check.SBtnDelCheck->setEnabled(true);
    if (Check.CheckCombo->currentIndex() >= 0)
        CheckComboChange(*this);

    LoadGuardPage(*this);
    RestartNotice = false;
}

// ---- Shut-down

void TMainForm::SavePages() {
    SettingsStore& settings = store();
    const auto writeSelected = [&](const QString& operation, const QComboBox* combo) {
        settings.setRootKey(RootKey::CurrentUser);
        WithOpenKey(settings, ProgramKey + '\\' + operation, true,
                    [&] { settings.writeString("Selected", combo->currentText()); });
    };
    settings.setRootKey(RootKey::CurrentUser);
    SaveScanDefinition(*this);
    writeSelected("Find", Find.ScanCombo);
    SaveRepairSettings(*this);
    SaveCheckDefinition(*this);
    writeSelected("Verify", Check.CheckCombo);
}

bool TMainForm::FormCloseQuery() {
    if (!Guard.SBtnApply->isEnabled())
        return true;
    BringPageToFront(Main.GuardSheet);
    switch (prompts().message(MessageKind::Confirm,
                              tr("You have specified changes to WinGuard's configuration.\r"
                                 "Do you wish to save the new settings?"),
                              MessageButtons::YesNoCancel)) {
    case MessageAnswer::Yes:
        SBtnApplyClick(*this);
        return true;
    case MessageAnswer::No:
        return true;
    default:
        return false;
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Without a store (it could not be opened or was given up, and the user was told) nothing
    // can be applied or saved: asking would only keep the window from closing.
    if (!Settings || StoreGivenUp) {
        event->accept();
        return;
    }
    bool closing = false;
    const std::optional<QString> failure = attempt([&] {
        if (FormCloseQuery()) {
            SavePages();
            closing = true;
        }
    });
    // A store found unusable while saving has been reported and given up: nothing more can be
    // saved. Any other failure (a read-only file, a full disk) is the user's to weigh: keeping
    // the window open is no way out when the cause lasts. What was written stays written.
    if (StoreGivenUp)
        closing = true;
    else if (failure)
        closing = prompts().message(
                      MessageKind::Warning,
                      tr("The changes cannot be saved.\r\r%1\r\rClose anyway?").arg(*failure),
                      MessageButtons::YesNo) == MessageAnswer::Yes;
    closing ? event->accept() : event->ignore();
}

void TMainForm::BringPageToFront(QWidget* page) {
    const QSignalBlocker quiet(Main.PageControl);
    Main.PageControl->setCurrentWidget(page);
}

void TMainForm::PageControlChange() {
    QWidget* page = Main.PageControl->currentWidget();
    if (page == Main.GuardSheet && !Guard.SBtnApply->isEnabled() && !StoreGivenUp)
        LoadGuardPage(*this);
    if (page == Main.ViewSheet)
        RefreshReportButtons(*this);
}

void TMainForm::BtnExitClick() {
    close();
}

// ---- Help

int TMainForm::HelpContextOf(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget()) {
        const int context = widget->property("helpContext").toInt();
        if (context != 0)
            return context;
        if (widget->isWindow())
            break;
    }
    return 0;
}

void TMainForm::ShowContextHelp() {
    const int context = HelpContextOf(QApplication::focusWidget());
    if (context != 0)
        help().showHelp("Vallorin.hlp", HelpCommand::Context, context);
}
