#pragma once

#include "definitions/Dialogs.h"

// The dialog service of the program: each call creates the real dialog, runs it modally and
// frees it.
class QtDialogs : public Dialogs {
public:
    void addDefinition(MainState& form, const DefinitionPage& page) override;
    void removeDefinitions(MainState& form, const DefinitionPage& page) override;
    void editGuardMessages(MainState& form) override;
    void showAbout(MainState& form) override;
};
