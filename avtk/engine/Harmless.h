#pragma once

#include <QString>

#include <string>

#include <sys/types.h>

// Making an infected file harmless, as the scanner's repair and the resident guard do it.
namespace avtk {

struct HarmlessResult {
    bool done = false;
    std::string target; // the new path, when the file was renamed
    QString action;     // the sentence for the report or the log, without the file's name
};

// Renames the file (device and inode: the one that was scanned, not one that took its name
// meanwhile) to a name no program loader takes (".VIR", then ".V01" to ".V99", never over an
// existing file) and takes its execute bits; with deleteFile it is deleted instead.
// `inArchive` adds " (the archive whole)" to the sentence.
HarmlessResult MakeHarmless(const std::string& path, dev_t device, ino_t inode, bool deleteFile,
                            bool inArchive);

} // namespace avtk
