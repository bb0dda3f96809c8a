#pragma once

#include <QString>

// The prefix: the folder that holds the store's branches, the drive map and the program folder
// of one installation, like a Wine prefix. $VALLORIN_PREFIX, or ~/.vallorin when unset.
namespace Prefix {

// The prefix folder from the environment, without a trailing "/".
QString Location();

// Creates the prefix when missing (folder 0700, a fresh drive map with "c:" -> "/") and returns
// its folder with a trailing "/". Throws VallorinError when it cannot be created.
QString Prepare(const QString& location);

// Sets $VALLORIN_PREFIX to the prefix's absolute folder, so that the programs started from here
// find the same prefix although they run in another working folder.
void Export(const QString& prefix);

} // namespace Prefix
