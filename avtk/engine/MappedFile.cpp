#include "engine/MappedFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

namespace avtk {

namespace {

// The mappings in use, where the fault handler finds them. A signal handler can reach nothing
// but process-wide state, so this one table is that state; lock-free, as a handler must be.
struct Slot {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<size_t> lost{0};
};
constexpr int SlotCount = 256;
Slot slots[SlotCount];
struct sigaction earlier;

void Fault(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Slot& slot : slots) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= slot.end.load(std::memory_order_acquire))
            continue;
        // A page the file no longer has (cut short) or could not give (an I/O error): zeros in
        // its place let the scan go on, and the owner learns of it from the count.
        const uintptr_t pageSize = uintptr_t(::sysconf(_SC_PAGESIZE));
        void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
        if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            slot.lost.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    // Not ours: whoever handled it before us does, or the default ends the process.
    if ((earlier.sa_flags & SA_SIGINFO) && earlier.sa_sigaction) {
        earlier.sa_sigaction(signal, info, context);
        return;
    }
    ::sigaction(SIGBUS, &earlier, nullptr);
}

void InstallFaultHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = Fault;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &earlier);
    });
}

int TakeSlot(uintptr_t begin, uintptr_t end) {
    for (int i = 0; i < SlotCount; ++i) {
        uintptr_t free = 0;
        if (slots[i].begin.compare_exchange_strong(free, ~uintptr_t(0))) {
            slots[i].lost.store(0);
            slots[i].end.store(end, std::memory_order_release);
            slots[i].begin.store(begin, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

} // namespace

MappedFile::MappedFile(int fd, size_t size) {
    InstallFaultHandler();
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) {
        failure = errno;
        return;
    }
    const auto begin = reinterpret_cast<uintptr_t>(mapped);
    slot = TakeSlot(begin, begin + size);
    if (slot < 0) {
        // Without a slot a fault could not be caught: better not scanned this way than killed.
        ::munmap(mapped, size);
        failure = EMFILE;
        return;
    }
    ::madvise(mapped, size, MADV_SEQUENTIAL);
    bytes = static_cast<const char*>(mapped);
    length = size;
}

MappedFile::~MappedFile() {
    if (!bytes)
        return;
    // The slot goes first: once unmapped, the addresses may be another mapping's.
    slots[slot].begin.store(0, std::memory_order_release);
    ::munmap(const_cast<char*>(bytes), length);
}

size_t MappedFile::lostPages() const {
    return slot < 0 ? 0 : slots[slot].lost.load(std::memory_order_relaxed);
}

} // namespace avtk
