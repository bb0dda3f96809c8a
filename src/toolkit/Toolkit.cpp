#include "Toolkit.h"

#include "shell/AVTKmain.h"

int StartProgram(TMainForm& form, const QString& commandLine) {
    return form.starter().start(commandLine);
}
