// Files that must not outlive a program ended by SIGINT, SIGTERM or SIGHUP: a temporary file that has
// not been put in place yet. While a file is listed, such a signal removes it and then ends the
// program as the signal would have: the handler in place before (a terminal front end putting the
// screen back) runs next, or the default action. A signal the program ignores stays ignored. The
// handlers are installed only while the list holds a file.
//
// Windows has no such signals for these programs; the functions do nothing there.
#pragma once

#ifdef _WIN32

inline void InterruptCleanupHold(void) {}
inline void InterruptCleanupRelease(void) {}
inline int InterruptCleanupAdd(const char*)
{
    return -1;
}
inline void InterruptCleanupRemove(int) {}

#else

// Holds the three signals back until InterruptCleanupRelease, so that creating a file and listing
// it, or renaming it and taking it off the list, are one step as far as a signal can tell.
void InterruptCleanupHold(void);
void InterruptCleanupRelease(void);

// Lists path (copied) and returns its place, or -1 when the list is full or the path too long.
int InterruptCleanupAdd(const char* path);

// Takes the file at place off the list; -1 is ignored.
void InterruptCleanupRemove(int place);

#endif
