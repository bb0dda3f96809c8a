#pragma once

#include "core/CommandLines.h"

#include <QString>

class MainState;

// Starts a toolkit command line without waiting, in the program folder; the result is
// WinExec's (StartResult::FileNotFound when the program file is missing).
int StartProgram(MainState& form, const QString& commandLine);
