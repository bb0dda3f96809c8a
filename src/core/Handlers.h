#pragma once

#include <QString>

// The text of the general error box: the error's text, with a full stop added when its last
// character sorts after ".".
QString GeneralErrorText(const QString& text);
