#pragma once

#include "caption/Wordcap.h"
#include "platform/Prompts.h"
#include "shell/Services.h"

#include "ui_AVTKmain.h"
#include "ui_CheckSheet.h"
#include "ui_FindSheet.h"
#include "ui_GuardSheet.h"
#include "ui_RepairSheet.h"
#include "ui_ViewSheet.h"

#include <QWidget>

#include <functional>
#include <memory>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class SettingsStore;
class DropDownCombo;

// The main window: its five pages and every piece of state that more than one page needs.
// The controls are the in-memory model of every definition and setting; the page units read
// and write them directly through the public members below.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(Services services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The controls: the window's own and those of each page.
    Ui::TMainForm Main;
    Ui::FindSheet Find;
    Ui::RepairSheet Repair;
    Ui::CheckSheet Check;
    Ui::GuardSheet Guard;
    Ui::ViewSheet View;

    // Shared state.
    std::unique_ptr<SettingsStore> Settings;
    bool RestartNotice = false;
    QString ProgramFolder; // ends with "/"
    QString ToolkitFolder; // may be empty; file names are appended directly
    const QString ProgramKey = "Software\\Tesmarine\\Vallorin";
    const QString GuardVxdKey = "System\\CurrentControlSet\\Services\\VXD\\WinGuard";
    const QString RunServicesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
    const QString DriveMessagePrefix = "You must select drive(s) to ";
    double LastScanTime = 0;
    double LastCheckTime = 0;
    FileDialogOptions OpenDialog;
    FileDialogOptions SaveDialog;
    // The gradient title bar; owned by the window.
    TMSOfficeCaption* CoolCaption = nullptr;

    // The store; throws when it could not be opened at start.
    SettingsStore& store();
    Prompts& prompts() { return services.prompts; }
    ProgramStarter& starter() { return services.starter; }
    HelpService& help() { return services.help; }
    QDateTime now() const { return services.now(); }
    const QString& prefixFolder() const { return services.prefixFolder; }

    // Start-up and shut-down steps.
    QString LocateToolkit();
    // The toolkit installed with the program, beside the program's own folder.
    QString installedToolkitFolder() const;
    QString ReadInstallPath(const QString& keyPath, const QString& previous);
    void CheckToolkitFiles();
    void LoadPages();
    void SavePages();
    bool FormCloseQuery();
    void PageControlChange();
    void BtnExitClick();
    // Shows a page without running PageControlChange, as only the user's choice of a tab does.
    void BringPageToFront(QWidget* page);
    // F1: the help topic of the focused control or its nearest enclosing control with one.
    void ShowContextHelp();
    // The help context that F1 on this widget asks for (0: none).
    static int HelpContextOf(const QWidget* widget);

    // Runs a handler inside the error guard: an exception is shown in the general error box.
    bool guarded(const std::function<void()>& handler);

    // Connections of a control's change to its page handler, each run inside the guard.
    using Handler = void (*)(TMainForm&);
    void onClick(QAbstractButton* button, Handler handler);
    // A check box: every change of its state, by the user or by code.
    void onToggled(QAbstractButton* box, Handler handler);
    // A radio button: only when it becomes checked.
    void onChecked(QAbstractButton* radio, Handler handler);
    void onTextChanged(QLineEdit* edit, Handler handler);
    // A combo's list about to open.
    void onDropDown(DropDownCombo* combo, Handler handler);
    // The user's choice of an entry (never a selection made by code).
    void onActivated(QComboBox* combo, Handler handler);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();

    Services services;
};
