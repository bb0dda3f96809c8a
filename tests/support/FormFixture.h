#pragma once

#include "support/RecordingStarter.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedPrompts.h"
#include "support/TempPrefix.h"

#include "shell/AVTKmain.h"
#include "shell/QtDialogs.h"
#include "store/SettingsStore.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <memory>

// A prefix, the scripted seams and, once seeded, a main window on them.
class FormFixture : public ::testing::Test {
protected:
    TempPrefix prefix;
    ScriptedPrompts prompts;
    RecordingStarter starter;
    RecordingHelp help;
    // The window's dialogs: the real ones unless a test switches to the scripted ones before
    // start().
    QtDialogs qtDialogs;
    ScriptedDialogs scriptedDialogs;
    Dialogs* dialogs = &qtDialogs;
    QDateTime clock = QDateTime(QDate(1997, 10, 9), QTime(15, 5));
    std::unique_ptr<TMainForm> form;
    // The program's own path as the window is given it; empty: a "vallorin" inside the prefix.
    QString programPath;
    // The ClamAV database folder the window looks at; installToolkit() puts a database there.
    QString signatureDatabase = prefix.path("clamav");

    // A store on the prefix for seeding and reading back, outside the window.
    std::unique_ptr<SettingsStore> openStore() const;
    // Writes text values into a key of a branch.
    void seed(RootKey root, const QString& key, const QList<QPair<QString, QString>>& values);
    // The text of a value, or nothing when the key or the value is absent.
    std::optional<QString> stored(RootKey root, const QString& key, const QString& name) const;
    // A toolkit folder inside the prefix, registered under the toolkit key, holding the files.
    QString installToolkit(const QStringList& files);
    // Creates the main window (running the whole start-up).
    TMainForm& start();
    // Closes the main window as the user would; true when it closed.
    bool closeForm();
    // Drops the window and starts over on a fresh prefix (for table rows).
    void reset();
};
