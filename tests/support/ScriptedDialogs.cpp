#include "ScriptedDialogs.h"

#include "definitions/AddScan.h"
#include "definitions/MainState.h"
#include "definitions/RemoveScan.h"
#include "guard/WGMessages.h"
#include "store/SettingsStore.h"

#include <QComboBox>

void ScriptedDialogs::addDefinition(MainState& form, const DefinitionPage& page) {
    asked << QStringLiteral("add");
    while (!names.empty()) {
        const QString name = names.front();
        names.pop_front();
        if (AddDefinition(form, page, name))
            return;
    }
}

void ScriptedDialogs::removeDefinitions(MainState& form, const DefinitionPage& page) {
    asked << QStringLiteral("remove");
    if (removals.empty())
        return;
    const QStringList selected = removals.front();
    removals.pop_front();
    QList<int> rows;
    for (int row = 0; row < page.combo->count(); ++row) {
        if (selected.contains(page.combo->itemText(row)))
            rows << row;
    }
    RemoveDefinitions(form, page, rows, [](int) {});
}

void ScriptedDialogs::editGuardMessages(MainState& form) {
    asked << QStringLiteral("messages");
    if (messages.empty())
        return;
    const std::optional<QStringList> texts = messages.front();
    messages.pop_front();
    SettingsStore& store = form.store();
    store.setRootKey(RootKey::LocalMachine);
    if (texts && store.keyExists(form.GuardVxdKey))
        SaveGuardMessages(form, *texts);
}

void ScriptedDialogs::showAbout(MainState&) {
    asked << QStringLiteral("about");
}
