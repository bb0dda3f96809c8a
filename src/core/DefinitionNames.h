#pragma once

#include <QString>

// What a definition's name names besides its key below the definitions key.
enum class DefinitionNameUse {
    Key,        // a scan definition
    KeyAndFile, // a check definition: also its fingerprint file, quoted on ViVerify's command line
};

// Why name cannot be a definition's name, in the words the user is shown, or empty when it can.
// The Add dialog refuses these names and the page refuses to run them.
QString DefinitionNameRefusal(const QString& name, DefinitionNameUse use);
