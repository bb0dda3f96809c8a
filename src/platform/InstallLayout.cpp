#include "platform/InstallLayout.h"

#include "BuildConfig.h"

#include <QDir>

namespace {

QString Below(const QString& programFolder, const char* relative) {
    return QDir::cleanPath(programFolder + '/' + QString::fromUtf8(relative)) + '/';
}

} // namespace

namespace InstallLayout {

QString DataFolder(const QString& programFolder) {
    return Below(programFolder, BuildConfig::DataFromProgram);
}

QString ToolkitFolder(const QString& programFolder) {
    return Below(programFolder, BuildConfig::ToolkitFromProgram);
}

QString ProgramFolder(const QString& toolkitFolder) {
    return Below(toolkitFolder, BuildConfig::ProgramFromToolkit);
}

} // namespace InstallLayout
