#pragma once

#include <QString>

#include <functional>

class MainState;
class QAbstractButton;
class QComboBox;

// A page with a list of named definitions, as the Add and Remove dialogs serve it.
struct DefinitionPage {
    QComboBox* combo = nullptr;
    QAbstractButton* removeButton = nullptr;
    QString operation;               // the definitions key below the program key: "Find", "Verify"
    std::function<void()> load;      // loads the selected definition and shows its dates
    std::function<void()> showAdded; // a definition just added: shows that it never ran
    std::function<void()> showNone;  // the last definition removed
};

// The program's own dialogs, as Prompts is for message boxes: the window asks this service,
// the program passes one that runs the real dialogs, the tests one that answers from a script.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // "Add definition" for the page's definition list.
    virtual void addDefinition(MainState& form, const DefinitionPage& page) = 0;
    // "Remove definitions" for the page's definition list.
    virtual void removeDefinitions(MainState& form, const DefinitionPage& page) = 0;
    // "Edit WinGuard messages".
    virtual void editGuardMessages(MainState& form) = 0;
    // The About box.
    virtual void showAbout(MainState& form) = 0;
};
