#pragma once

#include "definitions/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

// Dialogs that answer from a script, as a user would through the real ones, and record what
// was asked. An unscripted dialog is cancelled (closed), so a test never waits on one.
class ScriptedDialogs : public Dialogs {
public:
    // Add definition: the names typed, each followed by OK, until one is taken.
    std::deque<QString> names;
    // Remove definitions: the entries selected for one press of Remove before Close.
    std::deque<QStringList> removals;
    // Edit WinGuard messages: the four texts saved (Save is pressed only while the guard is
    // installed, as only then it is enabled), or nothing for Cancel.
    std::deque<std::optional<QStringList>> messages;
    // "add", "remove", "messages" and "about", in the order the dialogs were asked for.
    QStringList asked;

    void addDefinition(MainState& form, const DefinitionPage& page) override;
    void removeDefinitions(MainState& form, const DefinitionPage& page) override;
    void editGuardMessages(MainState& form) override;
    void showAbout(MainState& form) override;
};
