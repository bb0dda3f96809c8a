#pragma once

#include "caption/Wordcap.h"
#include "definitions/MainState.h"
#include "definitions/Services.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"

#include "ui_AVTKmain.h"
#include "ui_CheckSheet.h"
#include "ui_FindSheet.h"
#include "ui_GuardSheet.h"
#include "ui_RepairSheet.h"
#include "ui_ViewSheet.h"

#include <QWidget>

// The main window's forms, made before the shared state that refers to them.
struct MainWindowForms {
    Ui::TMainForm Main; // the window's own controls
    // The pages' controls; the page units reach them through MainState's Find, Repair...
    Ui::FindSheet findSheet;
    Ui::RepairSheet repairSheet;
    Ui::CheckSheet checkSheet;
    Ui::GuardSheet guardSheet;
    Ui::ViewSheet viewSheet;
};

// The main window: its five pages, the shared state they work on (MainState), start-up and
// shut-down.
class TMainForm : public QWidget, public MainWindowForms, public MainState {
    Q_OBJECT
public:
    explicit TMainForm(Services services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The gradient title bar; owned by the window.
    TMSOfficeCaption* CoolCaption = nullptr;

    // Start-up and shut-down steps.
    QString LocateToolkit();
    // The toolkit installed with the program, beside the program's own folder.
    QString installedToolkitFolder() const;
    QString ReadInstallPath(const QString& keyPath, const QString& previous);
    // Both take the toolkit folder as listed once at the checks.
    void CheckToolkitFiles(const FileSystem::FolderListing& toolkit);
    void LoadPages(const FileSystem::FolderListing& toolkit);
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

protected:
    void closeEvent(QCloseEvent* event) override;
    void DisableStoreControls() override;

private:
    void FormCreate();
};
