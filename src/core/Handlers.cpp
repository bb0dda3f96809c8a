#include "Handlers.h"

#include "platform/Prompts.h"
#include "platform/VallorinError.h"

#include <exception>

QString GeneralErrorText(const QString& text) {
    if (!text.isEmpty() && text.back() > QChar('.'))
        return text + '.';
    return text;
}

bool RunGuarded(Prompts& prompts, const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const VallorinError& error) {
        prompts.errorBox(GeneralErrorText(error.message()));
    } catch (const std::exception& error) {
        prompts.errorBox(GeneralErrorText(QString::fromLocal8Bit(error.what())));
    }
    return false;
}
