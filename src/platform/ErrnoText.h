#pragma once

#include <QString>

#include <cstring>

// The system's sentence for an errno value, in the user's language, for messages and reports.
inline QString ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
