#pragma once

#include "platform/ErrnoText.h"

namespace avtk {

// The toolkit's messages use the system's sentence for an errno value as the panel does.
using ::ErrnoText;

} // namespace avtk
