#include "core/DefinitionNames.h"

#include <gtest/gtest.h>

namespace {

// The one rule of names that the Add dialog and the pages share.
TEST(DefinitionNamesTest, ANameIsRefusedForWhatItMustName) {
    const QString keyAndFile = "A check name cannot contain \". Enter a new name.";
    const QString tooLong = "A check name is too long to name a file. Enter a shorter name.";
    const QString slash = "A definition name cannot contain \\ or /. Enter a new name.";
    const struct {
        QString name;
        QString asKey;     // the refusal for a scan definition's name
        QString asKeyFile; // the refusal for a check definition's name
    } rows[] = {
        {"Daily", "", ""},
        {"two words", "", ""},
        {"..a", "", ""},
        {"", "Enter a name for the new definition.", "Enter a name for the new definition."},
        {"a\\b", slash, slash},
        {"a/b", slash, slash},
        {"..", "A definition name cannot consist of dots only. Enter a new name.",
         "A definition name cannot consist of dots only. Enter a new name."},
        {"a\nb", "A definition name cannot contain control characters. Enter a new name.",
         "A definition name cannot contain control characters. Enter a new name."},
        {"quo\"te", "", keyAndFile},
        {"\"", "", keyAndFile},
        // ".vvf" is added: 251 bytes are the longest name the file system takes with it.
        {QString(251, 'x'), "", ""},
        {QString(252, 'x'), "", tooLong},
        {QString(126, QChar(0xe9)), "", tooLong}, // 252 bytes in UTF-8
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name.left(20).toStdString());
        EXPECT_EQ(DefinitionNameRefusal(row.name, DefinitionNameUse::Key), row.asKey);
        EXPECT_EQ(DefinitionNameRefusal(row.name, DefinitionNameUse::KeyAndFile), row.asKeyFile);
    }
}

} // namespace
