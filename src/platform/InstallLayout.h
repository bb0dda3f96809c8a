#pragma once

#include <QString>

// Where the program's own files lie, relative to the folder of the running program. The install
// and the build tree share one layout, so the same rule finds them in both; no environment
// variable is read.
namespace InstallLayout {

// The folder of the program's own data (its help file), with a trailing "/".
QString DataFolder(const QString& programFolder);

// The toolkit installed with the program, with a trailing "/".
QString ToolkitFolder(const QString& programFolder);

// The program's folder as seen from the toolkit installed with it, with a trailing "/": where the
// toolkit's programs find the panel.
QString ProgramFolder(const QString& toolkitFolder);

} // namespace InstallLayout
