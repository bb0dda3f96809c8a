#pragma once

#include <QString>

// Work that nobody waits for (the guard's scans of written files): its threads take the
// processor and the disk only when no other program wants them.
namespace avtk {

// Puts the calling thread in the background (the idle scheduling class for the processor and
// for input and output), or back in the foreground. The threads it starts afterwards inherit
// it. Empty, or why it could not be done (the thread then stays as it was).
QString SetBackground(bool background);

} // namespace avtk
