#include "app/standardstreams.h"

#include <fcntl.h>

void keepStandardStreamsOpen()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1)
            // The lowest free number, so this one.
            open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
}
