#include "FormFixture.h"

#include <QDir>
#include <QFile>

std::unique_ptr<SettingsStore> FormFixture::openStore() const {
    return std::make_unique<SettingsStore>(prefix.folder());
}

void FormFixture::seed(RootKey root, const QString& key,
                       const QList<QPair<QString, QString>>& values) {
    auto store = openStore();
    store->setRootKey(root);
    store->openKey(key, true);
    for (const auto& [name, value] : values)
        store->writeString(name, value);
    store->closeKey();
}

std::optional<QString> FormFixture::stored(RootKey root, const QString& key,
                                           const QString& name) const {
    auto store = openStore();
    store->setRootKey(root);
    if (!store->openKey(key, false))
        return std::nullopt;
    std::optional<QString> value;
    if (store->valueExists(name))
        value = store->readString(name);
    store->closeKey();
    return value;
}

QString FormFixture::installToolkit(const QStringList& files) {
    const QString folder = prefix.path("toolkit/");
    QDir().mkpath(folder);
    for (const QString& file : files) {
        QFile out(folder + file);
        out.open(QIODevice::WriteOnly);
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    seed(RootKey::LocalMachine, "SOFTWARE\\Dr Solomon's Software\\Anti-Virus",
         {{"InstallPath", folder}});
    // A ClamAV database beside it, as freshclam leaves one (its header alone).
    QDir().mkpath(prefix.path("clamav"));
    QFile database(prefix.path("clamav/main.cvd"));
    if (database.open(QIODevice::WriteOnly))
        database.write(
            QByteArray("ClamAV-VDB:16 Sep 2021 08-32 +0000:62:6647427:90:x:x:sigmgr:1631780")
                .leftJustified(512, ' '));
    return folder;
}

TMainForm& FormFixture::start() {
    qputenv("AVTK_CLAMAV_DATABASE", QFile::encodeName(signatureDatabase));
    const QString program = programPath.isEmpty() ? prefix.path("vallorin") : programPath;
    form = std::make_unique<TMainForm>(Services{prefix.folder(), program, prompts, starter, help,
                                                *dialogs, [this] { return clock; }});
    return *form;
}

bool FormFixture::closeForm() {
    form->show();
    const bool closed = form->close();
    return closed;
}

void FormFixture::reset() {
    form.reset();
    prefix.reset();
    signatureDatabase = prefix.path("clamav");
    prompts.clear();
    prompts.answers.clear();
    prompts.files.clear();
    starter.commandLines.clear();
    help.requests.clear();
    scriptedDialogs = ScriptedDialogs();
}
