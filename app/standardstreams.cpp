#include "app/standardstreams.h"

#include <csignal>

#include <fcntl.h>

void keepStandardStreamsOpen()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1)
            // The lowest free number, so this one.
            open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    // A line written into a pipe whose reader has gone, such as a log collector that ended,
    // would otherwise end the viewer; the write fails instead and the line is lost.
    std::signal(SIGPIPE, SIG_IGN);
}
