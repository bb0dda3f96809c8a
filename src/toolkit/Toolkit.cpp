#include "Toolkit.h"

#include "definitions/MainState.h"

int StartProgram(MainState& form, const QString& commandLine) {
    return form.starter().start(WithProgramQuoted(form.ToolkitFolder, commandLine));
}
