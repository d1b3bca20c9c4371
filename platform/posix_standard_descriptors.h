// Standard input, output and errors that a program was started without (`program <&-`).
#pragma once

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so that the next descriptor
// the program opens (a socket, a lock file) is never taken for one of them. Call it first in main.
void PosixOpenClosedStandardDescriptors(void);
