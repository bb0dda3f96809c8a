#include "toolkit/InstalledToolkit.h"

#include "platform/FileSystem.h"
#include "store/SettingsStore.h"
#include "toolkit/Toolkit.h"

bool RegisterInstalledToolkit(SettingsStore& store, const QString& toolkitFolder) {
    if (!FileSystem::FileExists(toolkitFolder + ToolkitFile::FindVirus))
        return false;
    store.setRootKey(RootKey::LocalMachine);
    if (store.keyExists(ToolkitKey::Avtk) || store.keyExists(ToolkitKey::AntiVirus))
        return false;
    store.openKey(ToolkitKey::AntiVirus, true);
    store.writeString("InstallPath", toolkitFolder);
    store.closeKey();
    return true;
}
