#include "DefinitionNames.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace {

// The refusals are texts the user reads, translatable in the context "DefinitionNames".
QString Tr(const char* text) {
    return QCoreApplication::translate("DefinitionNames", text);
}

// The longest file name the file system takes, in bytes.
constexpr int MaxFileNameBytes = 255;
// What the fingerprint file adds to the name.
constexpr int FileExtensionBytes = 4; // ".vvf"

} // namespace

QString DefinitionNameRefusal(const QString& name, DefinitionNameUse use) {
    if (name.isEmpty())
        return Tr("Enter a name for the new definition.");
    if (std::any_of(name.begin(), name.end(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        return Tr("A definition name cannot contain control characters. Enter a new name.");
    // "\" would address another key of the store; "/" and dots alone another file or folder.
    if (name.contains('\\') || name.contains('/'))
        return Tr("A definition name cannot contain \\ or /. Enter a new name.");
    if (std::all_of(name.begin(), name.end(), [](QChar c) { return c == '.'; }))
        return Tr("A definition name cannot consist of dots only. Enter a new name.");
    if (use == DefinitionNameUse::Key)
        return {};
    // A quote would end the quoted "/FF=" path of the command line.
    if (name.contains('"'))
        return Tr("A check name cannot contain \". Enter a new name.");
    if (QFile::encodeName(name).size() + FileExtensionBytes > MaxFileNameBytes)
        return Tr("A check name is too long to name a file. Enter a shorter name.");
    return {};
}
