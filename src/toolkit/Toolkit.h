#pragma once

#include <QString>

class TMainForm;

// File names of the toolkit's programs and files, appended directly to the toolkit folder.
namespace ToolkitFile {
inline const QString FindVirus = "WFindV32.exe";
inline const QString Encyclopedia = "veinfo95.hlp";
inline const QString SchedulerTest = "tk_Sched.exe"; // tested under this name...
inline const QString Scheduler = "TK_Sched.exe";     // ...and started under this one
inline const QString Cleaner = "CleanBoo.exe";
inline const QString ViVerify = "WViVer32.exe";
} // namespace ToolkitFile

// Starts a toolkit command line without waiting, in the program folder; the result is
// WinExec's (StartResult::FileNotFound when the program file is missing).
int StartProgram(TMainForm& form, const QString& commandLine);
