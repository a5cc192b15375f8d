#include "zipcore/sysio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zipcore::sysio {

ssize_t write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }
ssize_t pwrite(int fd, const void* data, std::size_t size, off_t at) { return ::pwrite(fd, data, size, at); }
int openat(int dirfd, const char* path, int flags, mode_t mode) { return ::openat(dirfd, path, flags, mode); }
int mkdirat(int dirfd, const char* path, mode_t mode) { return ::mkdirat(dirfd, path, mode); }
int fsync(int fd) { return ::fsync(fd); }

}  // namespace zipcore::sysio
