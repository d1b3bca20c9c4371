#include "tools/soak/process_memory.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdio>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QZV_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QZV_ADDRESS_SANITIZER 1
#endif

#ifdef QZV_ADDRESS_SANITIZER
// The sanitizer runtime's count (both compilers' runtimes have it; not every one ships its header).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

size_t HeapInUse()
{
#ifdef QZV_ADDRESS_SANITIZER
    return __sanitizer_get_current_allocated_bytes();
#else
    // Blocks in the heap's arenas, and the large ones the allocator maps on their own.
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

size_t ResidentBytes()
{
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    unsigned long size = 0, resident = 0;
    const bool read = std::fscanf(statm, "%lu %lu", &size, &resident) == 2;
    std::fclose(statm);
    return read ? resident * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

bool ResidentMemoryIsTheProgramsOwn()
{
#ifdef QZV_ADDRESS_SANITIZER
    return false;
#else
    return true;
#endif
}
