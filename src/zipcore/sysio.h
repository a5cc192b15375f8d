// The system calls through which the libraries create and write files. Production
// builds pass them straight to the system (sysio_posix.cpp); the fault-injection
// builds used by the tests (sysio_fault.cpp) can make them fail on demand, so a
// full disk or a folder turning read-only mid-way can be tested even as root.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace zipcore::sysio {

// Faults the test builds can arm through their exported function
//   extern "C" void KvZipLibTestFault(int kind, long long after, int error);
// which makes the calls of that kind fail with errno = error once `after` units
// (bytes written, files or folders created, syncs) have succeeded. Kind 0 disarms.
enum FaultKind { kFaultNone = 0, kFaultWrite = 1, kFaultCreate = 2, kFaultSync = 3 };

ssize_t write(int fd, const void* data, std::size_t size);
ssize_t pwrite(int fd, const void* data, std::size_t size, off_t at);
// Creating calls (O_CREAT, O_TMPFILE) count as creations for fault injection.
int openat(int dirfd, const char* path, int flags, mode_t mode);
int mkdirat(int dirfd, const char* path, mode_t mode);
int fsync(int fd);

}  // namespace zipcore::sysio
