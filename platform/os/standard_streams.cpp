#include "platform/os/standard_streams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform::os {

void OpenClosedStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        // The lowest free number is this one, the ones below being open by
        // now; anything else is moved there.
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

} // namespace platform::os
