#pragma once

#include "core/StoredDefinitions.h"
#include "definitions/Services.h"
#include "platform/Prompts.h"
#include "store/StoreKeys.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class DropDownCombo;
class QAbstractButton;
class QComboBox;
class QLineEdit;
class QWidget;
class SettingsStore;

namespace Ui {
class FindSheet;
class RepairSheet;
class CheckSheet;
class GuardSheet;
class ViewSheet;
} // namespace Ui

// The page forms' controls, owned by the main window.
struct PageForms {
    Ui::FindSheet& find;
    Ui::RepairSheet& repair;
    Ui::CheckSheet& check;
    Ui::GuardSheet& guard;
    Ui::ViewSheet& view;
};

// The main window's shared state: every piece of state that more than one page needs, the
// services and the connection of a control to its handler. The controls are the in-memory model
// of every definition and setting; a page unit includes its own form's header and reads and
// writes them directly. This header includes no form, so that a form edit recompiles only the
// units that use that form.
class MainState {
public:
    MainState(const MainState&) = delete;
    MainState& operator=(const MainState&) = delete;

    // The controls of each page.
    Ui::FindSheet& Find;
    Ui::RepairSheet& Repair;
    Ui::CheckSheet& Check;
    Ui::GuardSheet& Guard;
    Ui::ViewSheet& View;

    std::unique_ptr<SettingsStore> Settings;
    // Set for good once the store could not be opened or turned out unusable: nothing is read
    // from it or written to it any more, and what needs it is disabled.
    bool StoreGivenUp = false;
    bool RestartNotice = false;
    QString ProgramFolder; // ends with "/"
    QString ToolkitFolder; // may be empty; file names are appended directly
    const QString ProgramKey = VallorinProgramKey;
    const QString GuardVxdKey = StoreKeys::GuardDriver;
    const QString RunServicesKey = StoreKeys::RunServices;
    const QString DriveMessagePrefix =
        QCoreApplication::translate("MainState", "You must select drive(s) to ");
    double LastScanTime = 0;
    double LastCheckTime = 0;
    FileDialogOptions OpenDialog;
    FileDialogOptions SaveDialog;

    // The store; throws UnusableStoreError once it has been given up.
    SettingsStore& store();
    Prompts& prompts() { return services.prompts; }
    ProgramStarter& starter() { return services.starter; }
    HelpService& help() { return services.help; }
    Dialogs& dialogs() { return services.dialogs; }
    QDateTime now() const { return services.now(); }
    const QString& prefixFolder() const { return services.prefixFolder; }
    // The program's own executable, from which its installed files are found.
    const QString& programPath() const { return services.programPath; }
    // The main window: the owner of the dialogs and of the connections.
    QWidget& owner() const { return ownerWindow; }

    // Runs a handler inside the error guard: an exception is shown in the general error box.
    // False when the handler failed.
    bool guarded(const std::function<void()>& handler);
    // Runs a handler; the text of the error it failed with, nothing when it ran through. A store
    // that turns out unusable is reported here, once, and given up: the text is then empty.
    std::optional<QString> attempt(const std::function<void()>& handler);
    // Gives the store up: disables what needs it, and closes it once no handler uses it.
    void GiveUpStore();

    // Connections of a control's change to its page handler, each run inside the guard.
    using Handler = void (*)(MainState&);
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
    MainState(QWidget& window, Services services, PageForms forms);
    virtual ~MainState();
    // Disables every control whose action needs the store: the window's own, which knows them.
    virtual void DisableStoreControls() = 0;

private:
    // Handlers running, outermost first: a handler inside another (a change signal, a dialog's
    // button) must not close the store under the one that called it.
    int handlerDepth = 0;
    // Whether the store's failure was shown during the outermost handler now running.
    bool storeFailureShown = false;
    QWidget& ownerWindow;
    Services services;
};
