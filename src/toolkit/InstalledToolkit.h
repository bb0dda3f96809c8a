#pragma once

#include <QString>

class SettingsStore;

// The machine-wide keys under which a toolkit registers its folder (value "InstallPath"); the
// second, newer one wins when both hold a folder.
namespace ToolkitKey {
inline const QString Avtk = "SOFTWARE\\Dr Solomon's Software\\Dr Solomon's AVTK";
inline const QString AntiVirus = "SOFTWARE\\Dr Solomon's Software\\Anti-Virus";
} // namespace ToolkitKey

// Registers the toolkit installed with the program (toolkitFolder, ending with "/") as the
// machine-wide default, so that the panel opens with its toolkit buttons enabled. Whenever no
// toolkit key exists, whatever else the store holds (settings brought over with an import are no
// toolkit), and only when that folder holds the toolkit's scanner: a toolkit key of the user's,
// even one without a folder, is never changed. True when it wrote the default.
bool RegisterInstalledToolkit(SettingsStore& store, const QString& toolkitFolder);
