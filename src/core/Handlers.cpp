#include "Handlers.h"

QString GeneralErrorText(const QString& text) {
    if (!text.isEmpty() && text.back() > QChar('.'))
        return text + '.';
    return text;
}
