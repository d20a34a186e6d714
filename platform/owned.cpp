#include "platform/owned.h"

#include <unistd.h>

#include <cerrno>

namespace fg {

void closeDescriptor(int fd) noexcept {
    // Closing must not disturb the errno a caller is about to report.
    int saved = errno;
    ::close(fd);
    errno = saved;
}

}  // namespace fg
