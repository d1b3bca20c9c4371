// The process's memory, as the soak run watches it.
#pragma once

#include <cstddef>

// Bytes in heap blocks handed out and not yet freed, large ones included (the sanitizer's count in
// sanitizer builds).
size_t HeapInUse();

// Resident memory of the process, in bytes; 0 where it cannot be read.
size_t ResidentBytes();

// False in sanitizer builds, whose allocator keeps freed memory in quarantine: resident memory then
// grows by design and says nothing about the program.
bool ResidentMemoryIsTheProgramsOwn();
