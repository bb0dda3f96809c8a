#pragma once

#include <QString>

#include <functional>

class Prompts;

// The text of the general error box: the error's text, with a full stop added when its last
// character sorts after ".".
QString GeneralErrorText(const QString& text);

// Runs one event handler or start-up step; an exception it throws ends it and is shown in the
// general error box. Returns false when the step failed.
bool RunGuarded(Prompts& prompts, const std::function<void()>& step);
