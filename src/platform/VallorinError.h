#pragma once

#include <QString>

#include <stdexcept>

// The one exception type of the program: its text is written for the user and shown as it is
// by the general error box.
class VallorinError : public std::runtime_error {
public:
    explicit VallorinError(const QString& message)
        : std::runtime_error(message.toStdString()), text(message) {}
    QString message() const { return text; }

private:
    QString text;
};
