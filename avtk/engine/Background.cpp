#include "engine/Background.h"

#include "engine/SystemError.h"

#include <cerrno>

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace avtk {

namespace {

// The kernel's I/O priority classes (linux/ioprio.h, which the C library does not wrap).
constexpr int IoprioWhoProcess = 1;
constexpr int IoprioClassShift = 13;
constexpr int IoprioClassBestEffort = 2;
constexpr int IoprioClassIdle = 3;
constexpr int IoprioNormalLevel = 4;

} // namespace

QString SetBackground(bool background) {
    const sched_param none{};
    // Zero names the calling thread, not the whole process.
    if (::sched_setscheduler(0, background ? SCHED_IDLE : SCHED_OTHER, &none) != 0)
        return "the processor's priority: " + ErrnoText(errno);
    const int io = background ? IoprioClassIdle << IoprioClassShift
                              : IoprioClassBestEffort << IoprioClassShift | IoprioNormalLevel;
    if (::syscall(SYS_ioprio_set, IoprioWhoProcess, 0, io) != 0)
        return "the disk's priority: " + ErrnoText(errno);
    return {};
}

} // namespace avtk
