// Filling the gaps among the standard descriptors.
#include "platform/posix_standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

void PosixOpenClosedStandardDescriptors(void)
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1)
            continue;
        // open() takes the lowest free descriptor, which is this one; input reads as its end.
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0)
            close(opened);
    }
}
