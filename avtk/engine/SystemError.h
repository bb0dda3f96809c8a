#pragma once

#include <QString>

#include <cstring>

namespace avtk {

// The system's sentence for an errno value, for the window and the report.
inline QString ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace avtk
