#include "resident/GuardSettings.h"

#include "store/SettingsStore.h"

#include <algorithm>

namespace guard {

namespace {

bool IsText(SettingsStore& store, const QString& name) {
    const ValueType type = store.valueType(name);
    return type == ValueType::String || type == ValueType::ExpandString;
}

// A text value, or nothing with a problem sentence when the value has another type.
bool ReadText(SettingsStore& store, const QString& name, QString& text, QStringList& problems) {
    if (!store.valueExists(name))
        return false;
    if (!IsText(store, name)) {
        problems
            << QString("The value \"%1\" of the driver key is not text: it is ignored.").arg(name);
        return false;
    }
    text = store.readString(name);
    return true;
}

bool IsFloppy(QChar letter) {
    return letter == u'A' || letter == u'B';
}

} // namespace

bool ReadSettings(SettingsStore& store, Settings& settings, QStringList& problems) {
    store.setRootKey(RootKey::LocalMachine);
    if (!store.openKey(DriverKey, false))
        return false;
    settings = Settings{};
    // Flags count by their presence, whatever their type, as the panel reads them.
    settings.writes = store.valueExists("Writes");
    settings.programHeuristics = store.valueExists("NormalHeuristics");
    settings.macroHeuristics = store.valueExists("MacroHeuristics");
    QString text;
    if (ReadText(store, "AllFiles", text, problems))
        settings.files = text.compare("True", Qt::CaseInsensitive) == 0
                             ? FileChoice::AllFiles
                             : FileChoice::ProgramAndOleFiles;
    if (ReadText(store, "Repair", text, problems))
        settings.repair = text.compare("True", Qt::CaseInsensitive) == 0 ? RepairChoice::Repair
                                                                         : RepairChoice::Prompt;
    settings.hasDrives = ReadText(store, "Drives", settings.drives, problems);
    ReadText(store, "extra", settings.extra, problems);
    if (!ReadText(store, "Long_logfilename", settings.logFile, problems))
        ReadText(store, "logfile", settings.logFile, problems);
    ReadText(store, "FILEALERT", settings.fileAlert, problems);
    ReadText(store, "BOOTALERT", settings.bootAlert, problems);
    ReadText(store, "FILEREPAIR", settings.fileRepair, problems);
    ReadText(store, "BOOTREPAIR", settings.bootRepair, problems);
    store.closeKey();
    return true;
}

QList<DriveMap::Drive> ChosenDrives(const QString& prefix, const Settings& settings,
                                    QStringList& problems) {
    QList<DriveMap::Drive> chosen;
    const QList<DriveMap::Drive> mapped = DriveMap::MappedDrives(prefix, true);
    const QString choice = settings.drives.trimmed();
    auto keep = [&](auto wanted) {
        for (const DriveMap::Drive& drive : mapped)
            if (wanted(drive))
                chosen << drive;
    };
    if (!settings.hasDrives) {
        keep([](const DriveMap::Drive&) { return true; });
    } else if (choice.compare("floppy", Qt::CaseInsensitive) == 0) {
        keep([](const DriveMap::Drive& d) { return IsFloppy(d.letter); });
    } else if (choice.compare("remote", Qt::CaseInsensitive) == 0) {
        keep([](const DriveMap::Drive& d) { return IsFloppy(d.letter) || !DriveMap::IsLocal(d); });
    } else if (choice.compare("local", Qt::CaseInsensitive) == 0) {
        keep([](const DriveMap::Drive& d) { return IsFloppy(d.letter) || DriveMap::IsLocal(d); });
    } else {
        QList<QChar> letters;
        for (QChar c : choice) {
            const QChar upper = c.toUpper();
            if (upper >= u'A' && upper <= u'Z' && !letters.contains(upper))
                letters << upper;
        }
        if (letters.isEmpty())
            problems << QString("The drive text \"%1\" names no drive letter: no drive is watched.")
                            .arg(settings.drives);
        for (QChar letter : letters) {
            const auto found =
                std::find_if(mapped.begin(), mapped.end(),
                             [&](const DriveMap::Drive& d) { return d.letter == letter; });
            if (found == mapped.end())
                problems << QString("Drive %1: does not resolve to a folder or a disk: it is not "
                                    "watched.")
                                .arg(letter);
            else
                chosen << *found;
        }
    }
    return chosen;
}

QString FillAlert(QString text, const QString& file, const QString& virus, const QString& disk) {
    // One pass, so that a file name holding "<virus>" is shown as it is.
    QString filled;
    qsizetype i = 0;
    while (i < text.size()) {
        bool replaced = false;
        for (const auto& [placeholder, value] : {std::pair<QString, const QString&>{"<file>", file},
                                                 {"<virus>", virus},
                                                 {"<disk>", disk}}) {
            if (QStringView(text).mid(i).startsWith(placeholder, Qt::CaseInsensitive)) {
                filled += value;
                i += placeholder.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            filled += text[i++];
    }
    return filled;
}

QString DescribeFiles(const Settings& settings) {
    QString files = settings.files == FileChoice::AllFiles ? "all files"
                    : settings.files == FileChoice::ProgramAndOleFiles
                        ? "program files and OLE2 documents"
                        : "program files";
    // What "writes" means in each mode is the "Mode:" line's to say.
    files += settings.writes ? ", check on writes: on" : ", check on writes: off";
    if (settings.programHeuristics)
        files += ", program heuristics";
    if (settings.macroHeuristics)
        files += ", macro heuristics";
    return files;
}

QString DescribeRepair(const Settings& settings) {
    switch (settings.repair) {
    case RepairChoice::Repair:
        return "infected files are made harmless at once";
    case RepairChoice::Prompt:
        return "the user is asked whether to make an infected file harmless";
    case RepairChoice::AlertOnly:
        break;
    }
    return "alert only";
}

} // namespace guard
