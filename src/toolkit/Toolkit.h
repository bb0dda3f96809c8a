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

// A text from the page or the store (a checklist name, a keyword) as one argument of a command
// line: as it is when it holds no blank, tab or quote, otherwise quoted so that the command-line
// splitter gives it back whole. Unquoted, "mine /DELETE.lst" would hand the toolkit a switch.
QString ArgumentText(const QString& text);

// Starts a toolkit command line without waiting, in the program folder; the result is
// WinExec's (StartResult::FileNotFound when the program file is missing).
int StartProgram(TMainForm& form, const QString& commandLine);
