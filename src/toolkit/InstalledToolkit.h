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
// machine-wide default, so that a fresh prefix opens with its toolkit buttons enabled. Only on a
// prefix where the program has never run (no program key in the current user's branch), where
// no toolkit key exists, and where that folder holds the toolkit's scanner: a prefix in use is
// never changed, and a toolkit the user removed stays removed. True when it wrote the default.
bool RegisterInstalledToolkit(SettingsStore& store, const QString& programKey,
                              const QString& toolkitFolder);
