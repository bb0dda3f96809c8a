#pragma once

#include "engine/ScanPool.h"

#include <QString>

#include <string>

// Making an infected file harmless, as the scanner's repair and the resident guard do it.
namespace avtk {

struct HarmlessResult {
    bool done = false;
    std::string target; // the new path, when the file was renamed
    QString action;     // the sentence for the report or the log, without the file's name
};

// Acts on the very file that was scanned: its folder is reached again from the walk's root
// without following a symbolic link (OpenParent), and its device and inode are checked against
// the scan's before and after each step. Renames it to a name no program loader takes (".VIR",
// then ".V01" to ".V99", never over an existing file) and takes its execute bits, unless other
// names link to it (those are not ours to change); with deleteFile it is moved aside, checked and
// deleted instead. What took its place, or a folder above it that was replaced, is not touched:
// the sentence says what was done and what was not. A finding inside an archive adds
// " (the archive whole)".
HarmlessResult MakeHarmless(const FileOutcome& scanned, bool deleteFile);

} // namespace avtk
